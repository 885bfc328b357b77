// The Manager driving the Core: the running test, starting the real quorsrv (as a child
// process or through a stand-in systemctl), the admin channel and its records, the
// operator's commands and the connect/disconnect command with its log lines.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QObject>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "manager/shell/core_control.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "shared/admin_record.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

namespace fs = std::filesystem;
using manager::CoreChannel;
using manager::CoreController;

const std::string kAlreadyRunning = "FTPサーバーは既に起動しています。";
const std::string kStarting = "FTPサーバーを起動しています。";
const std::string kConnectFailed = "接続できませんでした。";
const std::string kConnected = "FTPサービスへの接続を完了しました。";
const std::string kUsersConnected = "現在接続しているユーザーがいます。切断しますか？";
const std::string kStopped = "FTPサーバーを停止しました。";

void write_script(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// What the windows around the connect/disconnect command would show and answer.
struct Windows {
  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  bool answer = true;
  size_t sessions = 0;
  int connected_calls = 0;
  int disconnected_calls = 0;

  manager::ConnectHooks hooks() {
    manager::ConnectHooks h;
    h.log = [this](const std::string& line) { log.push_back(line); };
    h.show_message = [this](const std::string& text) { messages.push_back(text); };
    h.ask_yes_no = [this](const std::string& text) {
      questions.push_back(text);
      return answer;
    };
    h.session_count = [this] { return sessions; };
    h.on_connected = [this] { ++connected_calls; };
    h.on_disconnected = [this] { ++disconnected_calls; };
    return h;
  }
};

// Records delivered on the user-interface thread, in order.
struct Records {
  std::vector<QByteArray> list;

  explicit Records(CoreChannel& channel) {
    QObject::connect(&channel, &CoreChannel::record_received, &channel,
                     [this](const QByteArray& record) { list.push_back(record); });
  }
  shared::AdminEvent event(size_t i) const {
    shared::AdminEventBytes bytes{};
    std::copy(list[i].begin(), list[i].end(), bytes.begin());
    return shared::decode_event(bytes);
  }
  // Waits for an event of the type (for the user when given) and returns it.
  std::optional<shared::AdminEvent> wait_for(uint32_t type, const std::string& user = "") {
    std::optional<shared::AdminEvent> found;
    size_t seen = 0;
    qt_test::wait_until([&] {
      for (; seen < list.size() && !found; ++seen) {
        shared::AdminEvent e = event(seen);
        if (e.type == type && (user.empty() || e.snapshot.user_name == user)) found = e;
      }
      return found.has_value();
    });
    return found;
  }
  std::vector<uint32_t> types() const {
    std::vector<uint32_t> result;
    for (size_t i = 0; i < list.size(); ++i) result.push_back(event(i).type);
    return result;
  }
};

// Stands in for a Core: holds the running sign of the site's FTP port and listens on its
// admin port, so that the Manager connects here without starting anything.
class FakeCore {
 public:
  explicit FakeCore(const harness::Site& site) {
    sign_.create("velmoraftpd:" + std::to_string(site.ftp_port()));
    listener_ = platform::open_tcp_socket();
    platform::bind_ipv4(listener_, {platform::kLoopbackAddress, site.admin_port()}, true);
    platform::listen_socket(listener_, 1);
  }
  ~FakeCore() {
    platform::close_socket(peer_);
    platform::close_socket(listener_);
  }
  platform::Socket accept() {
    peer_ = platform::accept_connection(listener_, nullptr);
    return peer_;
  }
  platform::Socket accept_peer() const { return peer_; }
  // Up to size bytes that arrive within the time limit.
  std::string receive(size_t size, int timeout_ms) {
    std::string bytes;
    char buffer[64];
    while (bytes.size() < size) {
      long n = platform::recv_some_timeout(peer_, buffer, std::min(sizeof buffer, size - bytes.size()),
                                           harness::scaled_ms(timeout_ms));
      if (n <= 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

 private:
  platform::NamedMutex sign_;
  platform::Socket listener_ = platform::kNoSocket;
  platform::Socket peer_ = platform::kNoSocket;
};

std::string command_bytes(uint8_t code, uint32_t id) {
  return std::string{static_cast<char>(code), 0, 0, 0,
                     static_cast<char>(id & 0xFF), static_cast<char>((id >> 8) & 0xFF),
                     static_cast<char>((id >> 16) & 0xFF), static_cast<char>((id >> 24) & 0xFF)};
}

class CoreControl : public ::testing::Test {
 protected:
  CoreControl() {
    platform::set_environment_variable("VELMORAFTPD_HOME", site_.root());
    site_.add_user("alice");
  }
  ~CoreControl() override {
    channel_.close_channel();
    const int pid = channel_.core_process_id();
    if (pid > 0 && !platform::wait_process({pid}, 0)) {
      platform::signal_process({pid}, platform::kSignalKill);
      platform::wait_process({pid}, 5000);
    }
  }
  void install_real_core() { fs::create_symlink(QUORSRV_PATH, site_.path("quorsrv")); }
  // A program that ends at once without ever listening.
  void install_silent_core() { write_script(site_.path("quorsrv"), "exit 0\n"); }
  bool running() { return manager::core_is_running(site_.config_file()); }

  harness::Site site_{"core-control"};
  manager::ProgramPaths paths_ = manager::derive_program_paths(site_.root());
  CoreChannel channel_{paths_};
  Windows windows_;
  CoreController controller_{channel_, paths_, windows_.hooks()};
  Records records_{channel_};
};

TEST_F(CoreControl, RunningTestFindsACoreOnTheConfiguredPortOnly) {
  EXPECT_FALSE(running());
  harness::Server server(site_);
  EXPECT_TRUE(running());
  site_.set("System", "Port", std::to_string(harness::free_port()));
  EXPECT_FALSE(running());
  site_.set("System", "Port", std::to_string(site_.ftp_port()));
  server.signal(platform::kSignalTerminate);
  ASSERT_TRUE(server.wait_exit(10000));
  EXPECT_FALSE(running());
}

TEST_F(CoreControl, ConnectStartsTheCoreAndDeliversItsEvents) {
  install_real_core();
  ASSERT_TRUE(controller_.toggle(true));
  EXPECT_EQ(windows_.log, (std::vector<std::string>{kStarting, kConnected, ""}));
  EXPECT_TRUE(windows_.messages.empty());
  EXPECT_EQ(windows_.connected_calls, 1);
  EXPECT_TRUE(controller_.connected());
  EXPECT_GT(channel_.core_process_id(), 0);
  EXPECT_TRUE(running());

  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site_.ftp_port()));
  ASSERT_TRUE(client.login("alice", "alice"));
  auto accepted = records_.wait_for(shared::kEventUserAccepted, "alice");
  ASSERT_TRUE(accepted);
  EXPECT_NE(accepted->session_id, 0u);
  EXPECT_EQ(accepted->snapshot.session_id, accepted->session_id);
  for (const QByteArray& record : records_.list) EXPECT_EQ(record.size(), 4180);

  client.command("QUIT");
  ASSERT_TRUE(records_.wait_for(shared::kEventDisconnected, "alice"));
}

TEST_F(CoreControl, StopEndsTheCoreThisManagerStarted) {
  install_real_core();
  ASSERT_TRUE(controller_.toggle(true));
  const int pid = channel_.core_process_id();
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(controller_.toggle(false));
  // The command waited for the process: its running sign is gone already.
  EXPECT_FALSE(running());
  EXPECT_EQ(channel_.core_process_id(), -1);
  EXPECT_EQ(windows_.log.back(), kStopped);
  EXPECT_TRUE(windows_.questions.empty());
  EXPECT_EQ(windows_.disconnected_calls, 1);
  EXPECT_FALSE(controller_.connected());
  EXPECT_TRUE(qt_test::wait_until([&] { return !channel_.is_open(); }));
}

TEST_F(CoreControl, ACoreAlreadyRunningIsJoinedWithoutStartingAnother) {
  harness::Server server(site_);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site_.ftp_port()));
  ASSERT_TRUE(client.login("alice", "alice"));

  ASSERT_TRUE(controller_.toggle(true));
  EXPECT_EQ(windows_.log, (std::vector<std::string>{kAlreadyRunning, kConnected, ""}));
  EXPECT_EQ(channel_.core_process_id(), -1);
  // The Core greets a new Manager with a snapshot of the live session.
  ASSERT_TRUE(qt_test::wait_until([&] { return records_.list.size() >= 3; }));
  EXPECT_EQ(records_.types(), (std::vector<uint32_t>{0, 1, 25}));
  EXPECT_EQ(records_.event(1).snapshot.user_name, "alice");

  windows_.sessions = 1;
  ASSERT_TRUE(controller_.toggle(false));
  EXPECT_EQ(windows_.questions, std::vector<std::string>{kUsersConnected});
  EXPECT_TRUE(server.wait_exit(15000));
  EXPECT_TRUE(client.wait_closed(5000));
}

TEST_F(CoreControl, KickAndAbortReachTheCore) {
  install_real_core();
  site_.add_user("bob", {{"UpBps", "64"}});
  site_.write_file("home/big.bin", std::string(512 * 1024, 'x'));
  ASSERT_TRUE(controller_.toggle(true));
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site_.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR big.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket) << preliminary;
  auto started = records_.wait_for(shared::kEventDownloadStarted, "bob");
  ASSERT_TRUE(started);

  channel_.send_abort(started->session_id);
  std::string rest = harness::read_data(data, 10000);
  EXPECT_LT(rest.size(), 512u * 1024u);
  EXPECT_EQ(client.reply(10000).substr(0, 3), "426");
  ASSERT_TRUE(records_.wait_for(shared::kEventDownloadEnded, "bob"));
  EXPECT_EQ(client.command("NOOP"), "200 OK\r\n");

  channel_.send_kick(started->session_id);
  EXPECT_TRUE(client.wait_closed(10000));
  auto ended = records_.wait_for(shared::kEventDisconnected, "bob");
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->session_id, started->session_id);
  ASSERT_TRUE(controller_.toggle(false));
}

// Session ids start from a value that differs from run to run: an id the Manager kept
// from an earlier Core never names a session of the next one.
TEST_F(CoreControl, EachCoreRunNumbersItsSessionsAfresh) {
  std::vector<uint32_t> first_ids;
  for (int run = 0; run < 2; ++run) {
    harness::Server server(site_);
    ASSERT_TRUE(channel_.start_and_connect());
    harness::FtpClient client;
    ASSERT_TRUE(client.connect(site_.ftp_port()));
    auto connected = records_.wait_for(shared::kEventConnected);
    ASSERT_TRUE(connected);
    first_ids.push_back(connected->session_id);
    records_.list.clear();
    channel_.close_channel();
  }
  EXPECT_NE(first_ids[0], first_ids[1]);
  EXPECT_NE(first_ids[0], 0u);
}

TEST_F(CoreControl, ACoreThatNeverAnswersGivesUpAfterThreeAttempts) {
  install_silent_core();
  EXPECT_FALSE(controller_.toggle(true));
  EXPECT_EQ(windows_.log, std::vector<std::string>{kStarting});
  EXPECT_EQ(windows_.messages, std::vector<std::string>{kConnectFailed});
  EXPECT_EQ(windows_.connected_calls, 0);
  EXPECT_FALSE(controller_.connected());
  EXPECT_FALSE(channel_.is_open());
  // Commands without a channel go nowhere; disconnecting while not connected is a no-op.
  channel_.send_kick(1);
  EXPECT_TRUE(controller_.toggle(false));
  EXPECT_EQ(windows_.log.size(), 1u);
}

TEST_F(CoreControl, AnAdminPortOutsideTheRangeIsNotConnected) {
  install_silent_core();
  for (const char* port : {"0", "-5", "70000"}) {
    site_.set("System", "FtpdCoreListenPort", port);
    EXPECT_FALSE(channel_.start_and_connect()) << port;
    EXPECT_FALSE(channel_.is_open()) << port;
  }
}

TEST_F(CoreControl, ARecordSplitAcrossTwoReceivesArrivesAsTwoRecords) {
  FakeCore core(site_);
  ASSERT_TRUE(channel_.start_and_connect());
  platform::Socket peer = core.accept();
  ASSERT_NE(peer, platform::kNoSocket);
  shared::AdminEvent event;
  event.session_id = 0x1234;
  event.type = shared::kEventUserAccepted;
  event.snapshot.user_name = "alice";
  const shared::AdminEventBytes bytes = shared::encode_event(event);

  ASSERT_EQ(platform::send_all(peer, bytes.data(), 2000), 2000u);
  ASSERT_TRUE(qt_test::wait_until([&] { return records_.list.size() == 1; }));
  ASSERT_EQ(platform::send_all(peer, bytes.data() + 2000, 2180), 2180u);
  ASSERT_TRUE(qt_test::wait_until([&] { return records_.list.size() == 2; }));
  qt_test::pump_events(100);
  ASSERT_EQ(records_.list.size(), 2u);

  const QByteArray& first = records_.list[0];
  const QByteArray& second = records_.list[1];
  ASSERT_EQ(first.size(), 4180);
  ASSERT_EQ(second.size(), 4180);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.data()), 2000), first.left(2000));
  EXPECT_EQ(first.mid(2000), QByteArray(2180, '\0'));
  EXPECT_EQ(records_.event(0).session_id, 0x1234u);
  EXPECT_EQ(records_.event(0).snapshot.user_name, "alice");
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.data()) + 2000, 2180), second.left(2180));
  EXPECT_EQ(second.mid(2180), QByteArray(2000, '\0'));
}

TEST_F(CoreControl, CommandsGoOutAsEightByteRecords) {
  FakeCore core(site_);
  ASSERT_TRUE(channel_.start_and_connect());
  ASSERT_NE(core.accept(), platform::kNoSocket);
  channel_.send_kick(0xA1B2C3D4);
  EXPECT_EQ(core.receive(8, 5000), command_bytes(1, 0xA1B2C3D4));
  channel_.send_abort(0x00000101);
  EXPECT_EQ(core.receive(8, 5000), command_bytes(2, 0x00000101));
  channel_.send_stop();
  EXPECT_EQ(core.receive(8, 5000), command_bytes(3, 0));
}

TEST_F(CoreControl, DisconnectAnsweredNoKeepsTheConnection) {
  FakeCore core(site_);
  ASSERT_TRUE(controller_.toggle(true));
  EXPECT_EQ(windows_.log.front(), kAlreadyRunning);
  ASSERT_NE(core.accept(), platform::kNoSocket);
  windows_.sessions = 1;
  windows_.answer = false;
  EXPECT_FALSE(controller_.toggle(false));
  EXPECT_EQ(windows_.questions, std::vector<std::string>{kUsersConnected});
  EXPECT_TRUE(controller_.connected());
  EXPECT_TRUE(channel_.is_open());
  EXPECT_EQ(core.receive(8, 300), "");
  EXPECT_EQ(windows_.disconnected_calls, 0);

  // A Core that takes the stop command but does not end is not called stopped.
  manager::CoreTimeLimits limits;
  limits.stop_wait_ms = 300;
  channel_.set_time_limits(limits);
  windows_.answer = true;
  EXPECT_FALSE(controller_.toggle(false));
  EXPECT_EQ(core.receive(8, 5000), command_bytes(3, 0));
  EXPECT_EQ(windows_.log.back(), "FTPサーバーの停止を確認できませんでした。");
  EXPECT_TRUE(controller_.connected());
  EXPECT_EQ(windows_.disconnected_calls, 0);
  platform::shutdown_both(core.accept_peer());
  EXPECT_TRUE(controller_.toggle(false));
  EXPECT_EQ(windows_.log.back(), kStopped);
  EXPECT_EQ(windows_.disconnected_calls, 1);
  EXPECT_FALSE(controller_.connected());
}

// The channel's end is reported with its generation; only the current channel's end,
// while connected and not stopping, is a loss.
TEST_F(CoreControl, ACoreThatHangsUpIsReportedAsALoss) {
  std::vector<quint64> ended;
  QObject::connect(&channel_, &CoreChannel::channel_ended, &channel_,
                   [&](quint64 generation) { ended.push_back(generation); });
  FakeCore core(site_);
  ASSERT_TRUE(controller_.toggle(true));
  platform::Socket peer = core.accept();
  ASSERT_NE(peer, platform::kNoSocket);
  platform::shutdown_both(peer);
  ASSERT_TRUE(qt_test::wait_until([&] { return ended.size() == 1; }));
  EXPECT_FALSE(channel_.is_open());
  EXPECT_FALSE(controller_.channel_lost(ended[0] + 1));  // an older channel's end
  EXPECT_TRUE(controller_.connected());
  EXPECT_TRUE(controller_.channel_lost(ended[0]));
  EXPECT_FALSE(controller_.connected());
  EXPECT_EQ(windows_.disconnected_calls, 1);
  EXPECT_FALSE(controller_.channel_lost(ended[0]));  // not twice
  EXPECT_TRUE(controller_.toggle(false));  // nothing left to stop
  EXPECT_TRUE(windows_.questions.empty());
}

TEST_F(CoreControl, ClosingTheChannelHangsUpAndEndsTheReceiveThread) {
  FakeCore core(site_);
  ASSERT_TRUE(channel_.start_and_connect());
  platform::Socket peer = core.accept();
  ASSERT_NE(peer, platform::kNoSocket);
  channel_.close_channel();
  EXPECT_FALSE(channel_.is_open());
  char byte = 0;
  EXPECT_EQ(platform::recv_some_timeout(peer, &byte, 1, harness::scaled_ms(5000)), 0);
  // A later connect starts afresh.
  ASSERT_TRUE(channel_.start_and_connect());
  EXPECT_TRUE(channel_.is_open());
}

// Service mode: a stand-in systemctl records its calls and answers is-active from the
// lines of its state file (each look takes the first line; the last line stays).
class ServiceMode : public CoreControl {
 protected:
  ServiceMode() {
    write_script(dir_ + "systemctl",
                 "dir=$(dirname \"$0\")\n"
                 "echo \"$*\" >> \"$dir/calls\"\n"
                 "case \"$1\" in\n"
                 "  is-active)\n"
                 "    state=$(head -n 1 \"$dir/state\")\n"
                 "    if [ $(wc -l < \"$dir/state\") -gt 1 ]; then\n"
                 "      tail -n +2 \"$dir/state\" > \"$dir/state.next\"; mv \"$dir/state.next\" \"$dir/state\"\n"
                 "    fi\n"
                 "    echo \"$state\"\n"
                 "    [ \"$state\" = active ] ;;\n"
                 "  start)\n"
                 "    if [ -f \"$dir/on_start\" ]; then . \"$dir/on_start\"; fi\n"
                 "    exit $(cat \"$dir/start_exit\" 2>/dev/null || echo 0) ;;\n"
                 "esac\n");
    set_state("inactive\n");
    platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", dir_ + "systemctl");
    site_.set("System", "Service", "1");
    manager::CoreTimeLimits limits;
    limits.service_poll_ms = 50;
    limits.service_start_ms = 1000;
    channel_.set_time_limits(limits);
  }
  ~ServiceMode() override {
    platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", std::nullopt);
    // A Core the stand-in started and that still holds its running sign is ended here.
    const std::string sign = "velmoraftpd:" + std::to_string(site_.ftp_port());
    if (auto pid = harness_read(dir_ + "core.pid"); pid && platform::named_mutex_exists(sign))
      platform::signal_process({std::stoi(*pid)}, platform::kSignalKill);
  }
  static std::optional<std::string> harness_read(const std::string& path) {
    std::ifstream in(path);
    std::string text;
    if (!std::getline(in, text) || text.empty()) return std::nullopt;
    return text;
  }
  void set_state(const std::string& lines) { std::ofstream(dir_ + "state") << lines; }
  void on_start(const std::string& script) { std::ofstream(dir_ + "on_start") << script; }
  std::vector<std::string> calls() {
    std::vector<std::string> lines;
    std::ifstream in(dir_ + "calls");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  long start_count() {
    const std::vector<std::string> all = calls();
    return std::count(all.begin(), all.end(), "start velmoraftpd.service");
  }
  // Calls made after the start command (the start itself not counted).
  std::vector<std::string> calls_after_start() {
    std::vector<std::string> all = calls();
    auto start = std::find(all.begin(), all.end(), "start velmoraftpd.service");
    if (start == all.end()) return {};
    return std::vector<std::string>(start + 1, all.end());
  }

  std::string dir_ = harness::make_temp_dir("fake-systemctl");
};

TEST_F(ServiceMode, RunningTestAsksSystemdAndIgnoresTheProcessSign) {
  platform::NamedMutex sign;
  ASSERT_TRUE(sign.create("velmoraftpd:" + std::to_string(site_.ftp_port())));
  EXPECT_FALSE(running());
  set_state("active\n");
  EXPECT_TRUE(running());
  EXPECT_EQ(calls().back(), "is-active velmoraftpd.service");
  platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", dir_ + "missing");
  EXPECT_FALSE(running());
}

TEST_F(ServiceMode, ConnectStartsTheServiceWaitsUntilActiveAndConnects) {
  on_start("printf 'activating\\nactivating\\nactive\\n' > \"$dir/state\"\n"
           "\"" QUORSRV_PATH "\" -ns > /dev/null 2>&1 &\n"
           "echo $! > \"$dir/core.pid\"\n");
  ASSERT_TRUE(controller_.toggle(true)) << windows_.messages.size();
  EXPECT_EQ(windows_.log, (std::vector<std::string>{kStarting, kConnected, ""}));
  EXPECT_EQ(start_count(), 1);
  EXPECT_EQ(calls_after_start(), std::vector<std::string>(3, "is-active velmoraftpd.service"));
  EXPECT_EQ(channel_.core_process_id(), -1);

  // Stopping a service Core does not wait for a process; the Core ends on its own.
  ASSERT_TRUE(controller_.toggle(false));
  const std::string sign = "velmoraftpd:" + std::to_string(site_.ftp_port());
  EXPECT_TRUE(qt_test::wait_until([&] { return !platform::named_mutex_exists(sign); }, 15000));
}

TEST_F(ServiceMode, AServiceStartRefusedShowsTheConnectFailure) {
  std::ofstream(dir_ + "start_exit") << "1\n";
  EXPECT_FALSE(controller_.toggle(true));
  EXPECT_EQ(windows_.messages, std::vector<std::string>{kConnectFailed});
  EXPECT_EQ(start_count(), 1);
  EXPECT_TRUE(calls_after_start().empty());
}

TEST_F(ServiceMode, AServiceThatFailsWhileStartingEndsTheWait) {
  on_start("printf 'activating\\nfailed\\n' > \"$dir/state\"\n");
  EXPECT_FALSE(controller_.toggle(true));
  EXPECT_EQ(windows_.messages, std::vector<std::string>{kConnectFailed});
  EXPECT_EQ(calls_after_start(), std::vector<std::string>(2, "is-active velmoraftpd.service"));
}

TEST_F(ServiceMode, AServiceThatStaysStartingIsGivenUpAfterTheLimit) {
  on_start("printf 'activating\\n' > \"$dir/state\"\n");
  EXPECT_FALSE(controller_.toggle(true));
  EXPECT_EQ(windows_.messages, std::vector<std::string>{kConnectFailed});
  EXPECT_GE(calls_after_start().size(), 2u);
}

}  // namespace
