// The admin channel: one TCP connection from the Manager on 127.0.0.1. The Core sends
// fixed 4180-byte event records and reads 8-byte command records.
#include "core/admin_channel.h"

#include <atomic>
#include <mutex>

#include "core/admin_outbox.h"
#include "core/listener.h"
#include "core/logs.h"
#include "core/server.h"
#include "core/startup.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "shared/admin_access.h"
#include "shared/bounded_text.h"

namespace core {
namespace {

// How long the events of a stop (every session's end) may take to reach the Manager
// before its connection is closed.
constexpr int kStopFlushMs = 3000;

struct AdminChannel {
  // The admin-send lock: the order of records in the outbox, and the connection's
  // publication.
  std::mutex send_lock;
  platform::Socket connection = platform::kNoSocket;  // guarded by send_lock
  AdminOutbox outbox;
  // Guards the listener's publication against close_admin_channel.
  std::mutex listener_lock;
  platform::Socket listener = platform::kNoSocket;
  bool closed = false;  // guarded by listener_lock
  platform::Event closed_event{true};
};

AdminChannel& channel() {
  static AdminChannel state;
  return state;
}

// Queues one record for the Manager; the caller holds the admin-send lock. Without a
// Manager the record is dropped.
void send_record_locked(const shared::AdminEvent& event) {
  AdminChannel& ch = channel();
  if (ch.connection == platform::kNoSocket) return;
  ch.outbox.push(shared::encode_event(event));
}

// The numbers of a snapshot: atomics and fields fixed for the session's life.
shared::SessionSnapshot snapshot_numbers(Session& s) {
  shared::SessionSnapshot snap;
  snap.transferring = s.transferring;
  snap.upload = s.upload;
  uint64_t file_size = s.file_size;
  uint64_t restart = s.restart_offset;
  snap.file_size_low = static_cast<uint32_t>(file_size);
  snap.file_size_high = static_cast<uint32_t>(file_size >> 32);
  snap.restart_offset_low = static_cast<uint32_t>(restart);
  snap.restart_offset_high = static_cast<uint32_t>(restart >> 32);
  snap.transferred = static_cast<uint32_t>(s.transferred.load());
  snap.connect_tick = s.connect_tick;
  snap.transfer_start_tick = s.transfer_start_tick;
  snap.last_activity_tick = s.last_activity_tick;
  snap.idle_minutes = static_cast<uint32_t>(s.idle_minutes.load());
  snap.max_per_host = static_cast<uint32_t>(s.max_per_host);
  snap.max_per_user = static_cast<uint32_t>(s.max_per_user);
  snap.save_credit = static_cast<uint32_t>(s.save_credit);
  snap.session_id = s.id;
  snap.security = (s.control_encrypted ? shared::kSecureControl : 0) |
                  (s.protect_data ? shared::kSecureData : 0);
  return snap;
}

// The texts of a snapshot; the caller holds the session's field lock.
void snapshot_texts(Session& s, shared::SessionSnapshot& snap) {
  snap.user_name = s.user_name;
  snap.group_name = s.group_name;
  snap.password = s.password;
  snap.home_directory = s.home_directory;
  snap.current_directory = s.current_directory;
  snap.email = s.email;
  snap.transfer_path = s.transfer_path;
  snap.host_text = s.host_text;
  snap.message = s.message_text;
}

shared::AdminEvent session_event(Session& s, shared::EventType type) {
  shared::AdminEvent event;
  event.session_id = s.id;
  event.type = type;
  event.snapshot = take_snapshot(s);
  return event;
}

// Sends the event; writes a message-log line with the event's message when message
// logging is on and the type is not 0 or 9.
void send_and_log(Session& s, const shared::AdminEvent& event) {
  std::lock_guard<std::mutex> guard(channel().send_lock);
  send_record_locked(event);
  bool logged_type = event.type != shared::kEventConnected && event.type != shared::kEventProgress;
  if (logged_type && core_state().config.log_all_comments) {
    write_message_log(s, event.snapshot.message);
  }
}

// Opens the admin listener on 127.0.0.1; kNoSocket when the port cannot be listened on
// or the channel was closed.
platform::Socket open_listener() {
  AdminChannel& ch = channel();
  int port = read_admin_port(core_state().paths.config_file);
  if (port <= 0 || port > 0xFFFF) return platform::kNoSocket;
  platform::Socket s = platform::open_tcp_socket();
  if (s == platform::kNoSocket) return s;
  if (!platform::bind_ipv4(s, {platform::kLoopbackAddress, static_cast<uint16_t>(port)}, true) ||
      !platform::listen_socket(s, 1)) {
    platform::close_socket(s);
    return platform::kNoSocket;
  }
  std::lock_guard<std::mutex> guard(ch.listener_lock);
  if (ch.closed) {
    platform::close_socket(s);
    return platform::kNoSocket;
  }
  ch.listener = s;
  return s;
}

void forget_listener(platform::Socket s) {
  AdminChannel& ch = channel();
  {
    std::lock_guard<std::mutex> guard(ch.listener_lock);
    ch.listener = platform::kNoSocket;
  }
  platform::close_socket(s);
}

bool channel_closed() {
  std::lock_guard<std::mutex> guard(channel().listener_lock);
  return channel().closed;
}

bool from_loopback(platform::Socket connection, const platform::Ipv4Endpoint& accepted_peer) {
  auto peer = platform::peer_endpoint(connection);
  return peer && peer->address == platform::kLoopbackAddress &&
         accepted_peer.address == platform::kLoopbackAddress;
}

// The channel shows passwords and can stop the server: only a process of the Core's own
// user, of root, or of a member of the service group may be the Manager. The kernel's
// socket table names the owner of the peer's end; an owner that cannot be found is
// refused.
bool from_own_user(platform::Socket connection, const platform::Ipv4Endpoint& accepted_peer) {
  auto local = platform::local_endpoint(connection);
  if (!local) return false;
  auto owner = platform::tcp_connection_owner(local->port, accepted_peer.port);
  return owner && shared::may_manage(*owner, platform::current_user_id());
}

// A connection the Core made to itself (a data connection a client pointed at this port)
// is no Manager, although its owner is the Core's own user.
bool from_core_itself(platform::Socket connection, const platform::Ipv4Endpoint& accepted_peer) {
  auto local = platform::local_endpoint(connection);
  return !local || platform::tcp_peer_is_own_socket(local->port, accepted_peer.port);
}

// Waits for a connection from 127.0.0.1 made by a user that may manage the Core, and not by
// the Core itself; others are closed without a word. kNoSocket when accepting fails (the
// listener was shut down).
platform::Socket accept_manager(platform::Socket listener) {
  while (true) {
    platform::Ipv4Endpoint peer;
    platform::Socket connection = platform::accept_connection(listener, &peer);
    if (connection == platform::kNoSocket) return connection;
    if (from_loopback(connection, peer) && from_own_user(connection, peer) &&
        !from_core_itself(connection, peer)) {
      platform::send_immediately(connection);  // events go out as whole records
      return connection;
    }
    platform::close_socket(connection);
  }
}

// Publishes the connection and sends the snapshot of every live session, all under the
// table lock and the admin-send lock so that no event of a session can come before its
// snapshot. False when the connection cannot be served (no sender thread).
bool start_manager_session(platform::Socket connection) {
  CoreState& state = core_state();
  std::lock_guard<std::mutex> table_guard(state.table.lock);
  std::lock_guard<std::mutex> send_guard(channel().send_lock);
  constexpr size_t kSnapshotEvents = 3;
  size_t snapshot_bytes = state.table.sessions.size() * kSnapshotEvents * shared::kAdminEventSize;
  if (!state.startup_problem.empty()) snapshot_bytes += shared::kAdminEventSize;
  if (!channel().outbox.open(connection, snapshot_bytes)) return false;
  channel().connection = connection;
  for (Session* s : state.table.sessions) {
    send_record_locked(session_event(*s, shared::kEventConnected));
    send_record_locked(session_event(*s, shared::kEventUserAccepted));
    shared::EventType state_type = shared::kEventStatus;
    if (s->transferring) {
      state_type = s->upload ? shared::kEventUploadStarted : shared::kEventDownloadStarted;
    }
    send_record_locked(session_event(*s, state_type));
  }
  if (!state.startup_problem.empty()) {
    shared::AdminEvent problem;
    problem.type = shared::kEventStartupProblem;
    problem.text = state.startup_problem;
    send_record_locked(problem);
  }
  return true;
}

// Forgets the connection; what is still queued may go out for flush_ms.
void end_manager_session(platform::Socket connection, int flush_ms) {
  {
    std::lock_guard<std::mutex> guard(channel().send_lock);
    channel().connection = platform::kNoSocket;
  }
  channel().outbox.close(flush_ms);
  platform::close_socket(connection);
}

// The live session with this id (table lock held), or null.
Session* find_session(uint32_t id) {
  for (Session* s : core_state().table.sessions) {
    if (s->id == id) return s;
  }
  return nullptr;
}

void kick_by_id(uint32_t id) {
  std::lock_guard<std::mutex> guard(core_state().table.lock);
  Session* s = find_session(id);
  if (s && !s->closing) kick_session(*s);
}

void abort_by_id(uint32_t id) {
  std::lock_guard<std::mutex> guard(core_state().table.lock);
  Session* s = find_session(id);
  if (!s || !s->transferring || s->closing) return;
  s->operator_abort = 1;
  s->abort_sleep.set();  // a paced transfer must not sleep out its block first
  shutdown_session_socket(*s, SessionSocket::Data);
  shutdown_session_socket(*s, SessionSocket::PassiveListen);
}

// Reads one whole 8-byte command; false when the connection ended.
bool read_command(platform::Socket connection, shared::AdminCommand& command) {
  shared::AdminCommandBytes bytes{};
  size_t got = 0;
  while (got < bytes.size()) {
    long n = platform::recv_some(connection, bytes.data() + got, bytes.size() - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  command = shared::decode_command(bytes);
  return true;
}

// Carries out the Manager's commands; true when it asked the server to stop.
bool serve_manager(platform::Socket connection) {
  shared::AdminCommand command;
  while (read_command(connection, command)) {
    switch (command.command) {
      case static_cast<uint8_t>(shared::AdminCommandCode::Kick):
        kick_by_id(command.session_id);
        break;
      case static_cast<uint8_t>(shared::AdminCommandCode::AbortTransfer):
        abort_by_id(command.session_id);
        break;
      case static_cast<uint8_t>(shared::AdminCommandCode::StopServer):
        // Sessions still report their end to this Manager while the server stops.
        run_stop_sequence();
        return true;
      default:
        break;
    }
  }
  return false;
}

}  // namespace

void run_admin_channel() {
  while (true) {
    platform::Socket listener = open_listener();
    if (listener == platform::kNoSocket) return;
    platform::Socket connection = accept_manager(listener);
    if (connection == platform::kNoSocket) {
      forget_listener(listener);
      // Closed by the stop control; any other failure (e.g. no descriptors left) is
      // waited out and the port listened on again.
      if (channel_closed()) return;
      channel().closed_event.wait_for(100);
      continue;
    }
    // The connection is published and the snapshot sent before the listener goes away,
    // so a Manager whose next connection attempt is refused knows that every later
    // event reaches it.
    if (!start_manager_session(connection)) {  // no thread to send with: try again later
      forget_listener(listener);
      platform::close_socket(connection);
      if (channel_closed()) return;
      channel().closed_event.wait_for(100);
      continue;
    }
    // A stop that came between accept and publication could not reach this connection.
    if (channel_closed()) platform::shutdown_both(connection);
    forget_listener(listener);
    bool stopped = serve_manager(connection);
    // After a stop the Manager still learns of every session's end.
    end_manager_session(connection, stopped ? kStopFlushMs : 0);
    if (stopped) return;
  }
}

void close_admin_channel() {
  AdminChannel& ch = channel();
  ch.outbox.drain(kStopFlushMs);  // the ends of the sessions the stop has just ended
  {
    std::lock_guard<std::mutex> guard(ch.listener_lock);
    ch.closed = true;
    ch.closed_event.set();
    if (ch.listener != platform::kNoSocket) platform::shutdown_both(ch.listener);
  }
  std::lock_guard<std::mutex> guard(ch.send_lock);
  if (ch.connection != platform::kNoSocket) platform::shutdown_both(ch.connection);
}

void send_event(Session& s, shared::EventType type) {
  shared::AdminEvent event = session_event(s, type);
  std::lock_guard<std::mutex> guard(channel().send_lock);
  send_record_locked(event);
}

void send_event_with_update(Session& s, shared::EventType type) {
  s.last_activity_tick = platform::tick_ms();
  send_and_log(s, session_event(s, type));
}

void report(Session& s, shared::EventType type, std::string_view message) {
  s.last_activity_tick = platform::tick_ms();
  shared::AdminEvent event;
  event.session_id = s.id;
  event.type = type;
  event.snapshot = snapshot_numbers(s);
  std::string text = bounded_message(message);
  {
    // The session thread and the data worker both report: the message and the texts of
    // the snapshot are taken in one hold, so the event carries the message it was sent
    // with.
    std::lock_guard<std::mutex> guard(s.field_lock);
    s.message_text = std::move(text);
    snapshot_texts(s, event.snapshot);
  }
  send_and_log(s, event);
}

void post_text(std::string_view text) {
  shared::AdminEvent event;
  event.type = shared::kEventPluginText;
  event.text = std::string(shared::cut_text(text, shared::kPluginTextMax));
  std::lock_guard<std::mutex> guard(channel().send_lock);
  send_record_locked(event);
}

shared::SessionSnapshot take_snapshot(Session& s) {
  shared::SessionSnapshot snap = snapshot_numbers(s);
  std::lock_guard<std::mutex> guard(s.field_lock);
  snapshot_texts(s, snap);
  return snap;
}

}  // namespace core
