// TLS 1.2 and 1.3 streams over connected sockets. OpenSSL stays behind this header.
//
// A stream switches its socket to non-blocking mode and waits in poll() with no lock
// held, so one thread may receive while another sends on the same stream (the control
// connection: the session thread reads commands while the data worker sends replies).
// Like the plain socket calls, every wait ends as soon as another thread shuts the
// socket down: shutdown_both() breaks a handshake, a receive or a send.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/socket.h"

namespace platform {

class TlsContext {
 public:
  // A server context with a PEM certificate chain and its PEM private key; none when
  // either cannot be read or they do not belong together (*error then names the file and
  // the reason). TLS 1.2 and 1.3 only, forward-secret ciphers, no compression, no
  // renegotiation; sessions can be resumed from the session cache and from tickets.
  static std::unique_ptr<TlsContext> server(const std::string& certificate_file,
                                            const std::string& key_file, std::string* error);
  // A client context that checks no certificate (tests and loopback peers only).
  // max_version_12 limits the client to TLS 1.2.
  static std::unique_ptr<TlsContext> client(bool max_version_12 = false);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  void* native() const { return context_; }

 private:
  explicit TlsContext(void* context) : context_(context) {}
  void* context_;
};

class TlsStream {
 public:
  // The server side of a handshake on a connected socket. owner is stamped into the
  // session (and its tickets) this stream makes, so that a connection that resumes it can
  // tell whose session it resumed. timeout_ms bounds the whole handshake (< 0: none).
  // None on failure, with the reason in *error.
  static std::unique_ptr<TlsStream> accept(TlsContext& context, Socket socket, uint32_t owner,
                                           int timeout_ms, std::string* error);
  // The client side; resume_from offers the session of another stream for resumption.
  static std::unique_ptr<TlsStream> connect(TlsContext& context, Socket socket,
                                            const TlsStream* resume_from, int timeout_ms,
                                            std::string* error);
  ~TlsStream();  // frees the TLS state; the socket stays open
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // Sends until every byte is out or the connection fails; returns the bytes sent.
  size_t send_all(const void* data, size_t size);
  // One receive: bytes received, 0 when the peer closed (with or without close_notify),
  // -1 on error.
  long recv_some(void* buffer, size_t size);
  // Same with a time limit; -2 when nothing came within timeout_ms.
  long recv_some_timeout(void* buffer, size_t size, int timeout_ms);
  // Sends close_notify, waiting at most timeout_ms for the socket to take it.
  void close_notify(int timeout_ms);

  // True when the handshake resumed an earlier session.
  bool resumed() const;
  // The owner stamped into the resumed session; none when nothing was resumed or the
  // session carries no stamp.
  std::optional<uint32_t> resumed_owner() const;
  std::string version() const;  // "TLSv1.3"
  Socket socket() const { return socket_; }

 private:
  TlsStream(void* ssl, Socket socket, uint32_t owner);
  // Runs one OpenSSL call under the lock until it completes, fails or (timeout_ms >= 0)
  // the socket stays unready that long. Returns the call's result (> 0 done).
  template <typename Call>
  int run(Call call, int timeout_ms);

  void* ssl_;
  Socket socket_;
  uint32_t owner_;
  std::mutex lock_;
};

}  // namespace platform
