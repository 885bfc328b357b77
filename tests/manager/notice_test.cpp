// The automatic IP notice: the filled template, the upload dialogue with a remote FTP
// server (a scripted one and the real quorsrv), its status texts and every failure, the
// worker-thread notices, the end notice and shut-down.
#include "manager/notify/notice.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "manager/notify/ftp_upload.h"
#include "manager/notify/notice_template.h"
#include "platform/files.h"
#include "tests/manager/ftp_peer.h"
#include "tests/manager/python_server.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::NoticeSnapshot;
using scripted::FtpBehaviour;
using scripted::FtpRecord;
using scripted::ScriptedPeer;
using Texts = std::vector<std::string>;

std::string write_temp(const std::string& dir, const std::string& name, const std::string& text) {
  const std::string path = dir + name;
  EXPECT_TRUE(platform::write_file_atomically(path, text));
  return path;
}

// ---- template filling --------------------------------------------------------------

TEST(NoticeTemplate, ConnectionsAndNoLimitFillTheirTokens) {
  NoticeSnapshot v;
  v.connections = 3;
  v.max_connect = 0;
  EXPECT_EQ(manager::expand_notice_line("now $NOW_CON$/$MAX_CON$ users\n", v),
            "now 3/制限無し users\n");
  v.max_connect = 20;
  EXPECT_EQ(manager::expand_notice_line("$MAX_CON$", v), "20");
}

TEST(NoticeTemplate, AnUnclosedDollarDropsTheRestOfTheLineAndItsBreak) {
  NoticeSnapshot v;
  EXPECT_EQ(manager::expand_notice_line("keep $drop this\n", v), "keep ");
  EXPECT_EQ(manager::expand_notice_line("$NOW_CON$ and $ tail\r\n", v), "0 and ");
}

TEST(NoticeTemplate, UnknownTokensStandForThemselvesAndDoubleDollarIsEmpty) {
  NoticeSnapshot v;
  EXPECT_EQ(manager::expand_notice_line("a$FOO$b$$c\n", v), "aFOObc\n");
  EXPECT_EQ(manager::expand_notice_line("$now_con$", v), "now_con");  // names are case-sensitive
}

TEST(NoticeTemplate, TransferFiguresAndRatesUseTheRateText) {
  NoticeSnapshot v;
  v.connections = 7;
  v.uploading = 2;
  v.downloading = 3;
  v.upload_bps = 512;
  v.download_bps = 1536;
  EXPECT_EQ(manager::expand_notice_line("$UP_CON$ $DOWN_CON$ $IDLE_CON$ $IDOL_CON$", v), "2 3 2 2");
  EXPECT_EQ(manager::expand_notice_line("$UP_BPS$ $DOWN_BPS$", v), "512bps 1.50Kbps");
  v.upload_bps = 20480;
  v.download_bps = 204800;
  EXPECT_EQ(manager::expand_notice_line("$UP_BPS$ $DOWN_BPS$", v), "20.0Kbps 200Kbps");
  v.ip_address = "";
  EXPECT_EQ(manager::expand_notice_line("[$IP_ADDR$]", v), "[]");
}

TEST(NoticeTemplate, LongLinesAreExpandedWhole) {
  NoticeSnapshot v;
  v.connections = 12;
  const std::string filler(1500, 'x');
  EXPECT_EQ(manager::expand_notice_line(filler + "$NOW_CON$" + filler + "\n", v),
            filler + "12" + filler + "\n");
}

TEST(NoticeTemplate, FileIsWrittenBesideTheTemplateWithSts) {
  const std::string dir = harness::make_temp_dir("notice-template");
  const std::string tmpl =
      write_temp(dir, "notice.html", "<p>$NOW_CON$ of $MAX_CON$</p>\nbroken $ end\nlast\n");
  NoticeSnapshot v;
  v.connections = 5;
  v.max_connect = 9;
  EXPECT_EQ(manager::notice_file_path(tmpl), dir + "notice.htmlsts");
  ASSERT_TRUE(manager::fill_notice_template(tmpl, manager::notice_file_path(tmpl), v));
  EXPECT_EQ(platform::read_whole_file(dir + "notice.htmlsts").value_or("?"),
            "<p>5 of 9</p>\nbroken last\n");
}

TEST(NoticeTemplate, MissingTemplateOrEmptyPathWritesNothing) {
  const std::string dir = harness::make_temp_dir("notice-template");
  NoticeSnapshot v;
  EXPECT_FALSE(manager::fill_notice_template(dir + "absent.txt", dir + "absent.txtsts", v));
  EXPECT_FALSE(platform::path_exists(dir + "absent.txtsts"));
  EXPECT_EQ(manager::notice_file_path(""), "");
  EXPECT_FALSE(manager::fill_notice_template("", "", v));
}

// ---- settings ------------------------------------------------------------------------

TEST(NoticeSettings, AbsentKeysGiveTheDefaults) {
  const std::string dir = harness::make_temp_dir("notice-settings");
  const manager::AutoIpSettings a = manager::load_auto_ip_settings(dir + "velmoraFTPd.ini");
  EXPECT_EQ(a.port, 21);
  EXPECT_EQ(a.check_minutes, 600);
  EXPECT_FALSE(a.enabled);
  EXPECT_TRUE(a.server.empty());
}

TEST(NoticeSettings, TheMainViewReadsAtMost99PasswordCharacters) {
  const std::string dir = harness::make_temp_dir("notice-settings");
  const std::string ini = dir + "velmoraFTPd.ini";
  const std::string password(150, 'p');
  write_temp(dir, "velmoraFTPd.ini",
             "[AutoIP]\r\nQuorSrv=ftp.example.org\r\nPort=2121\r\nPassWord=" + password +
                 "\r\nUseAutoIPMode=1\r\nUploadForce=1\r\nCheckTime=0\r\n");
  const manager::AutoIpSettings a = manager::load_auto_ip_settings(ini);
  EXPECT_EQ(a.server, "ftp.example.org");
  EXPECT_EQ(a.port, 2121);
  EXPECT_EQ(a.password, password.substr(0, 99));
  EXPECT_EQ(a.check_minutes, 0);
  EXPECT_TRUE(a.enabled && a.force);
  EXPECT_EQ(manager::load_auto_ip_settings_for_dialog(ini).password, password);
}

// ---- the upload dialogue against a scripted server --------------------------------------

struct Upload {
  FtpBehaviour behaviour;
  FtpRecord record;
  std::string dir = harness::make_temp_dir("notice-upload");
  std::string content = "<html>3 users</html>\n";
  manager::NoticeRequest request;
  Texts statuses;
  bool ok = false;

  Upload() {
    request.host = "127.0.0.1";
    request.user = "noticer";
    request.password = "secret";
    request.remote_name = "status.html";
    request.local_path = write_temp(dir, "status.htmlsts", content);
  }
  void run(int bound_ms = manager::kReceiveBoundMs) {
    ScriptedPeer peer(scripted::ftp_script(behaviour, &record));
    request.port = peer.port();
    manager::CancelEvent cancel;
    ok = manager::upload_notice(
        request, cancel, [this](const std::string& t) { statuses.push_back(t); }, bound_ms);
    peer.wait_finished(1);
  }
  std::vector<std::string> commands() {
    std::lock_guard<std::mutex> guard(record.lock);
    return record.commands;
  }
};

TEST(NoticeUpload, LogsInSendsPortAndStorAndStoresTheFile) {
  Upload u;
  u.run();
  EXPECT_TRUE(u.ok);
  EXPECT_EQ(u.statuses,
            (Texts{"サーバー127.0.0.1に接続します。", "ログインします。",
                   "ログインしました。ファイルを送信します。", "ファイルを正常に送信しました。"}));
  const auto commands = u.commands();
  ASSERT_EQ(commands.size(), 5u);
  EXPECT_EQ(commands[0], "USER noticer\r\n");
  EXPECT_EQ(commands[1], "PASS secret\r\n");
  EXPECT_EQ(commands[2], "TYPE I\r\n");
  EXPECT_TRUE(commands[3].starts_with("PORT 127,0,0,1,")) << commands[3];
  EXPECT_EQ(commands[4], "STOR status.html\r\n");  // and no QUIT
  EXPECT_EQ(u.record.stored, u.content);
}

TEST(NoticeUpload, AFileOfWholeBlocksArrivesIntact) {
  Upload u;
  u.content = std::string(2048, 'a') + std::string(1024, 'b');
  u.request.local_path = write_temp(u.dir, "big.txtsts", u.content);
  u.run();
  EXPECT_TRUE(u.ok);
  EXPECT_EQ(u.record.stored, u.content);
}

TEST(NoticeUpload, AnEmptyFileIsStoredEmpty) {
  Upload u;
  u.request.local_path = write_temp(u.dir, "empty.txtsts", "");
  u.run();
  EXPECT_TRUE(u.ok);
  EXPECT_TRUE(u.record.data_connected);
  EXPECT_EQ(u.record.stored, "");
}

TEST(NoticeUpload, AUserReplyOf230StillSendsPass) {
  Upload u;
  u.behaviour.user_reply = "230 No password needed.\r\n";
  u.run();
  EXPECT_TRUE(u.ok);
  ASSERT_GE(u.commands().size(), 2u);
  EXPECT_EQ(u.commands()[1], "PASS secret\r\n");
}

TEST(NoticeUpload, APassReplyOf400CountsAsAccepted) {
  Upload u;
  u.behaviour.pass_reply = "400 Odd but positive here.\r\n";
  u.run();
  EXPECT_TRUE(u.ok);
  EXPECT_EQ(u.statuses.back(), "ファイルを正常に送信しました。");
}

TEST(NoticeUpload, APassReplyOf401RefusesTheLogin) {
  Upload u;
  u.behaviour.pass_reply = "401 Not this time.\r\n";
  u.run();
  EXPECT_FALSE(u.ok);
  EXPECT_EQ(u.statuses.back(), "パスワードは受理されませんでした。");
  EXPECT_EQ(u.commands().size(), 2u);  // no PORT
}

TEST(NoticeUpload, ARefusedUserSendsNoPassword) {
  Upload u;
  u.behaviour.user_reply = "530 Not logged in.\r\n";
  u.run();
  EXPECT_EQ(u.statuses,
            (Texts{"サーバー127.0.0.1に接続します。", "ログインします。", "IDは拒否されました。"}));
  EXPECT_EQ(u.commands(), (Texts{"USER noticer\r\n"}));
}

TEST(NoticeUpload, ANegativeGreetingEndsBeforeLogin) {
  Upload u;
  u.behaviour.greeting = {"421 Too many users.\r\n"};
  u.run();
  EXPECT_EQ(u.statuses.back(), "正しく接続できません。");
  EXPECT_TRUE(u.commands().empty());
}

TEST(NoticeUpload, AMultiLineGreetingInTwoPiecesIsReadToItsLastLine) {
  Upload u;
  u.behaviour.greeting = {"220-Welcome\r\n220-to the notice board\r\n", "220 Ready.\r\n"};
  u.run();
  EXPECT_TRUE(u.ok);
  EXPECT_EQ(u.commands().size(), 5u);
  EXPECT_EQ(u.record.stored, u.content);
}

TEST(NoticeUpload, ARefusedPortEndsTheUpload) {
  Upload u;
  u.behaviour.port_reply = "500 PORT not allowed.\r\n";
  u.run();
  EXPECT_EQ(u.statuses.back(), "PORTコマンド受け付けられません。");
  EXPECT_EQ(u.commands().size(), 4u);
}

TEST(NoticeUpload, ARefusedTypeEndsTheUpload) {
  Upload u;
  u.behaviour.type_reply = "504 Type not supported.\r\n";
  u.run();
  EXPECT_EQ(u.statuses.back(), "TYPEコマンド受け付けられません。");
  EXPECT_EQ(u.commands().size(), 3u);
}

TEST(NoticeUpload, ARefusedStorEndsTheUpload) {
  Upload u;
  u.behaviour.stor_reply = "553 Could not create file.\r\n";
  u.run();
  EXPECT_EQ(u.statuses.back(), "STORコマンド受理されません。");
  EXPECT_FALSE(u.record.data_connected);
}

TEST(NoticeUpload, ANegativeFinalReplyIsReported) {
  Upload u;
  u.behaviour.final_reply = "451 Local error in processing.\r\n";
  u.run();
  EXPECT_FALSE(u.ok);
  EXPECT_EQ(u.statuses.back(), "正常に送信できませんでした。");
  EXPECT_EQ(u.record.stored, u.content);
}

TEST(NoticeUpload, AServerThatNeverConnectsBackEndsWithASendError) {
  Upload u;
  u.behaviour.connect_back = false;
  u.run(300);
  EXPECT_EQ(u.statuses.back(), "ファイル送信中にエラーが発生しました。");
}

TEST(NoticeUpload, AHangUpAfterUserIsNoReply) {
  Upload u;
  u.behaviour.hang_up_at = "USER";
  u.run();
  EXPECT_EQ(u.statuses.back(), "応答を受信できません。");
}

TEST(NoticeUpload, AHangUpAfterPassIsNoReplyWithoutTheFullStop) {
  Upload u;
  u.behaviour.hang_up_at = "PASS";
  u.run();
  EXPECT_EQ(u.statuses.back(), "応答を受信できません");
}

TEST(NoticeUpload, ASilentServerEndsAtTheReceiveBound) {
  Upload u;
  u.behaviour.silent_at = "GREETING";
  u.run();  // the real 5000 ms bound
  EXPECT_FALSE(u.ok);
  EXPECT_EQ(u.statuses.back(), "応答を受信できません。");
}

TEST(NoticeUpload, AnUnreachableServerCannotBeConnected) {
  Upload u;
  manager::CancelEvent cancel;
  u.request.port = scripted::closed_port();
  manager::upload_notice(u.request, cancel, [&](const std::string& t) { u.statuses.push_back(t); });
  EXPECT_EQ(u.statuses, (Texts{"サーバー127.0.0.1に接続します。", "ログインします。",
                               "[127.0.0.1]に接続できません。"}));
}

TEST(NoticeUpload, AnEmptyHostIsASocketError) {
  Upload u;
  manager::CancelEvent cancel;
  u.request.host = "";
  manager::upload_notice(u.request, cancel, [&](const std::string& t) { u.statuses.push_back(t); });
  EXPECT_EQ(u.statuses, (Texts{"サーバーに接続します。", "ソケットエラーです。"}));
}

TEST(NoticeUpload, AMissingLocalFileStopsBeforeStor) {
  Upload u;
  u.request.local_path = u.dir + "gone.txtsts";
  u.run();
  EXPECT_EQ(u.statuses.back(), "ファイル" + u.dir + "gone.txtstsが開けません。");
  ASSERT_EQ(u.commands().size(), 4u);
  EXPECT_TRUE(u.commands()[3].starts_with("PORT "));
}

TEST(NoticeUpload, APasswordWithALineBreakIsNeverSent) {
  Upload u;
  u.request.password = "pw\r\nDELE index.html";
  u.run();
  EXPECT_EQ(u.statuses.back(), "メッセージ送信エラー");
  EXPECT_EQ(u.commands(), (Texts{"USER noticer\r\n"}));
}

// ---- the notifier: worker-thread notices, end notice, shut-down ---------------------------

struct NotifierRig {
  std::string dir = harness::make_temp_dir("notifier");
  manager::Notifier notifier;
  std::vector<QString> statuses;
  NoticeSnapshot snapshot;

  NotifierRig() {
    QObject::connect(&notifier, &manager::Notifier::status_text,
                     [this](const QString& t) { statuses.push_back(t); });
    snapshot.settings.server = "127.0.0.1";
    snapshot.settings.user = "noticer";
    snapshot.settings.password = "secret";
    snapshot.settings.remote_name = "status.txt";
    snapshot.settings.running_template = write_temp(dir, "run.txt", "now $NOW_CON$\n");
    snapshot.settings.end_template = write_temp(dir, "end.txt", "closed, $MAX_CON$\n");
    snapshot.connections = 4;
  }
  bool saw(const char* text) {
    for (const QString& s : statuses)
      if (s == QString::fromUtf8(text)) return true;
    return false;
  }
};

TEST(Notifier, ARunningNoticeUploadsTheFilledTemplateAndDeletesTheNoticeFile) {
  NotifierRig rig;
  FtpRecord record;
  ScriptedPeer peer(scripted::ftp_script(FtpBehaviour{}, &record));
  rig.snapshot.settings.port = peer.port();
  rig.notifier.start_running_notice(rig.snapshot);
  ASSERT_TRUE(qt_test::wait_until([&] { return rig.saw("ファイルを正常に送信しました。"); }));
  ASSERT_TRUE(qt_test::wait_until([&] { return !rig.notifier.upload_running(); }));
  EXPECT_EQ(record.stored, "now 4\n");
  EXPECT_EQ(rig.statuses.front(), QString::fromUtf8("サーバー127.0.0.1に接続します。"));
  EXPECT_EQ(rig.statuses.size(), 4u);
  EXPECT_FALSE(platform::path_exists(rig.dir + "run.txtsts"));
  EXPECT_TRUE(platform::path_exists(rig.dir + "run.txt"));
}

TEST(Notifier, AFailedUploadStillDeletesTheNoticeFile) {
  NotifierRig rig;
  rig.snapshot.settings.port = scripted::closed_port();
  rig.notifier.start_running_notice(rig.snapshot);
  ASSERT_TRUE(qt_test::wait_until([&] { return rig.saw("[127.0.0.1]に接続できません。"); }));
  ASSERT_TRUE(qt_test::wait_until([&] { return !rig.notifier.upload_running(); }));
  EXPECT_FALSE(platform::path_exists(rig.dir + "run.txtsts"));
}

TEST(Notifier, AnUnreadableTemplateStillUploadsAndFailsAtTheFile) {
  NotifierRig rig;
  FtpRecord record;
  ScriptedPeer peer(scripted::ftp_script(FtpBehaviour{}, &record));
  rig.snapshot.settings.port = peer.port();
  rig.snapshot.settings.running_template = rig.dir + "missing.txt";
  rig.notifier.start_running_notice(rig.snapshot);
  const std::string expected = "ファイル" + rig.dir + "missing.txtstsが開けません。";
  ASSERT_TRUE(qt_test::wait_until([&] { return rig.saw(expected.c_str()); }));
  EXPECT_FALSE(platform::path_exists(rig.dir + "missing.txtsts"));
}

TEST(Notifier, ASecondTriggerWhileAnUploadRunsIsSkippedAndShutDownAbortsTheWait) {
  NotifierRig rig;
  FtpBehaviour silent;
  silent.silent_at = "USER";
  FtpRecord record;
  ScriptedPeer peer(scripted::ftp_script(silent, &record));
  rig.snapshot.settings.port = peer.port();
  rig.notifier.set_receive_bound(120000);  // only the abort can end the wait
  rig.notifier.start_running_notice(rig.snapshot);
  ASSERT_TRUE(peer.wait_connections(1));
  ASSERT_TRUE(qt_test::wait_until([&] {
    std::lock_guard<std::mutex> guard(record.lock);
    return !record.commands.empty();
  }));
  rig.notifier.start_running_notice(rig.snapshot);  // busy: skipped
  EXPECT_TRUE(rig.notifier.upload_running());

  rig.notifier.shut_down();
  EXPECT_FALSE(rig.notifier.upload_running());
  EXPECT_FALSE(platform::path_exists(rig.dir + "run.txtsts"));
  EXPECT_TRUE(peer.wait_finished(1));  // the server saw the connection close
  EXPECT_EQ(peer.connections(), 1);
  // The abort lands while USER's reply is awaited, or just as USER leaves (the server may
  // record the line before the send returns): either way the third status is the failure.
  ASSERT_TRUE(qt_test::wait_until([&] { return rig.statuses.size() >= 3; }));
  const QString failure = rig.statuses[2];
  EXPECT_TRUE(failure == QString::fromUtf8("応答を受信できません。") ||
              failure == QString::fromUtf8("メッセージ送信エラー"))
      << failure.toStdString();
  EXPECT_EQ(rig.statuses.size(), 3u);

  rig.notifier.start_running_notice(rig.snapshot);  // nothing after shut-down
  qt_test::pump_events(200);
  EXPECT_EQ(peer.connections(), 1);
}

TEST(Notifier, TheNextNoticeRunsAfterThePreviousEnded) {
  NotifierRig rig;
  FtpRecord record;
  ScriptedPeer peer(scripted::ftp_script(FtpBehaviour{}, &record));
  rig.snapshot.settings.port = peer.port();
  for (int i = 1; i <= 2; ++i) {
    rig.snapshot.connections = i;
    rig.notifier.start_running_notice(rig.snapshot);
    ASSERT_TRUE(peer.wait_finished(i));
    ASSERT_TRUE(qt_test::wait_until([&] { return !rig.notifier.upload_running(); }));
    std::lock_guard<std::mutex> guard(record.lock);
    EXPECT_EQ(record.stored, "now " + std::to_string(i) + "\n");
  }
}

TEST(Notifier, TheEndNoticeUploadsOnTheCallingThreadBeforeReturning) {
  NotifierRig rig;
  FtpRecord record;
  ScriptedPeer peer(scripted::ftp_script(FtpBehaviour{}, &record));
  rig.snapshot.settings.port = peer.port();
  rig.notifier.send_end_notice(rig.snapshot);
  // Emitted on this thread: every status is here without running the event loop.
  ASSERT_EQ(rig.statuses.size(), 4u);
  EXPECT_EQ(rig.statuses.back(), QString::fromUtf8("ファイルを正常に送信しました。"));
  EXPECT_FALSE(platform::path_exists(rig.dir + "end.txtsts"));
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_EQ(record.stored, "closed, 制限無し\n");
}

TEST(Notifier, TheNoticeReachesTheRealServerWithTheFilledTemplate) {
  harness::Site site("notice-core");
  site.add_user("board", {{"PassWord", "b0ard"}});
  harness::Server server(site);
  NotifierRig rig;
  rig.snapshot.settings.port = site.ftp_port();
  rig.snapshot.settings.user = "board";
  rig.snapshot.settings.password = "b0ard";
  rig.snapshot.settings.remote_name = "state.txt";
  rig.snapshot.max_connect = 10;
  rig.snapshot.settings.running_template =
      write_temp(rig.dir, "state.tmpl", "users $NOW_CON$/$MAX_CON$ up $UP_BPS$\n");
  rig.snapshot.upload_bps = 1536;
  rig.notifier.start_running_notice(rig.snapshot);
  ASSERT_TRUE(qt_test::wait_until(
      [&] { return rig.saw("ファイルを正常に送信しました。") || rig.statuses.size() >= 4; },
      15000));
  EXPECT_TRUE(rig.saw("ファイルを正常に送信しました。")) << rig.statuses.back().toStdString();
  EXPECT_EQ(site.read_file("home/state.txt"), "users 4/10 up 1.50Kbps\n");
}

TEST(Notifier, TheRealServerRefusesAWrongPassword) {
  harness::Site site("notice-core");
  site.add_user("board", {{"PassWord", "b0ard"}});
  harness::Server server(site);
  NotifierRig rig;
  rig.snapshot.settings.port = site.ftp_port();
  rig.snapshot.settings.user = "board";
  rig.snapshot.settings.password = "wrong";
  rig.notifier.send_end_notice(rig.snapshot);
  ASSERT_FALSE(rig.statuses.empty());
  EXPECT_EQ(rig.statuses.back(), QString::fromUtf8("パスワードは受理されませんでした。"));
  EXPECT_FALSE(site.exists("home/status.txt"));
}

// pyftpdlib stores an ASCII upload with its own line ends: the notice goes as TYPE I and
// keeps its CR LF, by PORT and, with the setting, by PASV.
TEST(Notifier, ARealFtpServerGetsTheNoticeByteForByteByPortAndByPasv) {
  python_server::Server server("ftp_server.py", {"board", "b0ard"});
  ASSERT_TRUE(server.wait_ready()) << server.log();
  for (const bool passive : {false, true}) {
    NotifierRig rig;
    rig.snapshot.settings.port = server.port();
    rig.snapshot.settings.user = "board";
    rig.snapshot.settings.password = "b0ard";
    rig.snapshot.settings.passive = passive;
    rig.snapshot.settings.remote_name = passive ? "pasv.txt" : "port.txt";
    rig.snapshot.settings.end_template =
        write_temp(rig.dir, "crlf.tmpl", "<p>users $NOW_CON$</p>\r\n<p>end</p>\r\n");
    EXPECT_EQ(rig.notifier.send_end_notice(rig.snapshot), "ファイルを正常に送信しました。")
        << server.log();
    EXPECT_EQ(platform::read_whole_file(server.folder() + "home/" + rig.snapshot.settings.remote_name)
                  .value_or("<none>"),
              "<p>users 4</p>\r\n<p>end</p>\r\n")
        << passive;
  }
}

}  // namespace
