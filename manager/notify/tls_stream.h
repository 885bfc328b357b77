// A TLS client stream over a connected socket, for STARTTLS: the handshake and then
// encrypted sends and receives. Every wait is bounded and watches the cancel event.
#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "manager/shell/cancellable_io.h"

class QSslSocket;

namespace manager {

struct TlsOptions {
  std::string peer_name;  // the name the certificate must carry (host name or address)
  bool verify = true;     // false: encrypt without checking who answers
  std::string ca_file;    // extra trusted certificates (PEM); empty: the system's only
};

class TlsStream {
 public:
  // Takes over s: the stream closes it.
  TlsStream(platform::Socket s, CancelEvent& cancel, int receive_bound_ms);
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // None when the connection is encrypted; otherwise why not.
  std::optional<std::string> handshake(const TlsOptions& options);
  bool send(const std::string& text);
  // Bytes received (at most size); 0 on failure, end of stream, time-out or cancel.
  size_t receive(char* buffer, size_t size);

 private:
  platform::Socket fd_;
  CancelEvent& cancel_;
  int bound_;
  std::unique_ptr<QSslSocket> socket_;
};

}  // namespace manager
