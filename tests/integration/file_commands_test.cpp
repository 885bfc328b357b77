// CWD, CDUP, PWD, MKD, RMD, DELE, RNFR/RNTO, SIZE, MDTM, STAT, SYST, TYPE and REST as a
// client sees them: exact replies, the message-log lines the operator sees, the disk.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;

namespace fs = std::filesystem;
using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr const char* kHidden = "553 Requested action not taken.\r\n";

// A site with the account alice (home: home/), a started server and a logged-in client.
struct FileSite {
  Site site{"filecmd"};
  std::unique_ptr<Server> server;
  FtpClient ftp;

  explicit FileSite(harness::Keys account = {}) { site.add_user("alice", std::move(account)); }
  void start() { server = std::make_unique<Server>(site); }
  bool login() { return ftp.connect(site.ftp_port()) && ftp.login("alice", "alice"); }
  bool start_and_login() {
    start();
    return login();
  }
  // The message log once every report of the commands sent so far is written: the
  // session answers SYST only after it has finished the command before it.
  std::string message_log() {
    EXPECT_EQ(ftp.command("SYST"), "215 UNIX A N (HN)\r\n");
    return site.read_file("user/alice.mlg");
  }
  std::string home() const { return site.home(); }
  void write(const std::string& relative, const std::string& content) {
    site.write_file("home/" + relative, content);
  }
};

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ChangeDirectory, IntoASubfolderAndPwdShowsIt) {
  FileSite f;
  f.site.make_dir("home/pub/sub");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/\" is your directory.\r\n");
  EXPECT_EQ(f.ftp.command("CWD pub"), kDone);
  EXPECT_EQ(f.ftp.command("XCWD sub/"), kDone);
  EXPECT_EQ(f.ftp.command("XPWD"), "257 \"/pub/sub/\" is your directory.\r\n");
  EXPECT_EQ(f.ftp.command("CDUP"), kDone);
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/pub/\" is your directory.\r\n");
  std::string log = f.message_log();
  EXPECT_NE(log.find("ディレクトリ[pub]に移動しました。"), std::string::npos) << log;
  EXPECT_NE(log.find("ディレクトリ[sub/]に移動しました。"), std::string::npos) << log;
  EXPECT_NE(log.find("ディレクトリ[..]に移動しました。"), std::string::npos) << log;
}

TEST(ChangeDirectory, SlashLeadsBackToTheHomeDirectory) {
  FileSite f;
  f.site.make_dir("home/pub/sub");
  ASSERT_TRUE(f.start_and_login());
  ASSERT_EQ(f.ftp.command("CWD /pub/sub"), kDone);
  EXPECT_EQ(f.ftp.command("CWD /"), kDone);
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/\" is your directory.\r\n");
}

TEST(ChangeDirectory, DotDotInTheHomeDirectoryIsRefused) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("CWD .."), kNotTaken);
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/\" is your directory.\r\n");
  EXPECT_NE(f.message_log().find("移動の権限が無いため、[..]への移動を拒否しました。"),
            std::string::npos);
}

TEST(ChangeDirectory, CdupInTheHomeDirectoryReportsTheRefusalWithDotDot) {
  FileSite f;
  f.start();
  AdminClient admin;
  ASSERT_TRUE(admin.connect(f.site.admin_port()));
  ASSERT_TRUE(f.login());
  EXPECT_EQ(f.ftp.command("CDUP"), kNotTaken);
  auto event = admin.wait_for(24);
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->snapshot.message, "移動の権限が無いため、[..]への移動を拒否しました。");
  EXPECT_EQ(f.ftp.command("XCUP"), kNotTaken);
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/\" is your directory.\r\n");
}

TEST(ChangeDirectory, FileOrMissingNameIsNotADirectory) {
  FileSite f;
  f.write("a.txt", "abc");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("CWD a.txt"), kNotTaken);
  EXPECT_EQ(f.ftp.command("CWD nothing"), kNotTaken);
  std::string log = f.message_log();
  EXPECT_NE(log.find("ディレクトリでないため、[a.txt]への移動を拒否しました。"), std::string::npos);
  EXPECT_NE(log.find("ディレクトリでないため、[nothing]への移動を拒否しました。"), std::string::npos);
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/\" is your directory.\r\n");
}

TEST(ChangeDirectory, ForbiddenChangeIsRefused) {
  FileSite f(harness::Keys{{"UserKinshi", std::to_string(0x0200)}});
  f.site.make_dir("home/pub");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("CWD pub"), kNotTaken);
  EXPECT_NE(f.message_log().find("移動の権限が無いため、[pub]への移動を拒否しました。"),
            std::string::npos);
}

TEST(ChangeDirectory, AdminSnapshotCarriesTheNewCurrentDirectory) {
  FileSite f;
  f.site.make_dir("home/pub");
  f.start();
  AdminClient admin;
  ASSERT_TRUE(admin.connect(f.site.admin_port()));
  ASSERT_TRUE(f.login());
  EXPECT_EQ(f.ftp.command("CWD pub"), kDone);
  auto event = admin.wait_for(6);
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->snapshot.current_directory, f.home() + "pub/");
  EXPECT_EQ(event->snapshot.message, "ディレクトリ[pub]に移動しました。");
}

TEST(PrintDirectory, BeforeLoginRepliesAndEndsTheSession) {
  FileSite f;
  f.start();
  ASSERT_TRUE(f.ftp.connect(f.site.ftp_port()));
  ASSERT_FALSE(f.ftp.reply().empty());  // greeting
  EXPECT_EQ(f.ftp.command("PWD"), "504 Command not implemented for that parameter.\r\n");
  EXPECT_TRUE(f.ftp.wait_closed(5000));
}

TEST(PrintDirectory, AfterUserButBeforePasswordAlsoEndsTheSession) {
  FileSite f;
  f.start();
  ASSERT_TRUE(f.ftp.connect(f.site.ftp_port()));
  ASSERT_FALSE(f.ftp.reply().empty());
  ASSERT_EQ(f.ftp.command("USER alice").substr(0, 3), "331");
  EXPECT_EQ(f.ftp.command("XPWD"), "504 Command not implemented for that parameter.\r\n");
  EXPECT_TRUE(f.ftp.wait_closed(5000));
}

TEST(LoginRequired, FileCommandsBeforeLoginAreRefusedAndSystAnswers) {
  FileSite f;
  f.write("a.txt", "abc");
  f.start();
  ASSERT_TRUE(f.ftp.connect(f.site.ftp_port()));
  ASSERT_FALSE(f.ftp.reply().empty());
  for (const char* command : {"CWD /", "XCWD /", "CDUP", "XCUP", "MKD x", "XMKD x", "RMD x",
                              "XRMD x", "DELE a.txt", "RNFR a.txt", "RNTO b.txt", "SIZE a.txt",
                              "MDTM a.txt", "STAT a.txt", "TYPE I", "REST 5"}) {
    EXPECT_EQ(f.ftp.command(command), kNotLoggedIn) << command;
  }
  EXPECT_EQ(f.ftp.command("SYST"), "215 UNIX A N (HN)\r\n");
  EXPECT_TRUE(f.site.exists("home/a.txt"));
  EXPECT_FALSE(f.site.exists("home/x"));
}

TEST(MakeDirectory, ThreeMissingLevelsAreCreatedWithOneReply) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("MKD a/b/c"), "257 \"a/b/c\" directory created.\r\n");
  EXPECT_TRUE(fs::is_directory(f.home() + "a/b/c"));
  std::string log = f.message_log();
  EXPECT_EQ(count(log, "ディレクトリ[a/b/c]を作成しました。"), 1u) << log;
  EXPECT_EQ(count(log, "作成を拒否"), 0u) << log;
}

TEST(MakeDirectory, ExistingFolderGives550WithoutALogLine) {
  FileSite f;
  f.site.make_dir("home/here");
  ASSERT_TRUE(f.start_and_login());
  std::string before = f.message_log();
  EXPECT_EQ(f.ftp.command("XMKD here"), kNotTaken);
  EXPECT_EQ(f.message_log(), before);
}

TEST(MakeDirectory, RuleOnTheParentRefusesWithALogLine) {
  FileSite f;
  f.site.set_user_key("alice", "UserInfo", "Dir0", f.home() + "locked/");
  f.site.set_user_key("alice", "UserInfo", "Prhb0", "128");
  f.site.make_dir("home/locked");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("MKD locked/new"), kNotTaken);
  EXPECT_FALSE(f.site.exists("home/locked/new"));
  EXPECT_NE(f.message_log().find("ディレクトリ[locked/new]の作成を拒否しました。"),
            std::string::npos);
  EXPECT_EQ(f.ftp.command("MKD free"), "257 \"free\" directory created.\r\n");
}

TEST(MakeDirectory, ForbiddenForTheAccountCreatesNothing) {
  FileSite f(harness::Keys{{"UserKinshi", "128"}});
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("MKD a/b"), kNotTaken);
  EXPECT_FALSE(f.site.exists("home/a"));
}

TEST(RemoveDirectory, EmptyFolderIsRemoved) {
  FileSite f;
  f.site.make_dir("home/empty");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("RMD empty"), kDone);
  EXPECT_FALSE(f.site.exists("home/empty"));
  EXPECT_NE(f.message_log().find("ディレクトリ[empty]を削除しました。"), std::string::npos);
}

TEST(RemoveDirectory, FolderWithContentStaysAndNoLineIsWritten) {
  FileSite f;
  f.write("full/keep.txt", "keep");
  ASSERT_TRUE(f.start_and_login());
  std::string before = f.message_log();
  EXPECT_EQ(f.ftp.command("XRMD full"), kNotTaken);
  EXPECT_EQ(f.site.read_file("home/full/keep.txt"), "keep");
  EXPECT_EQ(f.message_log(), before);
}

TEST(RemoveDirectory, ForbiddenRemovalIsRefusedWithALogLine) {
  FileSite f(harness::Keys{{"UserKinshi", "64"}});
  f.site.make_dir("home/empty");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("RMD empty"), kNotTaken);
  EXPECT_TRUE(f.site.exists("home/empty"));
  EXPECT_NE(f.message_log().find("ディレクトリ[empty]の削除を拒否しました。"), std::string::npos);
}

TEST(RemoveDirectory, TheHomeDirectoryItselfIsNeverRemoved) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("RMD /"), kNotTaken);
  EXPECT_EQ(f.ftp.command("RMD"), kNotTaken);
  EXPECT_TRUE(fs::is_directory(f.home()));
  EXPECT_NE(f.message_log().find("ディレクトリ[/]の削除を拒否しました。"), std::string::npos);
}

TEST(Delete, FileIsDeletedAndReported) {
  FileSite f;
  f.write("a.txt", "abc");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("DELE a.txt"), kDone);
  EXPECT_FALSE(f.site.exists("home/a.txt"));
  EXPECT_NE(f.message_log().find("ファイル[a.txt]を削除しました。"), std::string::npos);
}

TEST(Delete, ReadOnlyFileIsRefused) {
  FileSite f;
  f.write("ro.txt", "keep");
  fs::permissions(f.home() + "ro.txt", fs::perms::owner_write | fs::perms::group_write |
                                           fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("DELE ro.txt"), kNotTaken);
  EXPECT_EQ(f.site.read_file("home/ro.txt"), "keep");
  EXPECT_NE(f.message_log().find("[ro.txt]の削除を拒否しました。"), std::string::npos);
}

TEST(Delete, MissingFileFolderAndForbiddenDeleteAreRefused) {
  FileSite f;
  f.write("keep/a.txt", "abc");
  f.site.set_user_key("alice", "UserInfo", "Dir0", f.home() + "keep/");
  f.site.set_user_key("alice", "UserInfo", "Prhb0", "16");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("DELE nothing.txt"), kNotTaken);
  EXPECT_EQ(f.ftp.command("DELE keep"), kNotTaken);
  EXPECT_EQ(f.ftp.command("DELE keep/a.txt"), kNotTaken);
  EXPECT_EQ(f.site.read_file("home/keep/a.txt"), "abc");
  std::string log = f.message_log();
  EXPECT_NE(log.find("[nothing.txt]の削除を拒否しました。"), std::string::npos);
  EXPECT_NE(log.find("[keep/a.txt]の削除を拒否しました。"), std::string::npos);
}

TEST(Rename, RnfrThenRntoMovesTheFileAndReportsDiskPaths) {
  FileSite f;
  f.write("a.txt", "content");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("RNFR a.txt"), "350 File exists, ready for destination name.\r\n");
  EXPECT_EQ(f.ftp.command("RNTO b.txt"), kDone);
  EXPECT_FALSE(f.site.exists("home/a.txt"));
  EXPECT_EQ(f.site.read_file("home/b.txt"), "content");
  std::string expected = "[" + f.home() + "a.txt]を[" + f.home() + "b.txt]にリネームしました。";
  EXPECT_NE(f.message_log().find(expected), std::string::npos);
}

TEST(Rename, SecondRntoWithoutRnfrRenamesTheSameFileAgain) {
  FileSite f;
  f.write("a.txt", "content");
  ASSERT_TRUE(f.start_and_login());
  ASSERT_EQ(f.ftp.command("RNFR a.txt").substr(0, 3), "350");
  ASSERT_EQ(f.ftp.command("RNTO b.txt"), kDone);
  EXPECT_EQ(f.ftp.command("RNTO c.txt"), kDone);
  EXPECT_EQ(f.site.read_file("home/c.txt"), "content");
  EXPECT_FALSE(f.site.exists("home/b.txt"));
}

TEST(Rename, RntoAsFirstCommandIsRefused) {
  FileSite f;
  f.write("a.txt", "content");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("RNTO b.txt"), kNotTaken);
  EXPECT_FALSE(f.site.exists("home/b.txt"));
  EXPECT_NE(f.message_log().find("[b.txt]のリネームを拒否しました。"), std::string::npos);
}

TEST(Rename, MissingSourceEmptiesTheStoredSource) {
  FileSite f;
  f.write("a.txt", "content");
  ASSERT_TRUE(f.start_and_login());
  ASSERT_EQ(f.ftp.command("RNFR a.txt").substr(0, 3), "350");
  EXPECT_EQ(f.ftp.command("RNFR nothing"), kNotTaken);
  EXPECT_EQ(f.ftp.command("RNTO b.txt"), kNotTaken);
  EXPECT_EQ(f.site.read_file("home/a.txt"), "content");
  std::string log = f.message_log();
  EXPECT_NE(log.find("[nothing]のリネームを拒否しました。"), std::string::npos);
  EXPECT_NE(log.find("[b.txt]のリネームを拒否しました。"), std::string::npos);
}

TEST(Rename, ExistingTargetIsNotOverwritten) {
  FileSite f;
  f.write("a.txt", "first");
  f.write("b.txt", "second");
  ASSERT_TRUE(f.start_and_login());
  ASSERT_EQ(f.ftp.command("RNFR a.txt").substr(0, 3), "350");
  EXPECT_EQ(f.ftp.command("RNTO b.txt"), kLocalError);
  EXPECT_EQ(f.site.read_file("home/a.txt"), "first");
  EXPECT_EQ(f.site.read_file("home/b.txt"), "second");
}

TEST(Rename, RenameBitOnTheSourceOrTheTargetFolderRefuses) {
  FileSite f;
  f.write("locked/a.txt", "a");
  f.write("open/b.txt", "b");
  f.site.set_user_key("alice", "UserInfo", "Dir0", f.home() + "locked/");
  f.site.set_user_key("alice", "UserInfo", "Prhb0", "4");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("RNFR locked/a.txt"), kNotTaken);
  ASSERT_EQ(f.ftp.command("RNFR open/b.txt").substr(0, 3), "350");
  EXPECT_EQ(f.ftp.command("RNTO locked/b.txt"), kNotTaken);
  EXPECT_EQ(f.site.read_file("home/open/b.txt"), "b");
  EXPECT_FALSE(f.site.exists("home/locked/b.txt"));
  EXPECT_NE(f.message_log().find("[locked/b.txt]のリネームを拒否しました。"), std::string::npos);
}

TEST(Rename, TargetOutsideTheHomeDirectoryIsRefused) {
  FileSite f;
  f.write("a.txt", "a");
  ASSERT_TRUE(f.start_and_login());
  ASSERT_EQ(f.ftp.command("RNFR a.txt").substr(0, 3), "350");
  EXPECT_EQ(f.ftp.command("RNTO ../moved.txt"), kNotTaken);
  EXPECT_FALSE(f.site.exists("moved.txt"));
  EXPECT_EQ(f.site.read_file("home/a.txt"), "a");
}

TEST(FileInformation, SizeOfAFile) {
  FileSite f;
  f.write("a.txt", "12345");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("SIZE a.txt"), "213 5\r\n");
  EXPECT_EQ(f.ftp.command("SIZE /a.txt"), "213 5\r\n");
}

TEST(FileInformation, SizeOfAFiveGigabyteFileHasAllSixtyFourBits) {
  FileSite f;
  f.write("big.bin", "");
  fs::resize_file(f.home() + "big.bin", 5368709120ull);  // sparse: no disk space used
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("SIZE big.bin"), "213 5368709120\r\n");
}

TEST(FileInformation, HiddenFileIsAnswered553) {
  FileSite f;
  f.write(".secret", "x");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("SIZE .secret"), kHidden);
  EXPECT_EQ(f.ftp.command("MDTM .secret"), kHidden);
  EXPECT_EQ(f.ftp.command("STAT .secret"), kHidden);
}

TEST(FileInformation, MissingFileIsRefusedWithItsLine) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("SIZE nothing.txt"), kNotTaken);
  EXPECT_EQ(f.ftp.command("MDTM missing/x"), kNotTaken);
  std::string log = f.message_log();
  EXPECT_NE(log.find("ファイルが無いため、[nothing.txt]の情報送信を拒否しました。"),
            std::string::npos);
  EXPECT_NE(log.find("権限が無いため、[missing/x]の情報送信を拒否しました。"), std::string::npos);
}

TEST(FileInformation, ListRuleRefusesSize) {
  FileSite f;
  f.write("pub/a.txt", "abc");
  f.site.set_user_key("alice", "UserInfo", "Dir0", f.home() + "pub/");
  f.site.set_user_key("alice", "UserInfo", "Prhb0", "256");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("SIZE pub/a.txt"), kNotTaken);
  EXPECT_NE(f.message_log().find("権限が無いため、[pub/a.txt]の情報送信を拒否しました。"),
            std::string::npos);
}

// MDTM answers in UTC whatever the server's time zone; SIZE and MDTM of a folder (also
// named ".") answer 550, STAT "." describes the current folder, in the home folder too.
TEST(FileInformation, MdtmIsUtcAndFoldersHaveNoSizeOrTime) {
  FileSite f;
  f.write("a.txt", "abc");
  f.write("sub/b.txt", "b");
  // 2024-12-31 20:05:00 UTC, already the next day in Tokyo.
  fs::last_write_time(f.home() + "a.txt",
                      fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{1735675500}}));
  f.server = std::make_unique<Server>(f.site, std::vector<std::string>{"-ns"},
                                      std::vector<std::string>{"TZ=Asia/Tokyo"});
  ASSERT_TRUE(f.login());
  EXPECT_EQ(f.ftp.command("MDTM a.txt"), "213 20241231200500\r\n");
  for (const char* line : {"SIZE sub", "MDTM sub", "SIZE .", "MDTM .", "SIZE ./", "MDTM sub/."}) {
    EXPECT_EQ(f.ftp.command(line), kNotTaken) << line;
  }
  EXPECT_EQ(f.ftp.command("STAT .").rfind("211-status of .:\ndrwxrw-rw- ", 0), 0u);
  EXPECT_EQ(f.ftp.command("CWD ."), kDone);
  EXPECT_EQ(f.ftp.command("CWD sub"), kDone);
  EXPECT_EQ(f.ftp.command("STAT ..").rfind("211-status of ..:\nd", 0), 0u);
  EXPECT_EQ(f.ftp.command("SIZE ../a.txt"), "213 3\r\n");
  EXPECT_NE(f.message_log().find("ファイルが無いため、[sub]の情報送信を拒否しました。"), std::string::npos);
}

TEST(FileInformation, StatOfAFileHasTheListingLineShape) {
  FileSite f;
  f.write("a.txt", "12345");
  auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 3);
  fs::last_write_time(f.home() + "a.txt", when);
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      fs::file_time_type::clock::to_sys(when).time_since_epoch());
  platform::LocalTime t = platform::local_time_of(seconds.count());
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char line[256];
  std::snprintf(line, sizeof line, "%10s %5d %10s %10d %3s %2d %02d:%02d %s", "-rwxrw-rw-", 0,
                "owner     ", 5, months[t.month - 1], t.day, t.hour, t.minute, "a.txt");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("STAT a.txt"),
            std::string("211-status of a.txt:\n") + line + "\r\n211 End of Stat\r\n");
}

TEST(FileInformation, StatUsesTheRuleOfTheCurrentDirectory) {
  FileSite f;
  f.write("pub/a.txt", "1");
  f.site.set_user_key("alice", "UserInfo", "Dir0", f.home());
  f.site.set_user_key("alice", "UserInfo", "Prhb0", std::to_string(0x1000 | 0x20));
  ASSERT_TRUE(f.start_and_login());
  std::string reply = f.ftp.command("STAT pub/a.txt");
  EXPECT_EQ(reply.find("211-status of a.txt:\n-rwx-w--w- "), 0u) << reply;
}

TEST(FileInformation, StatWithoutArgumentFindsNothing) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("STAT"), kNotTaken);
  EXPECT_NE(f.message_log().find("ファイルが無いため、[]の情報送信を拒否しました。"),
            std::string::npos);
}

TEST(Settings, TypeRecordsAsciiOrBinary) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("TYPE A"), "200 ASCII Mode\r\n");
  EXPECT_EQ(f.ftp.command("TYPE a"), "200 ASCII Mode\r\n");
  EXPECT_EQ(f.ftp.command("TYPE I"), "200 Binary Mode\r\n");
  EXPECT_EQ(f.ftp.command("TYPE E"), "200 Binary Mode\r\n");
  EXPECT_EQ(f.ftp.command("TYPE"), "200 Binary Mode\r\n");
}

TEST(Settings, RestAcceptsAnyNumberText) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  const char* reply = "350 Restarting OK. Send STORE or RETRIEVE to initiate transfer.\r\n";
  EXPECT_EQ(f.ftp.command("REST 100"), reply);
  EXPECT_EQ(f.ftp.command("REST abc"), reply);
  EXPECT_EQ(f.ftp.command("REST 99999999999999999999999"), reply);
  EXPECT_EQ(f.ftp.command("SYST"), "215 UNIX A N (HN)\r\n");
}

TEST(Names, JapaneseNamesAndBlanksComeBackIntact) {
  FileSite f;
  f.write("日本語 ファイル.txt", "12345678");
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("MKD 新しい フォルダ"), "257 \"新しい フォルダ\" directory created.\r\n");
  EXPECT_TRUE(fs::is_directory(f.home() + "新しい フォルダ"));
  EXPECT_EQ(f.ftp.command("SIZE 日本語 ファイル.txt"), "213 8\r\n");
  ASSERT_EQ(f.ftp.command("RNFR 日本語 ファイル.txt").substr(0, 3), "350");
  EXPECT_EQ(f.ftp.command("RNTO 新しい フォルダ/名前 変更.txt"), kDone);
  EXPECT_EQ(f.site.read_file("home/新しい フォルダ/名前 変更.txt"), "12345678");
  EXPECT_EQ(f.ftp.command("CWD 新しい フォルダ"), kDone);
  EXPECT_EQ(f.ftp.command("PWD"), "257 \"/新しい フォルダ/\" is your directory.\r\n");
  EXPECT_NE(f.message_log().find("ディレクトリ[新しい フォルダ]を作成しました。"),
            std::string::npos);
}

TEST(Names, BackslashIsPartOfTheName) {
  FileSite f;
  ASSERT_TRUE(f.start_and_login());
  EXPECT_EQ(f.ftp.command("MKD a\\b"), "257 \"a\\b\" directory created.\r\n");
  EXPECT_TRUE(fs::is_directory(f.home() + "a\\b"));
  EXPECT_FALSE(f.site.exists("home/a"));
}

}  // namespace
