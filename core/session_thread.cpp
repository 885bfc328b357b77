// A session's life on its own thread: start (worker, peer address, refusals, greeting),
// the command loop, and the clean-up that every end of a session goes through.
#include "core/session_thread.h"

#include <algorithm>
#include <exception>

#include "core/accounts.h"
#include "core/admin_channel.h"
#include "core/command_loop.h"
#include "core/config.h"
#include "core/reply.h"
#include "core/messages.h"
#include "core/server.h"
#include "core/session_fault.h"
#include "core/tls_commands.h"
#include "core/transport.h"
#include "fileservice/data_worker.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "shared/bounded_text.h"

namespace core {
namespace {

constexpr size_t kHostNameMax = 254;
constexpr size_t kGreetingBuffer = 2048;
// Texts of a connection whose peer address cannot be read.
constexpr const char* kUnknownPeer = "unknown";

void insert_into_table(Session* s) {
  CoreState& state = core_state();
  std::lock_guard<std::mutex> guard(state.table.lock);
  state.table.sessions.push_back(s);
  ++state.table.live_count;
}

void remove_from_table(Session* s) {
  CoreState& state = core_state();
  std::lock_guard<std::mutex> guard(state.table.lock);
  auto& sessions = state.table.sessions;
  sessions.erase(std::remove(sessions.begin(), sessions.end(), s), sessions.end());
  if (state.table.live_count > 0) --state.table.live_count;
}

size_t sessions_in_table() {
  CoreState& state = core_state();
  std::lock_guard<std::mutex> guard(state.table.lock);
  return state.table.sessions.size();
}

void read_peer(Session& s) {
  std::string address = kUnknownPeer;
  std::string host = kUnknownPeer;
  if (auto peer = platform::peer_endpoint(s.control_socket)) {
    address = platform::format_address(*peer);
    host = address;
    if (core_state().config.ip_to_host) {
      auto name = platform::reverse_lookup(*peer);
      if (name && !name->empty()) host = std::string(shared::cut_text(*name, kHostNameMax));
    }
  }
  std::lock_guard<std::mutex> guard(s.field_lock);
  s.address_text = std::move(address);
  s.host_text = std::move(host);
}

std::string_view message_text(Session& s) {
  return std::string_view(s.view.message, shared::bounded_length(s.view.message, NFD_MESSAGE_SIZE));
}

// Runs a session's started hook once, at the latest when the start is left.
class StartedHook {
 public:
  explicit StartedHook(const std::function<void()>& hook) : hook_(hook) {}
  StartedHook(const StartedHook&) = delete;
  StartedHook& operator=(const StartedHook&) = delete;
  ~StartedHook() { run(); }
  void run() {
    if (ran_) return;
    ran_ = true;
    hook_();
  }

 private:
  const std::function<void()>& hook_;
  bool ran_ = false;
};

// True when the start may wait on something outside the process before the greeting.
bool start_may_wait(const Session& s) {
  return core_state().config.ip_to_host || s.implicit_tls ||
         fileservice::loaded_plugin_count() > 0;
}

// Session start up to the greeting; false when the session is refused.
bool start_session(Session& s, StartedHook& started) {
  if (start_may_wait(s)) started.run();
  read_peer(s);
  if (s.implicit_tls && !start_implicit_tls(s)) return false;
  if (fileservice::plugin_message(s, fileservice::kMessageConnect, 0, nullptr) == 2) {
    send_reply(s, message_text(s));
    return false;
  }
  const CoreState& state = core_state();
  if (refused_by_list(state.paths.config_file, read_field(s, &Session::host_text))) {
    send_reply(s, "421 Sorry.This server can't accept you.\r\n");
    return false;
  }
  write_field(s, &Session::user_name, "UnKnown");
  int max_connect = state.config.max_connect;
  if (max_connect > 0 && sessions_in_table() > static_cast<size_t>(max_connect)) {
    send_reply(s, "530 Too many connect.\r\n");
    return false;
  }
  s.last_activity_tick = platform::tick_ms();
  send_event(s, shared::kEventConnected);
  send_reply(s, slot_reply(s, Slot::Welcome220, kGreetingBuffer));
  return true;
}

// Takes what the client has already sent, so that closing the connection ends it
// cleanly instead of resetting it and losing the reply in flight.
void drain_input(Session& s) {
  char scrap[2048];
  size_t taken = 0;
  while (taken < 64 * 1024) {
    long n = receive_on(s, SessionSocket::Control, scrap, sizeof scrap, 100);
    if (n <= 0) return;
    taken += static_cast<size_t>(n);
  }
}

void send_fault_reply(Session& s, const std::string& reply) {
  try {
    send_bytes(s, reply.data(), reply.size());
  } catch (...) {
    // The session ends either way.
  }
  drain_input(s);
}

void serve(Session& s, const std::function<void()>& started) {
  try {
    bool greeted = false;
    {
      StartedHook hook(started);
      greeted = start_session(s, hook);
    }
    if (greeted) run_command_loop(s);
  } catch (const SessionFault& fault) {
    send_fault_reply(s, fault.reply);
  } catch (const std::exception&) {
    send_fault_reply(s, kInternalServerError);
  }
}

void clean_up(Session& s) {
  s.closing = 1;
  fileservice::stop_worker(s);
  // Out of the table before the disconnection is reported: a Manager that connects now
  // never receives the snapshot of a session whose end it has already been told.
  remove_from_table(&s);
  try {
    report(s, shared::kEventDisconnected, "切断しました。");
    if (s.login_state == kLoggedIn) save_at_logout(s);
  } catch (...) {
    // A fault while ending changes nothing: the session is over.
  }
  try {
    fileservice::plugin_socket(s, fileservice::kSocketSessionEnd, nullptr);
    fileservice::plugin_message(s, fileservice::kMessageEnd, 0, nullptr);
  } catch (...) {
  }
  // Last: the client sees its connection closed only once the session is over.
  close_session_socket(s, SessionSocket::Control);
}

}  // namespace

void run_session(Session* s, const std::function<void()>& started) {
  insert_into_table(s);
  s->idle_minutes = 1;
  s->view.session_id = s->id;
  s->view.login_state = kConnected;
  serve(*s, started);
  clean_up(*s);
  delete s;
}

}  // namespace core
