#include "core/transport.h"

namespace core {
namespace {

// A finished transfer's close_notify goes into an emptied send buffer; the bound only
// matters for a peer that stopped reading.
constexpr int kCloseNotifyMs = 2000;

platform::TlsStream* stream_of(Session& s, SessionSocket which) {
  switch (which) {
    case SessionSocket::Control:
      return s.control_encrypted.load(std::memory_order_acquire) ? s.control_tls.get() : nullptr;
    case SessionSocket::Data: return s.data_tls.get();
    case SessionSocket::PassiveListen: break;
  }
  return nullptr;
}

platform::Socket socket_of(Session& s, SessionSocket which) {
  return which == SessionSocket::Control ? s.control_socket.load() : s.data_socket.load();
}

}  // namespace

bool encrypted(Session& s, SessionSocket which) { return stream_of(s, which) != nullptr; }

bool plain_socket(Session& s, SessionSocket which) { return !encrypted(s, which); }

platform::Socket hook_socket(Session& s, SessionSocket which) {
  return encrypted(s, which) ? platform::kNoSocket : socket_of(s, which);
}

size_t send_on(Session& s, SessionSocket which, const void* data, size_t size) {
  if (platform::TlsStream* tls = stream_of(s, which)) return tls->send_all(data, size);
  return platform::send_all(socket_of(s, which), data, size);
}

long receive_on(Session& s, SessionSocket which, void* buffer, size_t size, int timeout_ms) {
  if (platform::TlsStream* tls = stream_of(s, which)) {
    return tls->recv_some_timeout(buffer, size, timeout_ms);
  }
  platform::Socket socket = socket_of(s, which);
  if (timeout_ms < 0) return platform::recv_some(socket, buffer, size);
  return platform::recv_some_timeout(socket, buffer, size, timeout_ms);
}

size_t send_on(Session& s, SessionSocket which, platform::Socket hooked, const void* data,
               size_t size) {
  if (platform::TlsStream* tls = stream_of(s, which)) return tls->send_all(data, size);
  return platform::send_all(hooked, data, size);
}

long receive_on(Session& s, SessionSocket which, platform::Socket hooked, void* buffer,
                size_t size) {
  if (platform::TlsStream* tls = stream_of(s, which)) return tls->recv_some(buffer, size);
  return platform::recv_some(hooked, buffer, size);
}

void attach_stream(Session& s, SessionSocket which, std::unique_ptr<platform::TlsStream> stream) {
  if (which == SessionSocket::Data) {
    s.data_tls = std::move(stream);
    return;
  }
  s.control_tls = std::move(stream);
  s.control_encrypted.store(s.control_tls != nullptr, std::memory_order_release);
}

void end_stream(Session& s, SessionSocket which) {
  std::unique_ptr<platform::TlsStream>* owner = nullptr;
  if (which == SessionSocket::Data) owner = &s.data_tls;
  if (which == SessionSocket::Control) owner = &s.control_tls;
  if (owner == nullptr || *owner == nullptr) return;
  (*owner)->close_notify(kCloseNotifyMs);
  if (which == SessionSocket::Control) s.control_encrypted.store(false, std::memory_order_release);
  owner->reset();
}

}  // namespace core
