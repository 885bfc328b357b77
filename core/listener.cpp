// The FTP listener: the pools of threads that take connections, the one-second watchdog,
// kicks and the stop of the whole server.
#include "core/listener.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <mutex>

#include "core/accept_pool.h"
#include "core/server.h"
#include "core/tls_commands.h"
#include "fileservice/data_connection.h"
#include "fileservice/data_worker.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"

namespace core {
namespace {

constexpr size_t kAcceptStack = 256 * 1024;  // plug-ins are loaded on this thread
constexpr int kMinuteMs = 60000;
constexpr int kStopPollMs = 100;
constexpr int kStopBoundMs = 30000;

struct Listener {
  std::mutex lock;  // serialises start and stop
  bool running = false;
  std::atomic<platform::Socket> socket{platform::kNoSocket};
  platform::Event stop_event{true};
  platform::Thread accept_thread;  // starts the pools, waits for the stop, ends the sessions
  AcceptPool plain;
  // The implicit-TLS listener, opened with the FTP listener.
  std::atomic<platform::Socket> implicit_socket{platform::kNoSocket};
  AcceptPool implicit;
  platform::Event watchdog_stop{true};
  platform::Thread watchdog;
};

Listener& listener() {
  static Listener state;
  return state;
}

void watchdog_pass(uint32_t now) {
  CoreState& state = core_state();
  uint64_t uploading = 0, downloading = 0, upload_bps = 0, download_bps = 0;
  std::lock_guard<std::mutex> guard(state.table.lock);
  for (Session* s : state.table.sessions) {
    if (s->transferring) {
      uint32_t rate = transfer_rate_bps(now, s->transfer_start_tick, s->transferred);
      if (s->upload) {
        ++uploading;
        upload_bps += rate;
      } else {
        ++downloading;
        download_bps += rate;
      }
    }
    if (s->closing) continue;
    if (idle_expired(now, s->last_activity_tick, s->idle_minutes) ||
        connect_expired(now, s->connect_tick, s->connect_minutes) ||
        (s->login_state != kLoggedIn &&
         login_expired(now, s->connect_tick, state.config.login_timeout_seconds))) {
      kick_session(*s);
    }
  }
  auto clamp = [](uint64_t v) {
    return static_cast<uint32_t>(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
  };
  state.totals.uploading = clamp(uploading);
  state.totals.downloading = clamp(downloading);
  state.totals.upload_bps = clamp(upload_bps);
  state.totals.download_bps = clamp(download_bps);
}

void run_watchdog() {
  Listener& l = listener();
  while (!l.watchdog_stop.wait_for(1000)) watchdog_pass(platform::tick_ms());
}

// Breaks the blocking calls of every live session (the closing flag is left alone).
void shut_down_all_sessions() {
  CoreState& state = core_state();
  std::lock_guard<std::mutex> guard(state.table.lock);
  for (Session* s : state.table.sessions) {
    s->ending.set();
    shutdown_session_socket(*s, SessionSocket::PassiveListen);
    shutdown_session_socket(*s, SessionSocket::Data);
    shutdown_session_socket(*s, SessionSocket::Control);
  }
}

bool no_sessions_left() {
  CoreState& state = core_state();
  std::lock_guard<std::mutex> guard(state.table.lock);
  return state.table.sessions.empty() && state.live_threads == 0;
}

// Ends every session and waits until all session threads are gone, shutting down the
// sockets of newcomers on every round. False when the bound passed first.
bool end_all_sessions() {
  platform::Event never{true};
  for (int waited = 0; waited <= kStopBoundMs; waited += kStopPollMs) {
    shut_down_all_sessions();
    if (no_sessions_left()) return true;
    never.wait_for(kStopPollMs);
  }
  return false;
}

void run_accept_loop(platform::Socket socket) {
  Listener& l = listener();
  l.watchdog_stop.reset();
  bool watchdog_running = l.watchdog.start(run_watchdog);
  fileservice::load_system_plugins(core_state().paths.config_file);
  start_pool(l.plain, socket, false);
  platform::Socket implicit = l.implicit_socket.load();
  if (implicit != platform::kNoSocket) start_pool(l.implicit, implicit, true);
  l.stop_event.wait();
  stop_pool(l.plain);
  if (implicit != platform::kNoSocket) stop_pool(l.implicit);
  // Once this returns true every pool thread is gone: nothing accepts any more.
  bool ended = end_all_sessions();
  if (watchdog_running) {
    l.watchdog_stop.set();
    l.watchdog.join();
  }
  // A session thread past the bound goes no further than its own session: its pool is
  // stopped, so it never returns to accept.
  platform::close_socket(l.implicit_socket.exchange(platform::kNoSocket));
  // Plug-ins, and the pools' waiters, stay while any session may still use them.
  if (ended) {
    close_pool(l.plain);
    if (implicit != platform::kNoSocket) close_pool(l.implicit);
    fileservice::unload_plugins();
  }
}

uint16_t ftp_port(int configured) {
  if (configured != 0) return static_cast<uint16_t>(configured);
  uint16_t port = platform::service_port("ftp", "tcp");
  return port != 0 ? port : 21;
}

// The implicit-TLS listener when TLS is usable and [TLS] ImplicitPort is set; a port that
// cannot be opened is reported on standard error and plain FTP goes on.
platform::Socket open_implicit_listener(const CoreState& state) {
  const int port = state.config.tls.implicit_port;
  if (state.tls == nullptr || port == 0) return platform::kNoSocket;
  platform::Socket socket = open_ftp_listener(state.config, static_cast<uint16_t>(port));
  if (socket != platform::kNoSocket) return socket;
  std::fprintf(stderr, "quorsrv: cannot serve implicit TLS on port %d (in use or not allowed)\n", port);
  std::fflush(stderr);
  return platform::kNoSocket;
}

}  // namespace

bool start_server(const std::function<bool()>& ports_open) {
  Listener& l = listener();
  std::lock_guard<std::mutex> guard(l.lock);
  if (l.running) return true;
  CoreState& state = core_state();
  state.config = load_server_config(state.paths.config_file);
  state.passive_port_counter = state.config.passive_port_low;
  if (state.config.port < 0 || state.config.port > 0xFFFF) return false;
  platform::Socket socket = open_ftp_listener(state.config, ftp_port(state.config.port));
  if (socket == platform::kNoSocket) return false;
  if (ports_open && !ports_open()) {
    platform::close_socket(socket);
    return false;
  }
  state.local_addresses = fileservice::build_local_address_slots();
  load_tls_context(state);
  l.implicit_socket = open_implicit_listener(state);
  l.stop_event.reset();
  l.socket = socket;
  if (!l.accept_thread.start([socket] { run_accept_loop(socket); }, kAcceptStack)) {
    l.socket = platform::kNoSocket;
    platform::close_socket(socket);
    platform::close_socket(l.implicit_socket.exchange(platform::kNoSocket));
    return false;
  }
  l.running = true;
  return true;
}

platform::Socket open_ftp_listener(const ServerConfig& config, uint16_t port) {
  return platform::open_listener(config.listen_address, port);
}

void stop_server() {
  Listener& l = listener();
  std::lock_guard<std::mutex> guard(l.lock);
  if (!l.running) return;
  l.stop_event.set();
  l.accept_thread.join();
  platform::close_socket(l.socket.exchange(platform::kNoSocket));
  l.running = false;
}


int count_sessions_with(const std::string Session::*field, const std::string& value) {
  int count = 0;
  for (Session* s : core_state().table.sessions) {
    if (read_field(*s, field) == value) ++count;
  }
  return count;
}

bool idle_expired(uint32_t now, uint32_t last_activity, int idle_minutes) {
  if (idle_minutes <= 0) return false;
  uint32_t idle = now - last_activity;
  return idle > static_cast<uint64_t>(idle_minutes) * kMinuteMs;
}

bool connect_expired(uint32_t now, uint32_t connect_tick, int connect_minutes) {
  if (connect_minutes <= 0) return false;
  uint32_t connected = now - connect_tick;
  return connected > static_cast<uint64_t>(connect_minutes) * kMinuteMs;
}

bool login_expired(uint32_t now, uint32_t connect_tick, int timeout_seconds) {
  if (timeout_seconds <= 0) return false;
  uint32_t connected = now - connect_tick;
  return connected > static_cast<uint64_t>(timeout_seconds) * 1000;
}

uint32_t transfer_rate_bps(uint32_t now, uint32_t start_tick, uint64_t transferred) {
  uint32_t elapsed = now - start_tick;
  uint64_t seconds = elapsed < 1000 ? 1 : elapsed / 1000;
  uint64_t rate = transferred * 8 / seconds;
  return static_cast<uint32_t>(std::min<uint64_t>(rate, std::numeric_limits<uint32_t>::max()));
}

}  // namespace core
