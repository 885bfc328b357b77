// LIST and NLST as a client sees them: long and bare forms, options, recursion, rules,
// virtual folders, wildcards, symbolic-link loops and a data connection that goes away.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Keys;
using harness::Server;
using harness::Site;

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void set_modified(const std::string& path, int64_t unix_seconds) {
  auto when = std::chrono::sys_seconds{std::chrono::seconds{unix_seconds}};
  std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(when));
}

// The long line a client expects for an entry, in the time form or the year form.
std::string expected_line(const std::string& permissions, uint64_t size, int64_t modified, bool time_form,
                          const std::string& name) {
  platform::LocalTime t = platform::local_time_of(modified);
  char line[400];
  if (time_form) {
    std::snprintf(line, sizeof line, "%10s %5d %10s %10s %10llu %3s %2d %02d:%02d %s\r\n", permissions.c_str(), 0,
                  "owner     ", "group     ", static_cast<unsigned long long>(size), kMonths[t.month - 1], t.day, t.hour,
                  t.minute, name.c_str());
  } else {
    std::snprintf(line, sizeof line, "%10s %5d %10s %10s %10llu %3s %2d %5d %s\r\n", permissions.c_str(), 0,
                  "owner     ", "group     ", static_cast<unsigned long long>(size), kMonths[t.month - 1], t.day, t.year,
                  name.c_str());
  }
  return line;
}

std::vector<std::string> lines_of(const std::string& data) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find("\r\n", start);
    if (end == std::string::npos) end = data.size();
    lines.push_back(data.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

bool has_line(const std::string& data, const std::string& line) {
  for (const std::string& one : lines_of(data))
    if (one == line) return true;
  return false;
}

// A long line whose name column is name.
bool has_entry(const std::string& data, const std::string& name) {
  for (const std::string& one : lines_of(data))
    if (one.size() > name.size() + 1 && one.compare(one.size() - name.size() - 1, std::string::npos, " " + name) == 0)
      return true;
  return false;
}

std::string entry_line(const std::string& data, const std::string& name) {
  for (const std::string& one : lines_of(data))
    if (one.size() > name.size() + 1 && one.compare(one.size() - name.size() - 1, std::string::npos, " " + name) == 0)
      return one;
  return "<no line for " + name + ">";
}

size_t count_of(const std::string& data, const std::string& part) {
  size_t count = 0;
  for (size_t at = data.find(part); at != std::string::npos; at = data.find(part, at + 1)) ++count;
  return count;
}

class Listings : public ::testing::Test {
 protected:
  void SetUp() override {
    site.write_file("home/a.txt", "hello");
    site.write_file("home/.hidden", "secret");
    site.make_dir("home/sub");
    site.write_file("home/sub/inner.txt", "inner");
  }

  void start(Keys user_keys = {}) {
    site.add_user("alice", user_keys);
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(admin.connect(site.admin_port()));
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("alice", "alice"));
  }

  // The listing a command sends; replies must be 150 then 226.
  std::string listing(const std::string& command) {
    std::string replies;
    auto data = client.download(command, &replies);
    EXPECT_EQ(replies, std::string(kOpening) + kComplete) << command;
    return data ? *data : "<no data connection>";
  }

  std::string event_message(uint32_t type) {
    auto event = admin.wait_for(type, 5000);
    return event ? event->snapshot.message : "<no event>";
  }

  Site site{"listing"};
  std::unique_ptr<Server> server;
  AdminClient admin;
  FtpClient client;
};

TEST_F(Listings, ListOfTheHomeFolderShowsDotsAndHidesHiddenNames) {
  start();
  std::string data = listing("LIST");
  EXPECT_TRUE(has_entry(data, ".")) << data;
  EXPECT_TRUE(has_entry(data, "..")) << data;
  EXPECT_TRUE(has_entry(data, "a.txt")) << data;
  EXPECT_TRUE(has_entry(data, "sub")) << data;
  EXPECT_EQ(data.find(".hidden"), std::string::npos) << data;
  EXPECT_EQ(lines_of(data).size(), 4u) << data;
  EXPECT_EQ(event_message(3), "ディレクトリ[" + site.home() + "]のリストを送信しました");
}

TEST_F(Listings, VirtualFoldersComeFirstDatedNow) {
  site.make_dir("mp3");
  site.write_file("mp3/song.mp3", "la");
  site.set("VirtualDir", "Vir0", site.home() + "music/");
  site.set("VirtualDir", "Dir0", site.path("mp3/"));
  start();
  int64_t before = platform::unix_time_now();
  std::string data = listing("LIST");
  int64_t after = platform::unix_time_now();
  std::string first = lines_of(data).at(0) + "\r\n";
  EXPECT_TRUE(first == expected_line("d---------", 0, before, true, "music") ||
              first == expected_line("d---------", 0, after, true, "music"))
      << first;
  EXPECT_EQ(lines_of(data).size(), 5u) << data;
}

TEST_F(Listings, VirtualFolderIsListedOnlyInItsPlacementFolder) {
  site.make_dir("mp3");
  site.set("VirtualDir", "Vir0", site.home() + "sub/music/");
  site.set("VirtualDir", "Dir0", site.path("mp3/"));
  start();
  EXPECT_FALSE(has_entry(listing("LIST"), "music"));
  EXPECT_TRUE(has_entry(listing("LIST sub/"), "music"));
}

TEST_F(Listings, RecursiveListingDescendsIntoVirtualFolders) {
  site.make_dir("mp3");
  site.write_file("mp3/song.mp3", "la");
  site.set("VirtualDir", "Vir0", site.home() + "music/");
  site.set("VirtualDir", "Dir0", site.path("mp3/"));
  start();
  std::string data = listing("NLST -R");
  size_t header = data.find("\r\nmusic/:\r\n");
  ASSERT_NE(header, std::string::npos) << data;
  EXPECT_NE(data.find("\r\nsong.mp3\r\n", header), std::string::npos) << data;
}

TEST_F(Listings, RecentFileShowsTheTimeOfDay) {
  int64_t modified = platform::unix_time_now() - 3600;
  set_modified(site.home() + "a.txt", modified);
  start();
  std::string data = listing("LIST");
  EXPECT_EQ(entry_line(data, "a.txt") + "\r\n", expected_line("-rwxrw-rw-", 5, modified, true, "a.txt"));
}

TEST_F(Listings, OldFileShowsTheYear) {
  int64_t modified = 992606400;  // June 2001
  set_modified(site.home() + "a.txt", modified);
  start();
  std::string data = listing("LIST");
  EXPECT_EQ(entry_line(data, "a.txt") + "\r\n", expected_line("-rwxrw-rw-", 5, modified, false, "a.txt"));
}

TEST_F(Listings, FileDatedFarInTheFutureShowsTheYear) {
  int64_t modified = platform::unix_time_now() + 3LL * 365 * 24 * 3600;
  set_modified(site.home() + "a.txt", modified);
  start();
  std::string data = listing("LIST");
  EXPECT_EQ(entry_line(data, "a.txt") + "\r\n", expected_line("-rwxrw-rw-", 5, modified, false, "a.txt"));
}

TEST_F(Listings, LargeFileSizeIsShownInFull) {
  std::filesystem::resize_file(site.home() + "a.txt", 5'000'000'000ULL);  // sparse
  start();
  EXPECT_NE(entry_line(listing("LIST"), "a.txt").find(" 5000000000 "), std::string::npos);
}

TEST_F(Listings, NlstSendsBareNames) {
  start();
  std::string data = listing("NLST");
  EXPECT_TRUE(has_line(data, "a.txt")) << data;
  EXPECT_TRUE(has_line(data, "sub")) << data;
  EXPECT_FALSE(has_line(data, ".")) << data;  // "mget *" would fetch them
  EXPECT_FALSE(has_line(data, "..")) << data;
  EXPECT_FALSE(has_line(data, ".hidden")) << data;
  EXPECT_EQ(data.find("owner"), std::string::npos) << data;
}

TEST_F(Listings, NlstWithDashAlSendsLongLines) {
  start();
  std::string data = listing("NLST -al");
  EXPECT_TRUE(has_entry(data, "a.txt")) << data;
  EXPECT_EQ(entry_line(data, "a.txt").substr(0, 10), "-rwxrw-rw-");
  EXPECT_FALSE(has_line(data, "a.txt")) << data;
  EXPECT_TRUE(has_entry(listing("NLST -aL"), "a.txt"));
}

TEST_F(Listings, NlstRecursiveSendsNamesWithAHeaderPerSubfolder) {
  site.make_dir("home/sub/deeper");
  site.write_file("home/sub/deeper/x.bin", "x");
  start();
  std::string data = listing("NLST -R");
  size_t sub = data.find("\r\nsub/:\r\n");
  size_t deeper = data.find("\r\nsub/deeper/:\r\n");
  ASSERT_NE(sub, std::string::npos) << data;
  ASSERT_NE(deeper, std::string::npos) << data;
  EXPECT_LT(sub, deeper);
  EXPECT_NE(data.find("\r\ninner.txt\r\n", sub), std::string::npos) << data;
  EXPECT_NE(data.find("\r\nx.bin\r\n", deeper), std::string::npos) << data;
  EXPECT_EQ(data.find("owner"), std::string::npos) << data;
}

// Options and a path together: the options shape the lines, the path names the folder.
TEST_F(Listings, OptionsAndAPathAreBothHonoured) {
  start();
  std::string data = listing("LIST -la sub");
  EXPECT_TRUE(has_entry(data, "inner.txt")) << data;
  EXPECT_FALSE(has_entry(data, "a.txt")) << data;
  EXPECT_EQ(data.find("sub/:"), std::string::npos) << data;
  EXPECT_TRUE(has_entry(listing("LIST -a sub/"), "inner.txt"));
  std::string names = listing("NLST -l sub");
  EXPECT_TRUE(has_entry(names, "inner.txt")) << names;
  EXPECT_FALSE(has_line(names, "inner.txt")) << names;
  EXPECT_EQ(client.command("LIST -la nothere/"), kNotTaken);
  EXPECT_TRUE(has_entry(listing("LIST -la"), "a.txt"));
}

TEST_F(Listings, ListDashLRecursesInLongForm) {
  start();
  std::string data = listing("LIST -lR");
  size_t header = data.find("\r\nsub/:\r\n");
  ASSERT_NE(header, std::string::npos) << data;
  EXPECT_TRUE(has_entry(data.substr(header), "inner.txt")) << data;
}

TEST_F(Listings, RuleWithNoRecursionTurnsRecursiveListingPlain) {
  start({{"Dir0", site.home()}, {"Prhb0", std::to_string(0x4000)}});
  std::string data = listing("LIST -R");
  EXPECT_TRUE(has_entry(data, "sub")) << data;
  EXPECT_EQ(data.find("sub/:"), std::string::npos) << data;
}

TEST_F(Listings, SubfolderClosedToListingIsShownButNotEntered) {
  site.make_dir("home/open");
  site.write_file("home/open/seen.txt", "s");
  start({{"Dir0", site.home() + "sub/"}, {"Prhb0", std::to_string(0x0100)}});
  std::string data = listing("LIST -R");
  EXPECT_TRUE(has_entry(data, "sub")) << data;
  EXPECT_EQ(data.find("sub/:"), std::string::npos) << data;
  EXPECT_EQ(data.find("inner.txt"), std::string::npos) << data;
  EXPECT_NE(data.find("\r\nopen/:\r\n"), std::string::npos) << data;
  EXPECT_TRUE(has_entry(data, "seen.txt")) << data;
}

TEST_F(Listings, ListingOfAFolderClosedToListingIsRefusedAndReported) {
  start({{"Dir0", site.home() + "sub/"}, {"Prhb0", std::to_string(0x0100)}});
  EXPECT_EQ(client.command("LIST sub/"), kNotTaken);
  EXPECT_EQ(event_message(24), "権限が無いため、[sub/]の表示を拒否しました。");
  EXPECT_EQ(client.command("NLST sub/"), kNotTaken);
}

TEST_F(Listings, ListingAboveTheHomeFolderIsRefused) {
  start();
  EXPECT_EQ(client.command("LIST ../"), kNotTaken);
  EXPECT_EQ(client.command("NLST /../user/"), kNotTaken);
}

TEST_F(Listings, AccountWithoutListingRightIsRefused) {
  start({{"UserKinshi", std::to_string(0x0100)}});
  EXPECT_EQ(client.command("LIST"), kNotTaken);
  EXPECT_EQ(client.command("LIST -la"), kNotTaken);
}

TEST_F(Listings, FileInAFolderClosedToDownloadsShowsNoGroupRead) {
  site.make_dir("home/pub");
  site.write_file("home/pub/f.txt", "f");
  start({{"Dir0", site.home() + "pub/"}, {"Prhb0", std::to_string(0x0020)}});
  EXPECT_EQ(entry_line(listing("LIST pub/"), "f.txt").substr(0, 10), "-rwx-w--w-");
}

TEST_F(Listings, SingleFileListingShowsTheRulesOfItsFolder) {
  site.make_dir("home/pub");
  site.write_file("home/pub/f.txt", "f");
  // A rule for the folder only still governs the files directly in it.
  start({{"Dir0", site.home() + "pub/"}, {"Prhb0", std::to_string(0x1000 | 0x0020)}});
  EXPECT_EQ(entry_line(listing("LIST pub/f.txt"), "f.txt").substr(0, 10), "-rwx-w--w-");
  EXPECT_EQ(entry_line(listing("LIST pub/"), "f.txt").substr(0, 10), "-rwx-w--w-");
}

TEST_F(Listings, FileInAFolderClosedToOverwritesShowsNoGroupWrite) {
  site.make_dir("home/pub");
  site.write_file("home/pub/f.txt", "f");
  start({{"Dir0", site.home() + "pub/"}, {"Prhb0", std::to_string(0x0002)}});
  EXPECT_EQ(entry_line(listing("LIST pub/"), "f.txt").substr(0, 10), "-rwxr--r--");
}

TEST_F(Listings, ReadOnlyFileAndFolderPermissions) {
  std::filesystem::permissions(site.home() + "a.txt", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::group_read |
                                                          std::filesystem::perms::others_read);
  start();
  std::string data = listing("LIST");
  EXPECT_EQ(entry_line(data, "a.txt").substr(0, 10), "-r-xr--r--");
  EXPECT_EQ(entry_line(data, "sub").substr(0, 10), "drwxrw-rw-");
}

TEST_F(Listings, ListOfOneFileSendsOneLine) {
  start();
  std::string data = listing("LIST a.txt");
  ASSERT_EQ(lines_of(data).size(), 1u) << data;
  EXPECT_TRUE(has_entry(data, "a.txt")) << data;
  EXPECT_EQ(listing("NLST sub/inner.txt"), "inner.txt\r\n");
}

// A folder is listed by its contents, named with or without its slash, real or virtual,
// and "." names the current folder, also in the home folder.
TEST_F(Listings, ListOfAFolderSendsItsContents) {
  site.make_dir("mp3");
  site.write_file("mp3/song.mp3", "la");
  site.set("VirtualDir", "Vir0", site.home() + "music/");
  site.set("VirtualDir", "Dir0", site.path("mp3/"));
  start();
  for (const char* command : {"LIST sub", "LIST sub/", "LIST /sub"}) {
    std::string data = listing(command);
    EXPECT_TRUE(has_entry(data, "inner.txt")) << command << data;
    EXPECT_FALSE(has_entry(data, "sub")) << command << data;
  }
  EXPECT_EQ(listing("NLST sub"), "inner.txt\r\n");
  EXPECT_EQ(listing("NLST music"), "song.mp3\r\n");
  EXPECT_TRUE(has_entry(listing("LIST music"), "song.mp3"));
  for (const char* command : {"LIST .", "LIST ./", "NLST ."}) {
    std::string data = listing(command);
    EXPECT_NE(data.find("a.txt"), std::string::npos) << command << data;
  }
  EXPECT_EQ(client.command("CWD sub"), kDone);
  EXPECT_EQ(listing("NLST ."), "inner.txt\r\n");
  std::string parent = listing("NLST ..");
  EXPECT_TRUE(has_line(parent, "a.txt") && has_line(parent, "sub")) << parent;
}

TEST_F(Listings, ClientWildcardSelectsMatchingNames) {
  site.write_file("home/b.txt", "bb");
  site.write_file("home/c.log", "c");
  start();
  std::string data = listing("LIST *.txt");
  EXPECT_TRUE(has_entry(data, "a.txt")) << data;
  EXPECT_TRUE(has_entry(data, "b.txt")) << data;
  EXPECT_EQ(lines_of(data).size(), 2u) << data;
  EXPECT_EQ(listing("NLST ?.log"), "c.log\r\n");
}

TEST_F(Listings, ListingOfAMissingNameIsEmpty) {
  start();
  EXPECT_EQ(listing("LIST nothere.txt"), "");
}

TEST_F(Listings, RecursiveListingThroughALinkToAnAncestorFinishes) {
  std::filesystem::create_directory_symlink("..", site.home() + "sub/loop");
  std::filesystem::create_directory_symlink(site.home(), site.home() + "sub/again");
  start();
  std::string data = listing("LIST -R");
  EXPECT_EQ(count_of(data, "\r\nsub/:\r\n"), 1u) << data;
  EXPECT_TRUE(has_entry(data, "loop")) << data;
  EXPECT_EQ(data.find("loop/:"), std::string::npos) << data;
  EXPECT_EQ(data.find("again/:"), std::string::npos) << data;
  EXPECT_EQ(client.command("NOOP").substr(0, 3), "200");
}

TEST_F(Listings, LongNamesAreCutButLinesStayWhole) {
  std::string name(250, 'n');
  site.write_file("home/" + name, "x");
  start();
  std::string data = listing("LIST");
  std::vector<std::string> lines = lines_of(data);
  EXPECT_EQ(lines.size(), 5u) << data;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size() + 2, 308u);
    EXPECT_EQ(line.find('\r'), std::string::npos);
  }
  EXPECT_TRUE(has_entry(data, "a.txt")) << data;
}

TEST_F(Listings, ClientThatClosesTheDataConnectionGets426) {
  for (int i = 0; i < 3000; ++i) site.write_file("home/f" + std::to_string(i) + ".dat", "");
  start();
  auto endpoint = client.pasv();
  ASSERT_TRUE(endpoint);
  platform::Socket data = platform::kNoSocket;
  for (uint32_t target : {endpoint->address, platform::kLoopbackAddress}) {
    data = platform::open_tcp_socket();
    // From the control connection's address: the server takes no other.
    if (platform::bind_ipv4(data, {platform::kLoopbackAddress, 0}, false) &&
        platform::connect_ipv4(data, {target, endpoint->port}, 3000))
      break;
    platform::close_socket(data);
    data = platform::kNoSocket;
  }
  ASSERT_NE(data, platform::kNoSocket);
  platform::close_socket(data);  // gone before the first line
  EXPECT_EQ(client.command("LIST"), kOpening);
  EXPECT_EQ(client.reply(10000), kAborted);
  EXPECT_EQ(client.command("NOOP").substr(0, 3), "200");
  EXPECT_EQ(listing("NLST a.txt"), "a.txt\r\n");
}

}  // namespace

namespace {

// The facts of an MLSD or MLST line for name, without the name.
std::string facts_of(const std::string& data, const std::string& name) {
  for (const std::string& one : lines_of(data)) {
    size_t blank = one.find(' ');
    if (blank != std::string::npos && one.substr(blank + 1) == name) return one.substr(0, blank);
  }
  return "<no line for " + name + ">";
}

std::string utc_stamp(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
  return text;
}

// MLSD: one line of facts per entry, the folder itself as cdir, no "..", no hidden names,
// perm from the folder rules, modify in UTC; event 3 as LIST. MLST: one entry on the
// control connection.
TEST_F(Listings, MachineListingsCarryTheFacts) {
  site.write_file("home/pub/f.txt", "f");
  set_modified(site.home() + "a.txt", 1700000000);
  start({{"Dir0", site.home() + "pub/"}, {"Prhb0", std::to_string(0x0020 | 0x0010)}});
  std::string data = listing("MLSD");
  EXPECT_EQ(event_message(3), "ディレクトリ[" + site.home() + "]のリストを送信しました");
  EXPECT_EQ(lines_of(data).size(), 4u) << data;  // ., a.txt, sub, pub
  std::string a = facts_of(data, "a.txt");
  EXPECT_EQ(a.rfind("type=file;size=5;modify=" + utc_stamp(1700000000) + ";perm=adfrw;unique=", 0), 0u) << a;
  EXPECT_EQ(facts_of(data, "sub").rfind("type=dir;modify=", 0), 0u) << data;
  EXPECT_NE(facts_of(data, "sub").find(";perm=cdeflmp;"), std::string::npos) << data;
  EXPECT_EQ(facts_of(data, ".").rfind("type=cdir;", 0), 0u) << data;
  EXPECT_NE(facts_of(listing("MLSD pub"), "f.txt").find(";perm=afw;"), std::string::npos);
  EXPECT_EQ(facts_of(listing("MLSD sub/"), "inner.txt").rfind("type=file;size=5;", 0), 0u);

  std::string one = client.command("MLST a.txt");
  EXPECT_EQ(one, "250-Listing a.txt\r\n " + a + " a.txt\r\n250 End\r\n");
  EXPECT_EQ(client.command("MLST").rfind("250-Listing /\r\n type=dir;", 0), 0u);
  EXPECT_EQ(client.command("MLSD a.txt"), "501 Not a directory.\r\n");
  for (const char* line : {"MLSD nothere", "MLST nothere", "MLST .hidden", "MLSD ../", "MLST ../user"})
    EXPECT_EQ(client.command(line), kNotTaken) << line;
}

}  // namespace
