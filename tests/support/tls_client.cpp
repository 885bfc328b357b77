#include "tests/support/tls_client.h"

#include <cctype>
#include <cstdio>

#include "tests/support/harness.h"

namespace harness {
namespace {

// Length of the first complete reply in text (0 when none): a line "ddd " ends it.
size_t complete_reply(const std::string& text) {
  size_t start = 0;
  while (true) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) return 0;
    if (end - start >= 4 && text[start + 3] == ' ' && std::isdigit(static_cast<unsigned char>(text[start]))) {
      return end + 2;
    }
    start = end + 2;
  }
}

}  // namespace

std::string test_certificate() { return std::string(TEST_SOURCE_DIR) + "/tests/support/tls/cert.pem"; }
std::string test_private_key() { return std::string(TEST_SOURCE_DIR) + "/tests/support/tls/key.pem"; }

TlsFtpClient::TlsFtpClient() : context_(platform::TlsContext::client()) {}

TlsFtpClient::~TlsFtpClient() {
  control_.reset();
  platform::close_socket(socket_);
}

bool TlsFtpClient::connect(uint16_t port) {
  socket_ = platform::open_tcp_socket();
  return platform::connect_ipv4(socket_, {platform::kLoopbackAddress, port}, scaled_ms(5000));
}

bool TlsFtpClient::start_tls() {
  control_ = platform::TlsStream::connect(*context_, socket_, nullptr, scaled_ms(5000), nullptr);
  return control_ != nullptr;
}

bool TlsFtpClient::secure(bool protect_data) {
  if (reply().rfind("220", 0) != 0) return false;
  if (command("AUTH TLS").rfind("234", 0) != 0 || !start_tls()) return false;
  if (command("PBSZ 0") != "200 PBSZ=0\r\n") return false;
  return !protect_data || command("PROT P").rfind("200", 0) == 0;
}

bool TlsFtpClient::secure_login(uint16_t port, const std::string& user) {
  return connect(port) && secure() && login(user, user);
}

bool TlsFtpClient::login(const std::string& user, const std::string& password) {
  std::string answer = command("USER " + user);
  if (answer.rfind("331", 0) == 0) answer = command("PASS " + password);
  return answer.rfind("230", 0) == 0;
}

void TlsFtpClient::send_line(std::string_view line) {
  std::string bytes = std::string(line) + "\r\n";
  if (control_) {
    control_->send_all(bytes.data(), bytes.size());
  } else {
    platform::send_all(socket_, bytes.data(), bytes.size());
  }
}

void TlsFtpClient::send_raw(std::string_view bytes) {
  platform::send_all(socket_, bytes.data(), bytes.size());
}

long TlsFtpClient::receive(char* buffer, size_t size, int timeout_ms) {
  if (control_) return control_->recv_some_timeout(buffer, size, timeout_ms);
  return platform::recv_some_timeout(socket_, buffer, size, timeout_ms);
}

std::string TlsFtpClient::reply(int timeout_ms) {
  char buffer[4096];
  while (true) {
    if (size_t length = complete_reply(pending_)) {
      std::string one = pending_.substr(0, length);
      pending_.erase(0, length);
      return one;
    }
    long n = receive(buffer, sizeof buffer, scaled_ms(timeout_ms));
    if (n <= 0) return "";
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

std::string TlsFtpClient::command(std::string_view line, int timeout_ms) {
  send_line(line);
  return reply(timeout_ms);
}

bool TlsFtpClient::wait_closed(int timeout_ms) {
  char buffer[4096];
  while (true) {
    long n = receive(buffer, sizeof buffer, scaled_ms(timeout_ms));
    if (n == -2) return false;
    if (n <= 0) return true;
  }
}

std::optional<TlsFtpClient::Data> TlsFtpClient::open_data(std::string_view command, DataTls mode,
                                                          std::string* replies) {
  std::string answer = this->command("PASV");
  unsigned h1, h2, h3, h4, p1, p2;
  size_t open = answer.find('(');
  if (open == std::string::npos ||
      std::sscanf(answer.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6) {
    if (replies) *replies = answer;
    return std::nullopt;
  }
  Data data;
  data.socket = platform::open_tcp_socket();
  uint16_t port = static_cast<uint16_t>(p1 * 256 + p2);
  if (!platform::connect_ipv4(data.socket, {platform::kLoopbackAddress, port}, scaled_ms(5000))) {
    platform::close_socket(data.socket);
    return std::nullopt;
  }
  answer = this->command(command);
  if (replies) *replies = answer;
  if (answer.rfind("150", 0) != 0) {
    platform::close_socket(data.socket);
    return std::nullopt;
  }
  if (mode != DataTls::Clear) {
    const platform::TlsStream* resume = mode == DataTls::Resumed ? control_.get() : nullptr;
    data.tls = platform::TlsStream::connect(*context_, data.socket, resume, scaled_ms(5000), nullptr);
  }
  return data;
}

std::optional<std::string> TlsFtpClient::download(std::string_view command, DataTls mode,
                                                  std::string* replies) {
  std::string first;
  std::optional<Data> data = open_data(command, mode, &first);
  if (replies) *replies = first;
  if (!data) return std::nullopt;
  std::string content;
  char buffer[65536];
  bool readable = mode == DataTls::Clear || data->tls != nullptr;
  while (readable) {
    long n = data->tls ? data->tls->recv_some_timeout(buffer, sizeof buffer, scaled_ms(10000))
                       : platform::recv_some_timeout(data->socket, buffer, sizeof buffer,
                                                     scaled_ms(10000));
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  // Without its close_notify the client's TLS library takes the shared session for a
  // broken one and would not offer it again.
  if (data->tls) data->tls->close_notify(scaled_ms(2000));
  data->tls.reset();
  platform::close_socket(data->socket);
  std::string closing = reply(10000);
  if (replies) *replies += closing;
  if (closing.rfind("226", 0) != 0) return std::nullopt;
  return content;
}

bool TlsFtpClient::upload(std::string_view command, std::string_view bytes, DataTls mode,
                          std::string* replies) {
  std::string first;
  std::optional<Data> data = open_data(command, mode, &first);
  if (replies) *replies = first;
  if (!data) return false;
  if (data->tls) {
    data->tls->send_all(bytes.data(), bytes.size());
    data->tls->close_notify(scaled_ms(2000));
    // Closing with bytes of the server unread would reset the connection and could
    // discard the upload's tail on the server's side: wait for its close first.
    char scrap[4096];
    while (data->tls->recv_some_timeout(scrap, sizeof scrap, scaled_ms(5000)) > 0) {
    }
  } else if (mode == DataTls::Clear) {
    platform::send_all(data->socket, bytes.data(), bytes.size());
  }
  data->tls.reset();
  platform::close_socket(data->socket);
  std::string closing = reply(10000);
  if (replies) *replies += closing;
  return closing.rfind("226", 0) == 0;
}

}  // namespace harness
