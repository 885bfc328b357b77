// The live user list and the log pane fed with real admin records: rows, columns, event
// lines, progress and rate texts, idle and elapsed notes, the log pane's line limit, and
// the account-mail and notice texts.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QHeaderView>
#include <regex>
#include <string>
#include <vector>

#include "manager/shell/log_view.h"
#include "manager/shell/monitor.h"
#include "manager/shell/program_paths.h"
#include "manager/shell/velmora_view.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shared/admin_record.h"
#include "shared/ini.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/manager/python_server.h"
#include "tests/support/harness.h"

namespace {

using manager::CLogView;
using manager::CVelmoraFTPdView;

shared::AdminEvent record(uint32_t id, uint32_t type, const std::string& user = "alice",
                          const std::string& message = "") {
  shared::AdminEvent e;
  e.session_id = id;
  e.type = type;
  e.snapshot.session_id = id;
  e.snapshot.user_name = user;
  e.snapshot.host_text = "127.0.0.1";
  e.snapshot.message = message;
  e.snapshot.last_activity_tick = platform::tick_ms();
  e.snapshot.transfer_start_tick = platform::tick_ms();
  return e;
}

class MonitorView : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = harness::make_temp_dir("monitor"); }

  void set(const std::string& section, const std::string& key, const std::string& value) {
    shared::IniFile(dir_ + "velmoraFTPd.ini").set(section, key, value);
  }

  CVelmoraFTPdView& view() {
    if (!view_) {
      view_ = std::make_unique<CVelmoraFTPdView>(manager::derive_program_paths(dir_));
      view_->initial_update(&log_);
    }
    return *view_;
  }

  void feed(const shared::AdminEvent& event) {
    const shared::AdminEventBytes bytes = shared::encode_event(event);
    view().handle_record(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                    static_cast<int>(bytes.size())));
  }

  int rows() { return view().topLevelItemCount(); }
  std::string cell(int row, int column) {
    return view().topLevelItem(row)->text(column).toStdString();
  }
  std::vector<std::string> log_lines() {
    std::vector<std::string> lines;
    std::string text = log_.text(), line;
    for (char c : text) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
  }
  // The event line "yy/mm/dd hh:mm:ss user(host) text".
  static bool is_event_line(const std::string& line, const std::string& user,
                            const std::string& text) {
    const std::regex shape(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d )");
    return line.size() > 18 && std::regex_match(line.substr(0, 18), shape) &&
           line.substr(18) == user + "(127.0.0.1) " + text;
  }

  std::string dir_;
  CLogView log_;
  std::unique_ptr<CVelmoraFTPdView> view_;
};

TEST_F(MonitorView, AConnectionAppearsAsAnUnknownUserWithItsHostAndHexId) {
  feed(record(0x2a, shared::kEventConnected, "UnKnown"));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), "??????");
  EXPECT_EQ(cell(0, 5), "127.0.0.1");
  EXPECT_EQ(cell(0, 6), "接続されました。");
  EXPECT_EQ(cell(0, 7), "2a");
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_TRUE(is_event_line(log_lines()[0], "UnKnown", "接続されました。")) << log_lines()[0];
  EXPECT_EQ(view().header()->count(), 8);
  EXPECT_EQ(view().headerItem()->text(7).toStdString(), "ID");
}

// Event 1 comes at USER (the name) and again once the password was accepted (the login).
TEST_F(MonitorView, LoginPutsTheUserNameInTheRowAndOnlyAConfirmedLoginIsLogged) {
  feed(record(5, shared::kEventConnected, "UnKnown"));
  feed(record(5, shared::kEventUserAccepted, "alice", "ログインしました。"));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), "alice");
  EXPECT_EQ(log_lines().size(), 1u);
  feed(record(5, shared::kEventRefused, "alice", "パスワードが違うため、拒否しました。"));
  feed(record(5, shared::kEventUserAccepted, "alice", "ログインしました。"));
  EXPECT_EQ(log_lines().size(), 2u);
  EXPECT_TRUE(is_event_line(log_lines().back(), "alice", "パスワードが違うため、拒否しました。"));
  feed(record(5, shared::kEventUserAccepted, "alice", "230 ok"));
  EXPECT_EQ(cell(0, 6), "ログインしました。");
  EXPECT_TRUE(is_event_line(log_lines().back(), "alice", "ログインしました。"));
  EXPECT_EQ(log_lines().size(), 3u);
  EXPECT_EQ(view().monitor().session_count(), 1u);
}

TEST_F(MonitorView, TlsSessionsAreMarkedInTheHostColumnFromTheEventThatSaysSo) {
  feed(record(5, shared::kEventConnected, "UnKnown"));
  EXPECT_EQ(cell(0, 5), "127.0.0.1");
  shared::AdminEvent secured = record(5, shared::kEventStatus, "UnKnown", "TLSで暗号化しました。");
  secured.snapshot.security = shared::kSecureControl;
  feed(secured);
  EXPECT_EQ(cell(0, 5), "127.0.0.1 [TLS]");
  EXPECT_TRUE(is_event_line(log_lines().back(), "UnKnown", "TLSで暗号化しました。"));
  // An implicit-TLS session is marked from its first event; a plain one never.
  shared::AdminEvent implicit = record(6, shared::kEventConnected, "UnKnown");
  implicit.snapshot.security = shared::kSecureControl | shared::kSecureData;
  feed(implicit);
  feed(record(7, shared::kEventConnected, "UnKnown"));
  EXPECT_EQ(cell(1, 5), "127.0.0.1 [TLS]");
  EXPECT_EQ(cell(2, 5), "127.0.0.1");
}

// A Manager joining a running Core: the Core replays each older session as 0, 1 and 25
// (or 4, 5); the rows are filled, nothing is logged. Newer sessions are live.
TEST_F(MonitorView, TheCoresReplayFillsRowsWithoutLogLines) {
  const uint32_t join = platform::tick_ms();
  view().monitor().begin_join(join);
  auto old_connect = record(7, shared::kEventConnected, "UnKnown");
  old_connect.snapshot.connect_tick = join - 5000;
  feed(old_connect);
  auto old_user = record(7, shared::kEventUserAccepted, "alice");
  old_user.snapshot.connect_tick = join - 5000;
  feed(old_user);
  auto old_down = record(7, shared::kEventDownloadStarted, "alice", "ファイル[/a.txt]の送信を開始します");
  old_down.snapshot.connect_tick = join - 5000;
  old_down.snapshot.transfer_path = "/srv/a.txt";
  feed(old_down);
  EXPECT_TRUE(log_lines().empty());
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), "alice");
  EXPECT_EQ(cell(0, 1), "a.txt");
  EXPECT_EQ(cell(0, 2), "DOWN");
  EXPECT_EQ(cell(0, 6), "ファイル[/a.txt]の送信を開始します");
  feed(record(7, shared::kEventDirectoryChanged, "alice", "moved"));  // live again
  auto fresh = record(8, shared::kEventConnected, "UnKnown");
  fresh.snapshot.connect_tick = join + 10;
  feed(fresh);
  EXPECT_EQ(log_lines().size(), 2u);
  EXPECT_EQ(rows(), 2);
}

// Rows are keyed by id: a connection event for an id that has a row (a session of an
// earlier Core run) starts that row afresh; losing the Core clears everything.
TEST_F(MonitorView, ADuplicateIdReplacesItsRowAndClearingEmptiesTheList) {
  std::string status;
  QObject::connect(&view(), &CVelmoraFTPdView::status_changed,
                   [&](QString text) { status = text.toStdString(); });
  feed(record(4, shared::kEventConnected));
  feed(record(4, shared::kEventUserAccepted, "alice"));
  auto down = record(4, shared::kEventProgress, "alice");
  down.snapshot.transferring = 1;
  down.snapshot.transferred = 100;
  feed(down);
  EXPECT_EQ(status, "UP:0(0bps) DOWN:1(800bps)");
  feed(record(4, shared::kEventConnected, "UnKnown"));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), "??????");
  EXPECT_EQ(cell(0, 3), "");
  EXPECT_EQ(view().monitor().row_session_id(0), 4u);
  feed(record(5, shared::kEventConnected, "UnKnown"));
  view().monitor().clear(platform::tick_ms());
  EXPECT_EQ(rows(), 0);
  EXPECT_EQ(view().monitor().session_count(), 0u);
  EXPECT_EQ(status, "UP:0(0bps) DOWN:0(0bps)");
}

TEST_F(MonitorView, EventTextsGoToTheCommentColumnAndTheLog) {
  feed(record(5, shared::kEventConnected));
  for (uint32_t type : {3u, 6u, 10u, 11u, 12u, 13u, 14u, 24u, 25u}) {
    const std::string text = "text of " + std::to_string(type);
    feed(record(5, type, "alice", text));
    EXPECT_EQ(cell(0, 6), text);
    EXPECT_TRUE(is_event_line(log_lines().back(), "alice", text)) << log_lines().back();
  }
  EXPECT_EQ(rows(), 1);
}

TEST_F(MonitorView, TransfersShowFileNameDirectionAndCompletion) {
  feed(record(9, shared::kEventConnected));
  auto down = record(9, shared::kEventDownloadStarted, "alice", "ダウンロード開始");
  down.snapshot.transfer_path = "/srv/pub/my file.txt";
  down.snapshot.transferring = 1;
  feed(down);
  EXPECT_EQ(cell(0, 1), "my file.txt");
  EXPECT_EQ(cell(0, 2), "DOWN");
  EXPECT_EQ(cell(0, 6), "ダウンロード開始");
  auto done = record(9, shared::kEventDownloadEnded, "alice", "ファイル[/srv/pub/my file.txt]の送信が完了しました");
  done.snapshot.transferred = 1536;
  done.snapshot.file_size_low = 1536;
  feed(done);
  EXPECT_EQ(cell(0, 2), "DOWN_COMP");
  EXPECT_EQ(cell(0, 3), "1.50KB/1.50KB");
  EXPECT_EQ(cell(0, 4), "12.0K");  // under one second counts as one
  auto up = record(9, shared::kEventUploadStarted, "alice", "up");
  up.snapshot.transfer_path = "/srv/pub/in.bin";
  feed(up);
  EXPECT_EQ(cell(0, 1), "in.bin");
  EXPECT_EQ(cell(0, 2), "UP");
  feed(record(9, shared::kEventUploadEnded, "alice", "ファイル[/srv/pub/in.bin]の受信が完了しました"));
  EXPECT_EQ(cell(0, 2), "UP_COMP");
  feed(up);
  feed(record(9, shared::kEventUploadEnded, "alice", "ファイル受信が停止しました。"));
  EXPECT_EQ(cell(0, 2), "UP_STOP");
  feed(down);
  feed(record(9, shared::kEventDownloadEnded, "alice", "ファイル送信が停止しました。"));
  EXPECT_EQ(cell(0, 2), "DOWN_STOP");
}

TEST_F(MonitorView, ProgressOfAnUnknownSizeWithPlainDigits) {
  set("Log", "AdjDigit", "0");
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.transferred = 12345;
  feed(progress);
  EXPECT_EQ(cell(0, 3), "12345/?");
  EXPECT_EQ(cell(0, 4), "98760");
  progress.snapshot.file_size_low = 20000;
  progress.snapshot.restart_offset_low = 100;
  feed(progress);
  EXPECT_EQ(cell(0, 3), "12445/20000");
}

TEST_F(MonitorView, ProgressWithAdjustedDigits) {
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.transferred = 1536;
  progress.snapshot.file_size_low = 2 * 1024 * 1024;
  feed(progress);
  EXPECT_EQ(cell(0, 3), "1.50KB/2.00MB");
  EXPECT_EQ(cell(0, 4), "12.0K");
  progress.snapshot.file_size_low = 0;
  progress.snapshot.transferred = 12345;
  feed(progress);
  EXPECT_EQ(cell(0, 3), "12.0K/?");
}

TEST_F(MonitorView, SizesBeyondFourGigabytesUseBothHalves) {
  set("Log", "AdjDigit", "0");
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.file_size_high = 1;
  progress.snapshot.file_size_low = 0;
  progress.snapshot.restart_offset_high = 1;
  progress.snapshot.restart_offset_low = 0;
  progress.snapshot.transferred = 10;
  feed(progress);
  EXPECT_EQ(cell(0, 3), "4294967306/4294967296");
}

// The snapshot's count is 32 bits: within one transfer a smaller count has wrapped.
TEST_F(MonitorView, TheByteCountIsCarriedPastFourGigabytes) {
  set("Log", "AdjDigit", "0");
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.file_size_high = 1;
  progress.snapshot.file_size_low = 705032704;  // 5000000000
  progress.snapshot.transferred = 4000000000u;
  feed(progress);
  progress.snapshot.transferred = 100000000u;  // 4394967296 moved
  feed(progress);
  EXPECT_EQ(cell(0, 3), "4394967296/5000000000");
  auto done = progress;
  done.type = shared::kEventDownloadEnded;
  done.snapshot.message = "ファイル[/huge.bin]の送信が完了しました";
  done.snapshot.transferred = 705032704u;
  feed(done);
  EXPECT_EQ(cell(0, 3), "5000000000/5000000000");
  EXPECT_EQ(view().monitor().moved(3), 5000000000u);
  auto next = record(3, shared::kEventDownloadStarted);  // a new transfer starts from 0
  next.snapshot.transfer_start_tick = progress.snapshot.transfer_start_tick;
  next.snapshot.transferred = 0;
  feed(next);
  EXPECT_EQ(view().monitor().moved(3), 0u);
}

TEST_F(MonitorView, RateOfALargeTransferDoesNotWrapAround) {
  set("Log", "AdjDigit", "0");
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.transferred = 1024u * 1024u * 1024u;  // 1 GiB in under a second
  feed(progress);
  EXPECT_EQ(cell(0, 4), "8589934592");
}

TEST_F(MonitorView, TheStatusSummaryCountsTransfersByDirection) {
  std::string status;
  QObject::connect(&view(), &CVelmoraFTPdView::status_changed,
                   [&](QString text) { status = text.toStdString(); });
  feed(record(1, shared::kEventConnected));
  feed(record(2, shared::kEventConnected, "bob"));
  auto down = record(1, shared::kEventProgress);
  down.snapshot.transferring = 1;
  down.snapshot.transferred = 1536;
  feed(down);
  EXPECT_EQ(status, "UP:0(0bps) DOWN:1(12.0Kbps)");
  auto up = record(2, shared::kEventProgress, "bob");
  up.snapshot.transferring = 1;
  up.snapshot.upload = 1;
  up.snapshot.transferred = 128;
  feed(up);
  EXPECT_EQ(status, "UP:1(1.00Kbps) DOWN:1(12.0Kbps)");
  // The end events still carry the Core's transferring flag: they end the count anyway.
  auto ended = up;
  ended.type = shared::kEventUploadEnded;
  feed(ended);
  EXPECT_EQ(status, "UP:0(0bps) DOWN:1(12.0Kbps)");
  feed(record(1, shared::kEventDisconnected));
  EXPECT_EQ(status, "UP:0(0bps) DOWN:0(0bps)");
}

TEST_F(MonitorView, ALongTransferShowsItsElapsedTime) {
  set("Log", "WaitViewDownTime", "5");
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.transfer_start_tick = platform::tick_ms() - 10200;
  feed(progress);
  EXPECT_EQ(cell(0, 6), "10s passed.");
}

TEST_F(MonitorView, AShortTransferShowsNoElapsedTime) {
  set("Log", "WaitViewDownTime", "60");
  feed(record(3, shared::kEventConnected));
  auto progress = record(3, shared::kEventProgress);
  progress.snapshot.transferring = 1;
  progress.snapshot.transfer_start_tick = platform::tick_ms() - 10200;
  feed(progress);
  EXPECT_EQ(cell(0, 6), "接続されました。");
}

TEST_F(MonitorView, AnIdleSessionGetsTheIdleNoteAfterTheSetTime) {
  set("Log", "WaitViewIdleTime", "60");
  auto connected = record(4, shared::kEventConnected);
  const uint32_t last = 0xFFFFF000u;  // just before the tick counter wraps
  connected.snapshot.last_activity_tick = last;
  feed(connected);
  view().on_tick(last + 60000);
  EXPECT_EQ(cell(0, 6), "接続されました。");
  view().on_tick(last + 61000);
  EXPECT_EQ(cell(0, 6), " 1m 1s - idle.");
}

TEST_F(MonitorView, TheOlderIdleKeyIsReadWhenTheFileHasNoVersion) {
  set("System", "SysIniVer", "0");
  set("Log", "WaitViewIdolTime", "60");
  auto connected = record(4, shared::kEventConnected);
  connected.snapshot.last_activity_tick = 1000;
  feed(connected);
  view().on_tick(1000 + 3600 * 1000 + 2000);
  EXPECT_EQ(cell(0, 6), " 1h 0m 2s - idle.");
}

TEST_F(MonitorView, IdleTimeZeroShowsNoNote) {
  auto connected = record(4, shared::kEventConnected);
  connected.snapshot.last_activity_tick = 1000;
  feed(connected);
  view().on_tick(1000 + 100000000);
  EXPECT_EQ(cell(0, 6), "接続されました。");
}

TEST_F(MonitorView, DisconnectionRemovesTheRowAndLogsIt) {
  feed(record(1, shared::kEventConnected));
  feed(record(2, shared::kEventConnected, "bob"));
  feed(record(1, shared::kEventDisconnected, "alice", "切断しました。"));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 7), "2");
  EXPECT_EQ(view().monitor().session_count(), 1u);
  EXPECT_TRUE(is_event_line(log_lines().back(), "alice", "切断しました。"));
}

TEST_F(MonitorView, DisconnectionOfAnUnknownIdOnlyWritesTheLogLine) {
  feed(record(1, shared::kEventConnected));
  const size_t lines = log_lines().size();
  feed(record(0x77, shared::kEventDisconnected));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 7), "1");
  EXPECT_EQ(cell(0, 6), "接続されました。");
  ASSERT_EQ(log_lines().size(), lines + 1);
  EXPECT_TRUE(is_event_line(log_lines().back(), "alice", "切断しました。"));
}

TEST_F(MonitorView, ClientHangUpClearsDirectionAndRate) {
  feed(record(1, shared::kEventConnected));
  auto progress = record(1, shared::kEventDownloadStarted);
  feed(progress);
  feed(record(1, shared::kEventProgress));
  feed(record(1, 18));
  EXPECT_EQ(cell(0, 2), "");
  EXPECT_EQ(cell(0, 4), "");
  EXPECT_EQ(cell(0, 6), "クライアントから切断されました。");
}

TEST_F(MonitorView, AnUnseenSessionIsAdoptedWithTwoLines) {
  feed(record(0x1f, shared::kEventDirectoryChanged, "carol", "ディレクトリ[/pub]に移動しました。"));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), "carol");
  EXPECT_EQ(cell(0, 7), "1f");
  const auto lines = log_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(is_event_line(lines[0], "carol", "ディレクトリ[/pub]に移動しました。"));
  EXPECT_TRUE(is_event_line(lines[1], "carol", "接続されました。"));
  EXPECT_TRUE(is_event_line(lines[2], "carol", "ログインしました。"));
  ASSERT_NE(view().monitor().snapshot(0x1f), nullptr);
}

TEST_F(MonitorView, RecordsWithoutSessionIdAreDroppedButPluginTextIsShown) {
  feed(record(0, shared::kEventConnected));
  feed(record(0, shared::kEventDirectoryChanged, "x", "moved"));
  EXPECT_EQ(rows(), 0);
  EXPECT_TRUE(log_lines().empty());
  shared::AdminEvent text;
  text.type = shared::kEventPluginText;
  text.text = "plug-in says hello";
  feed(text);
  EXPECT_EQ(rows(), 0);
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0], "plug-in says hello");
}

TEST_F(MonitorView, AShortRecordIsReadWithZerosForTheMissingBytes) {
  const shared::AdminEventBytes bytes = shared::encode_event(record(6, shared::kEventConnected));
  // Cut where the host text starts.
  view().handle_record(QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                  shared::admin_offset::kPayload + shared::admin_offset::kHostText));
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 7), "6");
  EXPECT_EQ(cell(0, 5), "");  // the host text was cut off
}

TEST_F(MonitorView, TheLogPaneClearsWhenItHoldsMaxLogCharLines) {
  set("Log", "MaxLogChar", "3");
  view();
  for (const char* line : {"one", "two", "three"}) view().append_log(line);
  EXPECT_EQ(log_.text(), "one\ntwo\nthree\n");
  view().append_log("four");
  EXPECT_EQ(log_.text(), "four\n");
}

TEST_F(MonitorView, StartLinesCarryTheVersion) {
  log_.write_start_lines();
  EXPECT_EQ(log_.text(), "VelmoraFTPd \nVersion  2.04\n");
  EXPECT_TRUE(log_.isReadOnly());
}

TEST(MonitorSettings, MaxLogCharOutsideTheRangeMeans65535) {
  EXPECT_EQ(manager::normalized_log_lines(0), 65535);
  EXPECT_EQ(manager::normalized_log_lines(-4), 65535);
  EXPECT_EQ(manager::normalized_log_lines(65535), 65535);
  EXPECT_EQ(manager::normalized_log_lines(65534), 65534);
  EXPECT_EQ(manager::normalized_log_lines(1), 1);
  const std::string dir = harness::make_temp_dir("monitor-settings");
  const manager::MonitorSettings defaults = manager::load_monitor_settings(dir + "velmoraFTPd.ini");
  EXPECT_EQ(defaults.max_log_lines, 3000);
  EXPECT_TRUE(defaults.adjust_digits);
  EXPECT_EQ(defaults.idle_seconds, 0);
}

TEST(DurationText, EachRangeHasItsForm) {
  EXPECT_EQ(manager::duration_text(0), "0ms");
  EXPECT_EQ(manager::duration_text(1000), "1000ms");
  EXPECT_EQ(manager::duration_text(1001), " 1s");
  EXPECT_EQ(manager::duration_text(60000), "60s");
  EXPECT_EQ(manager::duration_text(60001), " 1m 0s");
  EXPECT_EQ(manager::duration_text(61000), " 1m 1s");
  EXPECT_EQ(manager::duration_text(3599000), "59m59s");
  EXPECT_EQ(manager::duration_text(3600001), " 1h 0m 0s");
  EXPECT_EQ(manager::duration_text(36000000 + 754000), "10h12m34s");
}

// Without mail.txt nobody would learn the new password: the account goes, as after a
// failed mail, and the log and MailErr.txt say why.
TEST_F(MonitorView, AnAccountToMailIsAnnouncedAndAMissingBodyFailsTheStart) {
  platform::make_directory(dir_ + "user");
  platform::write_file_atomically(dir_ + "user/newbie.usr", "[UserInfo]\r\nPassWord=secret\r\n");
  auto created = record(8, shared::kEventAccountMailed, "newbie", "mail");
  created.snapshot.email = "newbie@example.com";
  created.snapshot.password = "secret";
  feed(created);
  const auto lines = log_lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ユーザー[newbie]のアカウントを作成しました。メールで通知します。(newbie@example.com)");
  EXPECT_EQ(lines[1], "メール本文ファイル[" + dir_ +
                          "mail.txt]を読めないため、メールを送信できません。(newbie@example.com)");
  EXPECT_EQ(lines[3], "作成したアカウント[newbie]を削除しました。");
  EXPECT_FALSE(platform::path_exists(dir_ + "user/newbie.usr"));
  EXPECT_EQ(platform::read_whole_file(dir_ + "user/MailErr.txt").value_or(""),
            "Mail Send Error  acount:[newbie] Address:[newbie@example.com]\r\n");
  EXPECT_EQ(rows(), 1);  // and the session is adopted
}

TEST_F(MonitorView, AFailedMailDeletesTheAccountAndRecordsIt) {
  platform::make_directory(dir_ + "user");
  platform::write_file_atomically(dir_ + "user/newbie.usr", "[UserInfo]\r\nPassWord=x\r\n");
  manager::AccountMailResult result;
  result.outcome = manager::MailOutcome::Failed;
  result.user_name = "newbie";
  result.address = "newbie@example.com";
  result.status_text = "SMTPサーバーに接続できません。";
  emit view().mailer().mail_finished(result);
  const auto lines = log_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "SMTPサーバーに接続できません。");
  EXPECT_EQ(lines[1], "newbie@example.comにメールを送信できませんでした。");
  EXPECT_EQ(lines[2], "作成したアカウント[newbie]を削除しました。");
  EXPECT_FALSE(platform::path_exists(dir_ + "user/newbie.usr"));
  EXPECT_EQ(platform::read_whole_file(dir_ + "user/MailErr.txt").value_or(""),
            "Mail Send Error  acount:[newbie] Address:[newbie@example.com]\r\n");
  EXPECT_FALSE(platform::path_exists(dir_ + "RefuseIP.txt"));
}

TEST_F(MonitorView, AFailedMailForAPathLikeNameDeletesNothingOutsideTheUserFolder) {
  platform::make_directory(dir_ + "user");
  platform::write_file_atomically(dir_ + "keep.usr", "x");
  manager::AccountMailResult result;
  result.outcome = manager::MailOutcome::Failed;
  result.user_name = "../keep";
  result.address = "a@b";
  emit view().mailer().mail_finished(result);
  EXPECT_TRUE(platform::path_exists(dir_ + "keep.usr"));
}

TEST_F(MonitorView, ASentMailRefusesTheAddress) {
  manager::AccountMailResult result;
  result.outcome = manager::MailOutcome::Sent;
  result.user_name = "newbie";
  result.address = "newbie@example.com";
  result.status_text = "アドレス newbie@example.com に、メールを送信しました。";
  emit view().mailer().mail_finished(result);
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0], result.status_text);
  const std::string refused = platform::read_whole_file(dir_ + "RefuseIP.txt").value_or("");
  EXPECT_NE(refused.find("newbie@example.com"), std::string::npos) << refused;
}

TEST_F(MonitorView, NoticeStatusTextsAreLogged) {
  emit view().notifier().status_text(QString::fromStdString("ログインします。"));
  ASSERT_EQ(log_lines().size(), 1u);
  EXPECT_EQ(log_lines()[0], "FtpCliantMessage:ログインします。");
}

// The periodic check of the automatic notices, without a window.
struct Collected : manager::MonitorOutput {
  std::vector<std::string> lines;
  void row_added(size_t) override {}
  void row_removed(size_t) override {}
  void cell_changed(size_t, int, const std::string&) override {}
  void log_line(const std::string& text) override { lines.push_back(text); }
  void status_text(const std::string&) override {}
  void account_mail_requested(const shared::SessionSnapshot&) override {}
};

TEST(MonitorTick, AForcedNoticeStartsWhenTheCheckTimePasses) {
  manager::Monitor monitor;
  Collected out;
  monitor.set_output(&out);
  manager::AutoIpSettings auto_ip;
  auto_ip.check_minutes = 1;
  auto_ip.enabled = true;
  auto_ip.force = true;
  monitor.set_auto_ip(auto_ip);  // the counter starts at 1
  for (int i = 0; i < 59; ++i) EXPECT_FALSE(monitor.tick(0).start_running_notice);
  EXPECT_TRUE(monitor.tick(0).start_running_notice);
  EXPECT_EQ(out.lines, std::vector<std::string>{"IP自動告知機能がサーバ状態を通知します。"});
  for (int i = 0; i < 60; ++i) EXPECT_FALSE(monitor.tick(0).start_running_notice);
  EXPECT_TRUE(monitor.tick(0).start_running_notice);
}

TEST(MonitorTick, AConnectionChangeIsNoticedOncePerChange) {
  manager::Monitor monitor;
  Collected out;
  monitor.set_output(&out);
  manager::AutoIpSettings auto_ip;
  auto_ip.check_minutes = 1;
  auto_ip.enabled = true;
  auto_ip.on_connection_change = true;
  monitor.set_auto_ip(auto_ip);
  monitor.dispatch(record(1, shared::kEventConnected), 0);
  out.lines.clear();
  bool started = false;
  for (int i = 0; i < 60; ++i) started = monitor.tick(0).start_running_notice || started;
  EXPECT_TRUE(started);
  EXPECT_EQ(out.lines, std::vector<std::string>{"接続数が変更されました。サーバ状態を通知します。"});
  EXPECT_EQ(monitor.notice_snapshot().connections, 1);
  started = false;
  for (int i = 0; i < 61; ++i) started = monitor.tick(0).start_running_notice || started;
  EXPECT_FALSE(started);
}

// 0, or a negative interval written by hand (once an upload every second), is off.
TEST(MonitorTick, CheckTimeZeroOrNegativeNeverNotices) {
  for (const int minutes : {0, -1}) {
    manager::Monitor monitor;
    manager::AutoIpSettings auto_ip;
    auto_ip.check_minutes = minutes;
    auto_ip.enabled = true;
    auto_ip.force = true;
    monitor.set_auto_ip(auto_ip);
    for (int i = 0; i < 200; ++i) EXPECT_FALSE(monitor.tick(0).start_running_notice) << minutes;
  }
}

manager::Monitor notice_monitor(Collected& out, bool enabled, bool on_ip_change) {
  manager::Monitor monitor;
  monitor.set_output(&out);
  manager::AutoIpSettings auto_ip;
  auto_ip.check_minutes = 0;
  auto_ip.enabled = enabled;
  auto_ip.on_ip_change = on_ip_change;
  monitor.set_auto_ip(auto_ip);
  return monitor;
}

TEST(MonitorTick, AChangedAddressIsNoticedOnceAndAVanishedOneIsNot) {
  Collected out;
  manager::Monitor monitor = notice_monitor(out, true, true);
  monitor.dispatch(record(1, shared::kEventConnected), 0);
  out.lines.clear();
  EXPECT_FALSE(monitor.tick(0, "").start_running_notice);
  EXPECT_FALSE(monitor.tick(0, "192.0.2.1").start_running_notice);  // the starting point
  EXPECT_FALSE(monitor.tick(0, "192.0.2.1").start_running_notice);
  EXPECT_TRUE(out.lines.empty());
  EXPECT_TRUE(monitor.tick(0, "198.51.100.2").start_running_notice);
  EXPECT_EQ(out.lines, std::vector<std::string>{"IPアドレスが変更されました。サーバ状態を通知します。"});
  EXPECT_EQ(monitor.notice_snapshot().connections, 1);  // the totals are fresh
  EXPECT_FALSE(monitor.tick(0, "198.51.100.2").start_running_notice);
  EXPECT_FALSE(monitor.tick(0, "").start_running_notice);  // the line went down
  EXPECT_FALSE(monitor.tick(0, "198.51.100.2").start_running_notice);  // and came back alike
  EXPECT_TRUE(monitor.tick(0, "203.0.113.5").start_running_notice);
  EXPECT_EQ(out.lines.size(), 2u);
}

TEST(MonitorTick, AnAddressChangeNeedsBothAutoIpModeAndUploadChangeIp) {
  for (const auto& [enabled, on_change] : {std::pair{false, true}, std::pair{true, false}}) {
    Collected out;
    manager::Monitor monitor = notice_monitor(out, enabled, on_change);
    EXPECT_FALSE(monitor.tick(0, "192.0.2.1").start_running_notice);
    EXPECT_FALSE(monitor.tick(0, "198.51.100.2").start_running_notice);
    EXPECT_TRUE(out.lines.empty());
  }
}

TEST(MonitorTick, AChangeSeenWhileNoticesWereOffIsNotNoticedWhenTheyAreTurnedOn) {
  Collected out;
  manager::Monitor monitor = notice_monitor(out, true, false);
  monitor.tick(0, "192.0.2.1");
  monitor.tick(0, "198.51.100.2");
  manager::AutoIpSettings auto_ip = monitor.auto_ip();
  auto_ip.on_ip_change = true;
  monitor.set_auto_ip(auto_ip);
  EXPECT_FALSE(monitor.tick(0, "198.51.100.2").start_running_notice);
  EXPECT_TRUE(monitor.tick(0, "192.0.2.1").start_running_notice);
}

TEST(MonitorTick, TheHostAddressesAreReadAgainOnceAMinute) {
  manager::Monitor monitor;
  int refreshes = 0;
  for (int i = 0; i < 180; ++i) refreshes += monitor.tick(0).refresh_addresses ? 1 : 0;
  EXPECT_EQ(refreshes, 3);
  EXPECT_FALSE(monitor.tick(0).refresh_addresses);
}

// The end notice runs while the window closes; its outcome is in the log of the next
// start, once.
TEST_F(MonitorView, TheEndNoticeOutcomeIsLoggedAtTheNextStart) {
  python_server::Server server("ftp_server.py", {"board", "b0ard"});
  ASSERT_TRUE(server.wait_ready()) << server.log();
  platform::write_file_atomically(dir_ + "end.tmpl", "bye\r\n");
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"UseAutoIPMode", "1"}, {"UploadChangeEnd", "1"}, {"QuorSrv", "127.0.0.1"},
           {"Port", std::to_string(server.port())}, {"User", "board"}, {"PassWord", "b0ard"},
           {"UpFileName", "end.txt"}, {"TempFile2", dir_ + "end.tmpl"}, {"Passive", "1"}}) {
    set("AutoIP", key, value);
  }
  EXPECT_TRUE(view().may_close());
  view_.reset();
  log_.clear();
  view();
  EXPECT_NE(log_.text().find("前回終了時の自動通知：ファイルを正常に送信しました。"), std::string::npos)
      << log_.text();
  EXPECT_EQ(platform::read_whole_file(server.folder() + "home/end.txt").value_or(""), "bye\r\n");
  view_.reset();
  log_.clear();
  view();
  EXPECT_EQ(log_.text().find("前回終了時"), std::string::npos);
}

}  // namespace
