// Paths as a client sees them through a real server: the too-long-name kick, virtual
// folders with rules on both sides, folder-only rules and rules written in another case.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;

namespace fs = std::filesystem;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr const char* kTooLong =
    "330-too long file name.\r\n330 This server kick you for security.\r\n";

// alice's home is home/; the virtual folder home/pub/music/ lives in mp3/ beside it.
struct VirtualSite {
  Site site{"paths"};
  std::unique_ptr<Server> server;
  FtpClient ftp;

  VirtualSite() {
    site.add_user("alice");
    site.make_dir("home/pub");
    site.write_file("mp3/a.mp3", "1234567");
    site.make_dir("mp3/albums");
    site.set("VirtualDir", "Vir0", site.home() + "pub/music/");
    site.set("VirtualDir", "Dir0", site.path("mp3/"));
  }
  void rule(int number, const std::string& path, unsigned flags) {
    site.set_user_key("alice", "UserInfo", "Dir" + std::to_string(number), path);
    site.set_user_key("alice", "UserInfo", "Prhb" + std::to_string(number),
                      std::to_string(flags));
  }
  bool start_and_login() {
    server = std::make_unique<Server>(site);
    return ftp.connect(site.ftp_port()) && ftp.login("alice", "alice");
  }
};

TEST(TooLongPath, EndsTheSessionWithTheKickText) {
  VirtualSite v;
  ASSERT_TRUE(v.start_and_login());
  std::string name(250, 'x');
  EXPECT_EQ(v.ftp.command("MKD " + name), kTooLong);
  EXPECT_TRUE(v.ftp.wait_closed(5000));
  EXPECT_FALSE(v.site.exists("home/" + name.substr(0, 200)));
}

TEST(TooLongPath, EveryPathCommandKicks) {
  VirtualSite v;
  v.server = std::make_unique<Server>(v.site);
  for (const char* command : {"CWD", "SIZE", "DELE", "RNFR", "RNTO", "RMD", "MDTM", "STAT"}) {
    FtpClient ftp;
    ASSERT_TRUE(ftp.connect(v.site.ftp_port()) && ftp.login("alice", "alice"));
    EXPECT_EQ(ftp.command(std::string(command) + " /" + std::string(255, 'y')), kTooLong)
        << command;
    EXPECT_TRUE(ftp.wait_closed(5000)) << command;
  }
}

TEST(TooLongPath, PathThatStillFitsIsServed) {
  VirtualSite v;
  ASSERT_TRUE(v.start_and_login());
  // Base (the home directory) plus client path of exactly 259 bytes.
  size_t room = 259 - v.site.home().size();
  ASSERT_GT(room, 2u);
  std::string name(room, 'z');
  EXPECT_EQ(v.ftp.command("SIZE " + name), kNotTaken);
  EXPECT_EQ(v.ftp.command("SYST"), "215 UNIX A N (HN)\r\n");
}

TEST(VirtualFolder, FilesAreReadFromTheRealFolder) {
  VirtualSite v;
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/music/a.mp3"), "213 7\r\n");
  EXPECT_EQ(v.ftp.command("CWD /pub/music"), kDone);
  EXPECT_EQ(v.ftp.command("PWD"), "257 \"/pub/music/\" is your directory.\r\n");
  EXPECT_EQ(v.ftp.command("SIZE a.mp3"), "213 7\r\n");
  EXPECT_EQ(v.ftp.command("CWD albums"), kDone);
  EXPECT_EQ(v.ftp.command("PWD"), "257 \"/pub/music/albums/\" is your directory.\r\n");
}

TEST(VirtualFolder, FoldersAreMadeAndFilesRenamedInTheRealFolder) {
  VirtualSite v;
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("MKD /pub/music/new/deeper"),
            "257 \"/pub/music/new/deeper\" directory created.\r\n");
  EXPECT_TRUE(fs::is_directory(v.site.path("mp3/new/deeper")));
  EXPECT_FALSE(v.site.exists("home/pub/music"));
  ASSERT_EQ(v.ftp.command("RNFR /pub/music/a.mp3").substr(0, 3), "350");
  EXPECT_EQ(v.ftp.command("RNTO /pub/music/b.mp3"), kDone);
  EXPECT_EQ(v.site.read_file("mp3/b.mp3"), "1234567");
  EXPECT_EQ(v.ftp.command("DELE /pub/music/b.mp3"), kDone);
  EXPECT_FALSE(v.site.exists("mp3/b.mp3"));
}

TEST(VirtualFolder, RuleOnThePlacementPathRefuses) {
  VirtualSite v;
  v.rule(0, v.site.home() + "pub/music/", 0x0100 | 0x0200);
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/music/a.mp3"), kNotTaken);
  EXPECT_EQ(v.ftp.command("CWD /pub/music"), kNotTaken);
}

TEST(VirtualFolder, RuleOnTheRealFolderRefuses) {
  VirtualSite v;
  v.rule(0, v.site.path("mp3/"), 0x0100 | 0x0200);
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/music/a.mp3"), kNotTaken);
  EXPECT_EQ(v.ftp.command("CWD /pub/music"), kNotTaken);
  EXPECT_EQ(v.ftp.command("CWD /pub"), kDone);
}

TEST(VirtualFolder, RemovedPairStopsTheMappingAtTheNextCommand) {
  VirtualSite v;
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/music/a.mp3"), "213 7\r\n");
  v.site.set("VirtualDir", "Vir0", "");
  EXPECT_EQ(v.ftp.command("SIZE /pub/music/a.mp3"), kNotTaken);
}

TEST(Rules, FolderOnlyRuleGovernsFilesInTheFolderButNotSubfolders) {
  VirtualSite v;
  v.site.write_file("home/pub/a.txt", "abc");
  v.site.write_file("home/pub/sub/x.txt", "xy");
  v.rule(0, v.site.home() + "pub/", 0x1000 | 0x0100);
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/a.txt"), kNotTaken);
  EXPECT_EQ(v.ftp.command("SIZE /pub/sub/x.txt"), "213 2\r\n");
}

TEST(Rules, PrefixRuleCoversSubfolders) {
  VirtualSite v;
  v.site.write_file("home/pub/sub/x.txt", "xy");
  v.rule(0, v.site.home() + "pub/", 0x0100);
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/sub/x.txt"), kNotTaken);
}

TEST(Rules, RuleInAnotherLetterCaseMatchesOnlyTheFolderItself) {
  VirtualSite v;
  v.site.write_file("home/pub/a.txt", "abc");
  v.site.write_file("home/pub/sub/x.txt", "xy");
  std::string upper = v.site.home() + "PUB/";
  v.rule(0, upper, 0x0100);
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/a.txt"), kNotTaken);
  EXPECT_EQ(v.ftp.command("SIZE /pub/sub/x.txt"), "213 2\r\n");
}

TEST(Rules, FirstMatchingRuleWins) {
  VirtualSite v;
  v.site.write_file("home/pub/sub/x.txt", "xy");
  v.rule(0, v.site.home(), 0x0010);
  v.rule(1, v.site.home() + "pub/sub/", 0x0100);
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /pub/sub/x.txt"), "213 2\r\n");
  EXPECT_EQ(v.ftp.command("DELE /pub/sub/x.txt"), kNotTaken);
}

TEST(Rules, MakeDirectoryOfAMissingFolderIsAllowedOtherCommandsAreNot) {
  VirtualSite v;
  ASSERT_TRUE(v.start_and_login());
  EXPECT_EQ(v.ftp.command("SIZE /none/x"), kNotTaken);
  EXPECT_EQ(v.ftp.command("CWD /none/x"), kNotTaken);
  EXPECT_EQ(v.ftp.command("MKD /none/x"), "257 \"/none/x\" directory created.\r\n");
  EXPECT_TRUE(fs::is_directory(v.site.home() + "none/x"));
}

}  // namespace
