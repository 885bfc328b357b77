// Hostile paths: whatever a client sends to CWD, LIST, MKD, RMD, DELE, RNFR/RNTO, SIZE,
// MDTM and STAT, nothing outside its home directory and its virtual folders is touched.
// Before and after every path the test takes a snapshot of the disk outside the home
// directory (names, kinds, link targets, sizes and content hashes) and compares them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;

namespace fs = std::filesystem;
using harness::FtpClient;
using harness::Server;
using harness::Site;

using Snapshot = std::map<std::string, std::string>;

// Every name below root except the skipped subtrees, without following links.
Snapshot snapshot(const std::string& root, const std::vector<std::string>& skipped) {
  Snapshot out;
  std::error_code ec;
  auto options = fs::directory_options::skip_permission_denied;
  for (auto it = fs::recursive_directory_iterator(root, options, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::string path = it->path().string();
    std::string relative = path.substr(root.size());
    bool skip = false;
    for (const std::string& s : skipped)
      skip = skip || relative == s || relative.rfind(s + "/", 0) == 0;
    if (skip) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) it.disable_recursion_pending();
      continue;
    }
    if (it->is_symlink(ec)) {
      out[relative] = "link " + fs::read_symlink(it->path(), ec).string();
    } else if (it->is_directory(ec)) {
      out[relative] = "dir";
    } else {
      out[relative] = "file " + std::to_string(it->file_size(ec)) + " " +
                      harness::sha256_file(path);
    }
  }
  return out;
}

Snapshot system_snapshot() {
  Snapshot out;
  out["/etc/passwd"] = harness::sha256_file("/etc/passwd");
  std::error_code ec;
  std::string names;
  for (const auto& entry : fs::directory_iterator("/etc", ec)) names += entry.path().string() + "\n";
  out["/etc"] = names;
  return out;
}

// alice's home is srv/alice/; bob's home srv/bob/ and srv/alice2/ lie beside it, outside/
// above, and the virtual folder v/ of alice's home lives in vreal/.
struct HostileSite {
  Site site{"traversal"};
  std::unique_ptr<Server> server;
  FtpClient ftp;
  std::string home = site.path("srv/alice/");

  HostileSite() {
    site.write_file("canary.txt", "canary");
    site.write_file("outside/secret.txt", "secret");
    site.write_file("outside/sub/deep.txt", "deep");
    site.make_dir("outside/emptydir");
    site.write_file("srv/bob/bob.txt", "bob");
    site.make_dir("srv/bob/bobdir");
    site.write_file("srv/alice2/a2.txt", "alice2");
    site.write_file("vreal/v.txt", "virtual");
    site.write_file("srv/alice/victim.txt", "victim");
    site.make_dir("srv/alice/pub");
    fs::create_directory_symlink(site.path("outside"), home + "to-outside");
    fs::create_directory_symlink(site.path("srv/bob"), home + "to-bob");
    fs::create_symlink(site.path("outside/secret.txt"), home + "passwd-link");
    fs::create_directory_symlink("/etc", home + "to-etc");
    fs::create_directory_symlink("../../../outside", home + "pub/link-up");
    fs::create_symlink(site.path("outside/not-there"), home + "dangling");
    fs::create_directory_symlink("../alice2", home + "to-alice2");
    fs::create_directory_symlink(site.path("outside"), site.path("vreal/escape"));
    site.set("VirtualDir", "Vir0", home + "v/");
    site.set("VirtualDir", "Dir0", site.path("vreal/"));
    site.add_user("alice", {{"HomeDir", home}});
    site.add_user("bob", {{"HomeDir", site.path("srv/bob/")}});
    server = std::make_unique<Server>(site);
  }
  Snapshot outside_snapshot() const {
    return snapshot(site.root(), {"srv/alice", "user", "quorsrv.out"});
  }
  void restore_victim() { site.write_file("srv/alice/victim.txt", "victim"); }
};

// Paths that lead out of alice's home, by "..", by links or by the virtual folder.
const std::vector<std::string> kEscapes = {
    "..",
    "../",
    "../..",
    "../../../../../../../../../..",
    "/..",
    "/../",
    "/../..",
    "/../../canary.txt",
    "../../canary.txt",
    "../../outside",
    "../../outside/",
    "../../outside/secret.txt",
    "/../../outside/secret.txt",
    "../../outside/emptydir",
    "../../outside/sub/deep.txt",
    "../bob",
    "../bob/",
    "../bob/bob.txt",
    "/../bob/bobdir",
    "../alice2",
    "../alice2/a2.txt",
    "pub/../../bob/bob.txt",
    "pub/../../../outside",
    "./../../outside",
    "pub/./../.././../outside/secret.txt",
    "//../../outside",
    "/.//..//..//outside//secret.txt",
    "../alice/../bob/bob.txt",
    "../../srv/bob/bob.txt",
    "pub/sub/../../../bob",
    "..//",
    "../.",
    "../bob/./bob.txt",
    "to-outside",
    "to-outside/",
    "to-outside/secret.txt",
    "to-outside/emptydir",
    "to-outside/newdir",
    "to-outside/sub/deep.txt",
    "to-outside/sub/new/deeper",
    "/to-outside/sub/",
    "to-bob",
    "to-bob/",
    "to-bob/bob.txt",
    "to-bob/bobdir",
    "passwd-link",
    "pub/link-up",
    "pub/link-up/",
    "pub/link-up/secret.txt",
    "pub/../to-outside/secret.txt",
    "dangling",
    "dangling/x",
    "to-alice2/a2.txt",
    "to-alice2",
    "v/escape",
    "v/escape/secret.txt",
    "v/escape/newdir",
    "/v/../../../outside/secret.txt",
};

// Paths that reach the system's own files; only commands that change nothing are sent.
const std::vector<std::string> kSystemPaths = {
    "/etc/passwd",  // inside the home: names home/etc/passwd, which does not exist
    "../../../../../../../../../../../../etc/passwd",
    "/../../../../../../../../../../../../etc",
    "to-etc",
    "to-etc/",
    "to-etc/passwd",
};

// Odd names that stay inside the home directory: served or refused, never an escape.
const std::vector<std::string> kOddButInside = {
    "//",
    "/./",
    "/",
    ".",
    "./",
    "...",
    "....",
    "a.",
    "trailing..",
    "x\\..\\..\\outside",
    "..\\..\\outside\\secret.txt",
    "\\..\\..\\",
    "\\",
    "-la",
    "-",
    "*",
    "?",
    "%2e%2e",
    "..%2f..%2foutside",
    "....//....//outside",
    ".. ",
    "..a",
    "/..hidden",
    "../alice/",
    "pub/../victim-copy",
    "pub/./././",
};

class Traversal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(h.ftp.connect(h.site.ftp_port()));
    ASSERT_TRUE(h.ftp.login("alice", "alice"));
    before = h.outside_snapshot();
    system_before = system_snapshot();
  }
  void expect_unchanged(const std::string& path) {
    EXPECT_EQ(h.outside_snapshot(), before) << "disk outside changed after " << path;
    EXPECT_EQ(system_snapshot(), system_before) << "system files changed after " << path;
  }
  // Sends one command; an escape must be refused with 550.
  void send(const std::string& command, bool must_refuse) {
    std::string reply = h.ftp.command(command);
    ASSERT_FALSE(reply.empty()) << command << ": no reply";
    if (must_refuse) {
      EXPECT_EQ(reply, kNotTaken) << command;
    }
  }
  void rename_victim_to(const std::string& path, bool must_refuse) {
    h.restore_victim();
    ASSERT_EQ(h.ftp.command("RNFR victim.txt").substr(0, 3), "350");
    send("RNTO " + path, must_refuse);
  }
  void reset() {
    EXPECT_EQ(h.ftp.command("CWD /"), "250 Requested file action okay, completed.\r\n");
  }

  HostileSite h;
  Snapshot before;
  Snapshot system_before;
};

TEST_F(Traversal, EscapingPathsAreRefusedByEveryCommand) {
  ASSERT_GE(kEscapes.size() + kSystemPaths.size() + kOddButInside.size(), 50u);
  for (const std::string& path : kEscapes) {
    for (const char* verb : {"CWD", "LIST", "MKD", "RMD", "DELE", "RNFR", "SIZE", "MDTM", "STAT"})
      send(std::string(verb) + " " + path, true);
    EXPECT_EQ(h.ftp.command("PWD"), "257 \"/\" is your directory.\r\n") << path;
    rename_victim_to(path, true);
    EXPECT_EQ(h.site.read_file("srv/alice/victim.txt"), "victim") << path;
    expect_unchanged(path);
  }
}

TEST_F(Traversal, SystemFilesAreNeverReached) {
  for (const std::string& path : kSystemPaths) {
    for (const char* verb : {"CWD", "LIST", "SIZE", "MDTM", "STAT", "RNFR"})
      send(std::string(verb) + " " + path, true);
    EXPECT_EQ(h.ftp.command("PWD"), "257 \"/\" is your directory.\r\n") << path;
    expect_unchanged(path);
  }
}

TEST_F(Traversal, OddNamesStayInsideTheHomeDirectory) {
  for (const std::string& path : kOddButInside) {
    for (const char* verb : {"CWD", "MKD", "RMD", "DELE", "RNFR", "SIZE", "MDTM", "STAT"})
      send(std::string(verb) + " " + path, false);
    reset();
    rename_victim_to(path, false);
    reset();
    expect_unchanged(path);
  }
  EXPECT_EQ(h.ftp.command("PWD"), "257 \"/\" is your directory.\r\n");
}

TEST_F(Traversal, MovingAnOutsideFileInIsRefused) {
  for (const char* source : {"../../outside/secret.txt", "to-outside/secret.txt", "passwd-link",
                             "../bob/bob.txt"}) {
    EXPECT_EQ(h.ftp.command(std::string("RNFR ") + source), kNotTaken) << source;
    EXPECT_EQ(h.ftp.command("RNTO stolen.txt"), kNotTaken) << source;
    EXPECT_FALSE(h.site.exists("srv/alice/stolen.txt")) << source;
  }
  expect_unchanged("RNFR of outside files");
}

TEST_F(Traversal, LongNamesWithinTheLimitAreServedAndLongerOnesEndTheSession) {
  size_t room = 259 - h.home.size();
  std::string fitting(std::min<size_t>(room, 255), 'n');
  EXPECT_EQ(h.ftp.command("MKD " + fitting).substr(0, 3), "257");
  EXPECT_EQ(h.ftp.command("RMD " + fitting).substr(0, 3), "250");
  std::string too_long = "../../outside/" + std::string(room, 'n');
  EXPECT_EQ(h.ftp.command("MKD " + too_long),
            "330-too long file name.\r\n330 This server kick you for security.\r\n");
  EXPECT_TRUE(h.ftp.wait_closed(5000));
  expect_unchanged("a too long name");
}

TEST_F(Traversal, SecondAccountCannotReachTheFirstAccountsHome) {
  FtpClient bob;
  ASSERT_TRUE(bob.connect(h.site.ftp_port()));
  ASSERT_TRUE(bob.login("bob", "bob"));
  for (const char* command : {"SIZE ../alice/victim.txt", "DELE ../alice/victim.txt",
                              "RNFR ../alice/victim.txt", "CWD ../alice", "RMD ../alice/pub",
                              "MKD ../alice/bobwashere"}) {
    EXPECT_EQ(bob.command(command), kNotTaken) << command;
  }
  EXPECT_EQ(h.site.read_file("srv/alice/victim.txt"), "victim");
  EXPECT_TRUE(fs::is_directory(h.home + "pub"));
  EXPECT_FALSE(h.site.exists("srv/alice/bobwashere"));
}

TEST_F(Traversal, AccountWithoutHomeDirectoryReachesNothing) {
  h.site.add_user("nohome", {{"HomeDir", ""}});
  FtpClient client;
  ASSERT_TRUE(client.connect(h.site.ftp_port()));
  ASSERT_TRUE(client.login("nohome", "nohome"));
  for (const char* command : {"CWD /", "SIZE /etc/passwd", "MKD /tmp-nohome", "DELE /canary.txt",
                              "RNFR /etc/passwd", "STAT /etc/passwd", "LIST /"}) {
    EXPECT_EQ(client.command(command), kNotTaken) << command;
  }
  expect_unchanged("an account without home directory");
  EXPECT_FALSE(fs::exists("/tmp-nohome"));
}

}  // namespace
