// An FTP client for the TLS tests: a control connection that can switch to TLS (after
// AUTH, or at once for the implicit port) and passive data connections that may or may
// not resume the control connection's TLS session.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/tls.h"

namespace harness {

// The test key pair (self-signed, CN localhost) in the source tree.
std::string test_certificate();
std::string test_private_key();

enum class DataTls { Clear, Resumed, Fresh };

class TlsFtpClient {
 public:
  TlsFtpClient();
  ~TlsFtpClient();

  bool connect(uint16_t port);
  bool start_tls();  // the handshake on the control connection
  // The greeting, AUTH TLS with its handshake, PBSZ 0, PROT P; true when all succeeded.
  bool secure(bool protect_data = true);
  bool login(const std::string& user, const std::string& password);
  // connect, secure() and a login whose password is the user name.
  bool secure_login(uint16_t port, const std::string& user);
  void send_line(std::string_view line);  // appends CR LF; through TLS once started
  void send_raw(std::string_view bytes);  // on the socket, never through TLS
  std::string reply(int timeout_ms = 5000);  // one whole reply; "" on time-out or close
  std::string command(std::string_view line, int timeout_ms = 5000);
  bool wait_closed(int timeout_ms = 5000);

  // PASV, connect, the command, then (after the 150) the data handshake as asked.
  // replies receives every reply of the exchange.
  std::optional<std::string> download(std::string_view command, DataTls mode,
                                      std::string* replies = nullptr);
  bool upload(std::string_view command, std::string_view data, DataTls mode,
              std::string* replies = nullptr);

  // The data connection after its 150 (and handshake); none when it failed.
  struct Data {
    platform::Socket socket = platform::kNoSocket;
    std::unique_ptr<platform::TlsStream> tls;
  };
  std::optional<Data> open_data(std::string_view command, DataTls mode, std::string* replies);

  platform::Socket socket() const { return socket_; }

 private:
  long receive(char* buffer, size_t size, int timeout_ms);

  std::unique_ptr<platform::TlsContext> context_;
  platform::Socket socket_ = platform::kNoSocket;
  std::unique_ptr<platform::TlsStream> control_;
  std::string pending_;
};

}  // namespace harness
