// The Manager's side of the Core. The admin channel is one loopback connection; its
// receive thread takes one 4180-byte record per receive and hands a copy to the
// user-interface thread. Only the receive thread closes the channel socket; the
// user-interface thread shuts it down to end the thread and then joins it.
#include "manager/shell/core_control.h"

#include <atomic>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/service.h"
#include "platform/sync.h"
#include "platform/users.h"
#include "platform/thread.h"
#include "shared/admin_access.h"
#include "shared/admin_record.h"
#include "shared/ini.h"

namespace manager {
namespace {

constexpr int kDefaultFtpPort = 21;
constexpr int kDefaultAdminPort = 54253;
constexpr int kConnectAttempts = 3;

const char* const kAlreadyRunning = "FTPサーバーは既に起動しています。";
const char* const kStarting = "FTPサーバーを起動しています。";
const char* const kConnectFailed = "接続できませんでした。";
const char* const kConnected = "FTPサービスへの接続を完了しました。";
const char* const kUsersConnected = "現在接続しているユーザーがいます。切断しますか？";
const char* const kStopped = "FTPサーバーを停止しました。";
const char* const kNotStopped = "FTPサーバーの停止を確認できませんでした。";

std::string mutex_name(int ftp_port) { return "velmoraftpd:" + std::to_string(ftp_port); }

// Milliseconds since start on the tick counter (unsigned difference survives the wrap).
int elapsed_since(uint32_t start) { return static_cast<int>(platform::tick_ms() - start); }

std::string user_text(uint32_t uid) {
  auto user = platform::find_user(uid);
  return user ? user->name : std::to_string(uid);
}

}  // namespace

std::string admin_refusal(int admin_port, uint32_t manager_uid) {
  if (admin_port <= 0 || admin_port > 65535) return "";
  auto core_uid = platform::tcp_listener_owner(static_cast<uint16_t>(admin_port));
  if (!core_uid || shared::may_manage(manager_uid, *core_uid)) return "";
  return "FTPサーバー(ユーザー[" + user_text(*core_uid) + "]で動作中)に管理の接続を拒否されました。" +
         "ユーザー[" + user_text(manager_uid) + "]を" + shared::kManagerGroup +
         "グループに加えてください。";
}

CoreSettings read_core_settings(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  CoreSettings settings;
  settings.service = ini.get_int("System", "Service", 0) != 0;
  settings.ftp_port = ini.get_int("System", "Port", kDefaultFtpPort);
  settings.admin_port = ini.get_int("System", "FtpdCoreListenPort", kDefaultAdminPort);
  return settings;
}

bool core_is_running(const std::string& ini_file) {
  const CoreSettings settings = read_core_settings(ini_file);
  if (settings.service) return platform::service_state() == platform::ServiceState::Active;
  return platform::named_mutex_exists(mutex_name(settings.ftp_port));
}

struct CoreChannel::State {
  ProgramPaths paths;
  CoreTimeLimits limits;
  std::mutex socket_lock;  // guards socket; command sends hold it
  platform::Socket socket = platform::kNoSocket;
  platform::Thread receiver;
  std::optional<platform::ChildProcess> child;  // the Core this Manager started
  std::string refusal;  // why the last connect was not made, when the Core would refuse
  std::atomic<quint64> generation{0};
  platform::Event pause{true};  // never set: the pauses of the connect and start loops
};

namespace {

// Starts the service and waits, within the limit, until systemd reports it active. A
// service that stops or fails instead ends the wait at once.
bool start_service_and_wait(const CoreTimeLimits& limits, platform::Event& pause) {
  if (platform::service_state() == platform::ServiceState::Active) return true;
  if (!platform::start_service()) return false;
  const uint32_t start = platform::tick_ms();
  for (;;) {
    const platform::ServiceState state = platform::service_state();
    if (state == platform::ServiceState::Active) return true;
    if (state != platform::ServiceState::Starting) return false;
    if (elapsed_since(start) >= limits.service_start_ms) return false;
    pause.wait_for(limits.service_poll_ms);
  }
}

// Up to three attempts at 127.0.0.1:port, spread over the spacing: a refused loopback
// connect fails at once, and a Core just started needs a moment before it listens.
platform::Socket connect_to_core(int port, const CoreTimeLimits& limits, platform::Event& pause) {
  if (port <= 0 || port > 65535) return platform::kNoSocket;
  const uint32_t start = platform::tick_ms();
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    const int wait = attempt * limits.attempt_spacing_ms - elapsed_since(start);
    if (wait > 0) pause.wait_for(wait);
    platform::Socket s = platform::open_tcp_socket();
    if (s == platform::kNoSocket) return platform::kNoSocket;
    const platform::Ipv4Endpoint core{platform::kLoopbackAddress, static_cast<uint16_t>(port)};
    if (platform::connect_ipv4(s, core, limits.connect_timeout_ms)) return s;
    platform::close_socket(s);
  }
  return platform::kNoSocket;
}

}  // namespace

CoreChannel::CoreChannel(ProgramPaths paths, QObject* parent)
    : QObject(parent), state_(new State) {
  state_->paths = std::move(paths);
}

CoreChannel::~CoreChannel() { close_channel(); }

void CoreChannel::set_time_limits(const CoreTimeLimits& limits) { state_->limits = limits; }
const CoreTimeLimits& CoreChannel::time_limits() const { return state_->limits; }

int CoreChannel::core_process_id() const { return state_->child ? state_->child->pid : -1; }

bool CoreChannel::start_and_connect() {
  close_channel();  // a channel left from before is ended and its thread joined
  const CoreSettings settings = read_core_settings(state_->paths.ini_file);
  if (!core_is_running(state_->paths.ini_file) && !start_core(settings)) return false;
  platform::Socket s = connect_to_core(settings.admin_port, state_->limits, state_->pause);
  // A Core that closes this Manager's connection at once would look like one with no
  // users: tell the operator instead.
  state_->refusal = admin_refusal(settings.admin_port, platform::current_user_id());
  if (!state_->refusal.empty() && s != platform::kNoSocket) {
    platform::close_socket(s);
    s = platform::kNoSocket;
  }
  if (s == platform::kNoSocket) return false;
  return start_receiver(s);
}

// Process mode: the Core runs with no terminal output in a session of its own, serving
// this Manager's program directory. Whether it came up is decided by the connect.
bool CoreChannel::start_core(const CoreSettings& settings) {
  if (settings.service) return start_service_and_wait(state_->limits, state_->pause);
  if (state_->child && platform::wait_process(*state_->child, 0)) state_->child.reset();
  auto child = platform::spawn_detached_process(
      state_->paths.core_exe, {"-ns"}, {"VELMORAFTPD_HOME=" + state_->paths.program_dir});
  if (child) state_->child = child;
  return true;
}

bool CoreChannel::start_receiver(platform::Socket s) {
  {
    std::lock_guard<std::mutex> guard(state_->socket_lock);
    state_->socket = s;
  }
  ++state_->generation;
  if (state_->receiver.start([this, s] { receive_records(s); })) return true;
  std::lock_guard<std::mutex> guard(state_->socket_lock);
  platform::close_socket(s);
  state_->socket = platform::kNoSocket;
  return false;
}

// One receive is one record: a fresh zero-filled 4180-byte buffer each time, so bytes a
// short receive did not fill stay zero.
void CoreChannel::receive_records(platform::Socket s) {
  for (;;) {
    QByteArray record(static_cast<qsizetype>(shared::kAdminEventSize), '\0');
    const long received = platform::recv_some(s, record.data(), shared::kAdminEventSize);
    if (received <= 0) break;
    emit record_received(record);
  }
  {
    std::lock_guard<std::mutex> guard(state_->socket_lock);
    platform::close_socket(s);
    state_->socket = platform::kNoSocket;
  }
  emit channel_ended(state_->generation.load());
}

const std::string& CoreChannel::refusal() const { return state_->refusal; }
quint64 CoreChannel::generation() const { return state_->generation.load(); }

bool CoreChannel::is_open() const {
  std::lock_guard<std::mutex> guard(state_->socket_lock);
  return state_->socket != platform::kNoSocket;
}

void CoreChannel::send_command(uint8_t code, uint32_t session_id) {
  const shared::AdminCommandBytes bytes = shared::encode_command({code, session_id});
  std::lock_guard<std::mutex> guard(state_->socket_lock);
  if (state_->socket == platform::kNoSocket) return;
  platform::send_all(state_->socket, bytes.data(), bytes.size());
}

void CoreChannel::send_kick(uint32_t session_id) {
  send_command(static_cast<uint8_t>(shared::AdminCommandCode::Kick), session_id);
}

void CoreChannel::send_abort(uint32_t session_id) {
  send_command(static_cast<uint8_t>(shared::AdminCommandCode::AbortTransfer), session_id);
}

void CoreChannel::send_stop() {
  send_command(static_cast<uint8_t>(shared::AdminCommandCode::StopServer), 0);
}

bool CoreChannel::started_core_exited() {
  if (!state_->child) return false;
  if (!platform::wait_process(*state_->child, 0)) return false;
  state_->child.reset();
  return true;
}

// A Core closes its channel when it ends; the process this Manager started must also be
// gone (reaped), so that "stopped" is said only of a Core that really ended.
bool CoreChannel::core_ended() {
  if (is_open()) return false;
  return !state_->child || started_core_exited();
}

bool CoreChannel::wait_for_core_end(int timeout_ms) {
  const uint32_t start = platform::tick_ms();
  while (!core_ended()) {
    if (elapsed_since(start) >= timeout_ms) return false;
    state_->pause.wait_for(20);
  }
  return true;
}

bool CoreChannel::kill_core() {
  if (!state_->child) return false;
  platform::signal_process(*state_->child, platform::kSignalKill);
  return true;
}

void CoreChannel::close_channel() {
  {
    std::lock_guard<std::mutex> guard(state_->socket_lock);
    if (state_->socket != platform::kNoSocket) platform::shutdown_both(state_->socket);
  }
  if (state_->receiver.joinable()) state_->receiver.join();
}

CoreController::CoreController(CoreChannel& channel, ProgramPaths paths, ConnectHooks hooks)
    : channel_(channel), paths_(std::move(paths)), hooks_(std::move(hooks)) {}

bool CoreController::toggle(bool wanted) { return wanted ? connect_core() : disconnect_core(); }

bool CoreController::connect_core() {
  if (connected_ && channel_.is_open()) return true;
  auto log = [this](const std::string& line) {
    if (hooks_.log) hooks_.log(line);
  };
  log(core_is_running(paths_.ini_file) ? kAlreadyRunning : kStarting);
  if (!channel_.start_and_connect()) {
    const std::string& refusal = channel_.refusal();
    if (hooks_.show_message) hooks_.show_message(refusal.empty() ? kConnectFailed : refusal);
    return false;
  }
  log(kConnected);
  if (hooks_.on_connected) hooks_.on_connected();
  connected_ = true;
  log("");
  return true;
}

// "Stopped" is said only once the Core has ended; one that does not end leaves the
// Manager connected, so that the operator can stop it again.
bool CoreController::disconnect_core() {
  if (!connected_) return true;
  const size_t sessions = hooks_.session_count ? hooks_.session_count() : 0;
  if (sessions > 0 && !(hooks_.ask_yes_no && hooks_.ask_yes_no(kUsersConnected))) return false;
  stopping_ = true;
  channel_.send_stop();
  const bool ended = hooks_.wait_for_stop ? hooks_.wait_for_stop()
                                          : channel_.wait_for_core_end(channel_.time_limits().stop_wait_ms);
  stopping_ = false;
  if (!ended) {
    if (hooks_.log) hooks_.log(kNotStopped);
    return false;
  }
  if (hooks_.on_disconnected) hooks_.on_disconnected();
  if (hooks_.log) hooks_.log(kStopped);
  connected_ = false;
  return true;
}

bool CoreController::channel_lost(quint64 generation) {
  if (!connected_ || stopping_ || generation != channel_.generation()) return false;
  connected_ = false;
  if (hooks_.on_disconnected) hooks_.on_disconnected();
  return true;
}

}  // namespace manager
