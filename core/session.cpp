// Session fields that other threads read, and the closing of a session's sockets.
#include "core/session.h"

#include "core/transport.h"
#include "shared/bounded_text.h"

namespace core {
namespace {

std::atomic<platform::Socket>& socket_of(Session& s, SessionSocket which) {
  switch (which) {
    case SessionSocket::Data: return s.data_socket;
    case SessionSocket::PassiveListen: return s.passive_listen_socket;
    case SessionSocket::Control: break;
  }
  return s.control_socket;
}

}  // namespace

std::string read_field(Session& s, const std::string Session::*field) {
  std::lock_guard<std::mutex> guard(s.field_lock);
  return s.*field;
}

void write_field(Session& s, std::string Session::*field, std::string value) {
  std::lock_guard<std::mutex> guard(s.field_lock);
  s.*field = std::move(value);
}

std::string bounded_message(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return std::string(shared::cut_text(text, NFD_MESSAGE_SIZE - 1));
}

void set_message(Session& s, std::string_view text) {
  std::string value = bounded_message(text);
  std::lock_guard<std::mutex> guard(s.field_lock);
  s.message_text = std::move(value);
}

std::string read_message(Session& s) { return read_field(s, &Session::message_text); }

void close_session_socket(Session& s, SessionSocket which) {
  end_stream(s, which);
  std::lock_guard<std::mutex> guard(s.socket_lock);
  platform::Socket socket = socket_of(s, which).exchange(platform::kNoSocket);
  if (socket == platform::kNoSocket) return;
  platform::shutdown_both(socket);
  platform::close_socket(socket);
}

void shutdown_session_socket(Session& s, SessionSocket which) {
  // The lock keeps the owner from closing (and the system from reusing) the descriptor
  // between the load and the shutdown.
  std::lock_guard<std::mutex> guard(s.socket_lock);
  platform::Socket socket = socket_of(s, which).load();
  if (socket != platform::kNoSocket) platform::shutdown_both(socket);
}

void kick_session(Session& s) {
  if (s.closing.exchange(1) != 0) return;
  s.ending.set();
  shutdown_session_socket(s, SessionSocket::PassiveListen);
  shutdown_session_socket(s, SessionSocket::Data);
  shutdown_session_socket(s, SessionSocket::Control);
}

}  // namespace core
