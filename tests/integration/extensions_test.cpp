// The commands that today's clients expect beside the original set: FEAT, OPTS, ALLO,
// MFMT, SITE CHMOD and SITE HELP, with their refusals and bad arguments.
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
using harness::Keys;
using harness::Server;
using harness::Site;

constexpr const char* kBadArgument = "501 Syntax error in parameters or arguments.\r\n";

class Extensions : public ::testing::Test {
 protected:
  void start(Keys keys = {}) {
    site.write_file("home/a.txt", "abc");
    site.make_dir("home/sub");
    site.add_user("alice", keys);
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_EQ(client.reply(), kGreeting);
  }
  void login() {
    ASSERT_EQ(client.command("USER alice").substr(0, 3), "331");
    ASSERT_EQ(client.command("PASS alice").substr(0, 3), "230");
  }
  int64_t modified(const std::string& relative) {
    auto when = fs::last_write_time(site.home() + relative);
    return std::chrono::duration_cast<std::chrono::seconds>(
               fs::file_time_type::clock::to_sys(when).time_since_epoch())
        .count();
  }
  fs::perms mode(const std::string& relative) {
    return fs::status(site.home() + relative).permissions() & fs::perms::mask;
  }

  Site site{"extensions"};
  std::unique_ptr<Server> server;
  FtpClient client;
};

// FEAT and OPTS need no login (clients send them first); the others do.
TEST_F(Extensions, FeatListsTheFeaturesAndOptsSwitchesThem) {
  start();
  EXPECT_EQ(client.command("FEAT"),
            "211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n MFMT\r\n"
            " MLST type*;size*;modify*;perm*;unique*;\r\n REST STREAM\r\n SIZE\r\n UTF8\r\n"
            "211 End\r\n");
  EXPECT_EQ(client.command("OPTS UTF8 ON"), "200 Always in UTF8 mode.\r\n");
  EXPECT_EQ(client.command("opts utf8 on"), "200 Always in UTF8 mode.\r\n");
  for (const char* line : {"OPTS UTF8 OFF", "OPTS UTF8", "OPTS FOO BAR", "OPTS MLST type; size;"})
    EXPECT_EQ(client.command(line), "501 Option not understood.\r\n") << line;
  EXPECT_EQ(client.command("OPTS"), kBadArgument);
  EXPECT_EQ(client.command("OPTS UTF8 " + std::string(480, 'N')), "501 Option not understood.\r\n");
  for (const char* line : {"ALLO 10", "MFMT 20240101000000 a.txt", "SITE HELP", "MLST", "MLSD", "EPSV", "EPRT |1|127.0.0.1|1025|"})
    EXPECT_EQ(client.command(line), kNotLoggedIn) << line;
  login();
  EXPECT_EQ(client.command("OPTS MLST size;Type;bogus;"), "200 MLST OPTS type;size;\r\n");
  EXPECT_EQ(client.command("MLST a.txt"), "250-Listing a.txt\r\n type=file;size=3; a.txt\r\n250 End\r\n");
  EXPECT_EQ(client.command("ALLO 10"), "202 Command not implemented, superfluous at this site.\r\n");
}

TEST_F(Extensions, MfmtSetsTheModificationTimeInUtc) {
  start();
  login();
  EXPECT_EQ(client.command("MFMT 20240229123456 a.txt"), "213 Modify=20240229123456; a.txt\r\n");
  EXPECT_EQ(modified("a.txt"), 1709210096);
  EXPECT_EQ(client.command("MDTM a.txt"), "213 20240229123456\r\n");
  EXPECT_EQ(client.command("MFMT 20240101000000.123 sub"), "213 Modify=20240101000000; sub\r\n");
  for (const char* line : {"MFMT", "MFMT 20240101000000", "MFMT 99999999999999 a.txt", "MFMT 20230229000000 a.txt",
                           "MFMT 2024010100000 a.txt", "MFMT 2024010100000x a.txt", "MFMT -20240101000000 a.txt"})
    EXPECT_EQ(client.command(line), kBadArgument) << line;
  for (const char* line : {"MFMT 20240101000000 missing.txt", "MFMT 20240101000000 ../user/alice.usr",
                           "MFMT 20240101000000 /", "MFMT 20240101000000 ."})
    EXPECT_EQ(client.command(line), kNotTaken) << line;
  EXPECT_EQ(modified("a.txt"), 1709210096);
  // An over-long path ends the session as for every file command.
  EXPECT_EQ(client.command("MFMT 20240101000000 " + std::string(300, 'x')),
            "330-too long file name.\r\n330 This server kick you for security.\r\n");
  EXPECT_TRUE(client.wait_closed());
}

TEST_F(Extensions, SiteChmodChangesTheModeBitsAndSiteHelpListsIt) {
  start();
  login();
  EXPECT_EQ(client.command("SITE CHMOD 640 a.txt"), "200 SITE CHMOD command successful.\r\n");
  EXPECT_EQ(mode("a.txt"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(client.command("site chmod 0755 sub"), "200 SITE CHMOD command successful.\r\n");
  EXPECT_EQ(mode("sub"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  for (const char* line : {"SITE CHMOD 9999 a.txt", "SITE CHMOD 4755 a.txt", "SITE CHMOD 78 a.txt",
                           "SITE CHMOD 644", "SITE CHMOD", "SITE CHMOD rwx a.txt", "SITE CHMOD 77777 a.txt"})
    EXPECT_EQ(client.command(line), kBadArgument) << line;
  for (const char* line : {"SITE CHMOD 777 missing", "SITE CHMOD 777 ../user/alice.usr", "SITE CHMOD 000 /"})
    EXPECT_EQ(client.command(line), kNotTaken) << line;
  EXPECT_EQ(mode("a.txt"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(client.command("SITE HELP"),
            "214-The following SITE commands are recognized\r\n CHMOD <sp> mode <sp> pathname\r\n HELP\r\n"
            "214 End\r\n");
  EXPECT_EQ(client.command("SITE"), kBadArgument);
  EXPECT_EQ(client.command("SITE EXEC ls"), "502 Command not implemented.\r\n");
}

// Both changes need a folder whose rules allow storing over files; the refusal is reported.
TEST_F(Extensions, FolderRulesThatForbidWritingRefuseBothChanges) {
  site.write_file("home/ro/f.txt", "f");
  start({{"Dir0", site.home() + "ro/"}, {"Prhb0", std::to_string(0x0002)}});
  login();
  fs::perms before = mode("ro/f.txt");
  EXPECT_EQ(client.command("SITE CHMOD 600 ro/f.txt"), kNotTaken);
  EXPECT_EQ(client.command("MFMT 20240101000000 ro/f.txt"), kNotTaken);
  EXPECT_EQ(mode("ro/f.txt"), before);
  EXPECT_EQ(client.command("SYST"), "215 UNIX A N (HN)\r\n");
  std::string log = site.read_file("user/alice.mlg");
  EXPECT_NE(log.find("[ro/f.txt]の属性の変更を拒否しました。"), std::string::npos) << log;
  EXPECT_NE(log.find("[ro/f.txt]の更新日時の変更を拒否しました。"), std::string::npos) << log;
}

}  // namespace
