#include "manager/notify/ftp_upload.h"

#include <cstdlib>
#include <string_view>

#include "platform/files.h"

namespace manager {
namespace {

// A socket closed when the upload leaves the step that owns it.
class OwnedSocket {
 public:
  explicit OwnedSocket(platform::Socket s = platform::kNoSocket) : s_(s) {}
  ~OwnedSocket() { close(); }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;
  platform::Socket get() const { return s_; }
  bool valid() const { return s_ != platform::kNoSocket; }
  void reset(platform::Socket s) {
    close();
    s_ = s;
  }
  void close() {
    platform::close_socket(s_);
    s_ = platform::kNoSocket;
  }

 private:
  platform::Socket s_;
};

struct Dialogue {
  platform::Socket control;
  CancelEvent& cancel;
  int bound;
};

bool has_line_break(std::string_view text) {
  return text.find_first_of("\r\n", 0) != std::string_view::npos;
}

// One command line; an argument that would start a second command is never sent.
bool send_command(const Dialogue& d, const std::string& verb, const std::string& argument) {
  if (has_line_break(argument)) return false;
  const std::string line = verb + argument + "\r\n";
  return cancellable_send(d.control, line.data(), line.size(), d.cancel) != 0;
}

std::optional<uint32_t> host_address(const std::string& host) {
  if (host.empty()) return std::nullopt;
  if (auto dotted = platform::parse_ipv4(host)) return dotted;
  return platform::resolve_host_ipv4(host);
}

std::string port_argument(uint32_t address, uint16_t port) {
  return std::to_string((address >> 24) & 0xFF) + "," + std::to_string((address >> 16) & 0xFF) +
         "," + std::to_string((address >> 8) & 0xFF) + "," + std::to_string(address & 0xFF) + "," +
         std::to_string(port >> 8) + "," + std::to_string(port & 0xFF);
}

// Opens a listener on any address and a port the system picks.
platform::Socket open_data_listener() {
  platform::Socket s = platform::open_tcp_socket();
  if (s == platform::kNoSocket) return s;
  if (!platform::bind_ipv4(s, {platform::kAnyAddress, 0}, false) ||
      !platform::listen_socket(s, 1)) {
    platform::close_socket(s);
    return platform::kNoSocket;
  }
  return s;
}

// Sends the file in blocks of 1024 bytes; false when a block could not be sent.
bool send_file_blocks(platform::File& file, platform::Socket data, CancelEvent& cancel) {
  char block[1024];
  for (;;) {
    const long n = file.read(block, sizeof block);
    if (n > 0 && cancellable_send(data, block, static_cast<size_t>(n), cancel) == 0) return false;
    if (n < static_cast<long>(sizeof block)) return true;
  }
}

}  // namespace

std::optional<int> read_ftp_reply(platform::Socket control, CancelEvent& cancel,
                                  int receive_bound_ms, std::string* first_piece) {
  char buffer[1024];
  size_t n = cancellable_receive(control, buffer, sizeof buffer, cancel, receive_bound_ms);
  if (n < 3) return std::nullopt;
  if (first_piece) first_piece->assign(buffer, n);
  const std::string code_text(buffer, 3);
  const int code = std::atoi(code_text.c_str());
  const std::string last_line_mark = code_text + " ";
  while (std::string_view(buffer, n).find(last_line_mark) == std::string_view::npos) {
    n = cancellable_receive(control, buffer, sizeof buffer, cancel, receive_bound_ms);
    if (n == 0) break;
  }
  return code;
}

std::optional<uint16_t> passive_port(std::string_view reply) {
  const size_t open = reply.find('(');
  const size_t close = reply.find(')', open == std::string_view::npos ? 0 : open);
  if (open == std::string_view::npos || close == std::string_view::npos) return std::nullopt;
  int numbers[6];
  size_t at = open + 1;
  for (int i = 0; i < 6; ++i) {
    int value = 0;
    size_t digits = 0;
    while (at < close && reply[at] >= '0' && reply[at] <= '9' && digits < 3) {
      value = value * 10 + (reply[at++] - '0');
      ++digits;
    }
    if (digits == 0 || value > 255) return std::nullopt;
    numbers[i] = value;
    if (i < 5 && (at >= close || reply[at++] != ',')) return std::nullopt;
  }
  if (at != close) return std::nullopt;
  const uint16_t port = static_cast<uint16_t>(numbers[4] * 256 + numbers[5]);
  if (port == 0) return std::nullopt;
  return port;
}

namespace {

using Failure = std::optional<std::string>;

Failure log_in(const Dialogue& d, const NoticeRequest& request) {
  std::optional<int> code = read_ftp_reply(d.control, d.cancel, d.bound);
  if (!code) return "応答を受信できません。";
  if (*code > 299) return "正しく接続できません。";
  if (!send_command(d, "USER ", request.user)) return "メッセージ送信エラー";
  if (!(code = read_ftp_reply(d.control, d.cancel, d.bound))) return "応答を受信できません。";
  if (*code >= 400) return "IDは拒否されました。";
  // PASS goes out whatever positive reply USER got.
  if (!send_command(d, "PASS ", request.password)) return "メッセージ送信エラー";
  if (!(code = read_ftp_reply(d.control, d.cancel, d.bound))) return "応答を受信できません";
  if (*code >= 401) return "パスワードは受理されませんでした。";
  return std::nullopt;
}

// TYPE I: the notice goes byte for byte (a server that stores ASCII transfers in its own
// line ends would otherwise change them).
Failure binary_type(const Dialogue& d) {
  if (!send_command(d, "TYPE ", "I")) return "メッセージ送信エラー";
  std::optional<int> code = read_ftp_reply(d.control, d.cancel, d.bound);
  if (!code) return "応答を受信できません。";
  if (*code > 299) return "TYPEコマンド受け付けられません。";
  return std::nullopt;
}

// PORT: a listener of ours that the server connects to after STOR.
Failure open_active(const Dialogue& d, OwnedSocket& listener) {
  listener.reset(open_data_listener());
  if (!listener.valid()) return "ソケットエラーです。";
  const auto listen_end = platform::local_endpoint(listener.get());
  const auto control_end = platform::local_endpoint(d.control);
  if (!listen_end || !control_end) return "ソケットエラーです。";
  if (!send_command(d, "PORT ", port_argument(control_end->address, listen_end->port)))
    return "メッセージ送信エラー";
  std::optional<int> code = read_ftp_reply(d.control, d.cancel, d.bound);
  if (!code) return "応答を受信できません。";
  if (*code > 299) return "PORTコマンド受け付けられません。";
  return std::nullopt;
}

// PASV: we connect to the port the server names, at the address of the control
// connection (an address in the reply could point anywhere).
Failure open_passive(const Dialogue& d, OwnedSocket& data) {
  if (!send_command(d, "PASV", "")) return "メッセージ送信エラー";
  std::string reply;
  std::optional<int> code = read_ftp_reply(d.control, d.cancel, d.bound, &reply);
  if (!code) return "応答を受信できません。";
  const std::optional<uint16_t> port = passive_port(reply);
  if (*code != 227 || !port) return "PASVコマンド受け付けられません。";
  const auto server = platform::peer_endpoint(d.control);
  data.reset(platform::open_tcp_socket());
  if (!server || !data.valid()) return "ソケットエラーです。";
  if (!cancellable_connect(data.get(), {server->address, *port}, d.cancel, d.bound))
    return "データ接続できません。";
  return std::nullopt;
}

// TYPE I, PORT or PASV, STOR, the file on the data connection and the final reply.
Failure store(const Dialogue& d, const NoticeRequest& request) {
  if (Failure failure = binary_type(d)) return failure;
  OwnedSocket listener;
  OwnedSocket data;
  if (Failure failure = request.passive ? open_passive(d, data) : open_active(d, listener))
    return failure;

  platform::File file = platform::File::open_read(request.local_path);
  if (!file.is_open()) return "ファイル" + request.local_path + "が開けません。";
  if (!send_command(d, "STOR ", request.remote_name)) return "STORメッセージ送信エラー";
  std::optional<int> code = read_ftp_reply(d.control, d.cancel, d.bound);
  if (!code) return "応答を受信できません。";
  if (*code > 299) return "STORコマンド受理されません。";

  // The server connects back; the wait for it has the same bound as a reply.
  if (!request.passive) data.reset(cancellable_accept(listener.get(), d.cancel, d.bound));
  listener.close();
  if (!data.valid() || !send_file_blocks(file, data.get(), d.cancel))
    return "ファイル送信中にエラーが発生しました。";
  file.close();
  data.close();
  if (!(code = read_ftp_reply(d.control, d.cancel, d.bound))) return "応答を受信できません。";
  if (*code > 299) return "正常に送信できませんでした。";
  return std::nullopt;
}

}  // namespace

bool upload_notice(const NoticeRequest& request, CancelEvent& cancel, const StatusSink& status,
                   int receive_bound_ms) {
  auto fail = [&status](const std::string& text) {
    status(text);
    return false;
  };
  status("サーバー" + request.host + "に接続します。");
  const std::optional<uint32_t> address = host_address(request.host);
  if (!address) return fail("ソケットエラーです。");
  OwnedSocket control(platform::open_tcp_socket());
  if (!control.valid()) return fail("ソケットエラーです。");
  status("ログインします。");
  const platform::Ipv4Endpoint remote{*address, static_cast<uint16_t>(request.port & 0xFFFF)};
  if (!cancellable_connect(control.get(), remote, cancel))
    return fail("[" + request.host + "]に接続できません。");
  const Dialogue d{control.get(), cancel, receive_bound_ms};
  if (Failure failure = log_in(d, request)) return fail(*failure);
  status("ログインしました。ファイルを送信します。");
  if (Failure failure = store(d, request)) return fail(*failure);
  control.close();  // no QUIT: the control connection is simply closed
  status("ファイルを正常に送信しました。");
  return true;
}

}  // namespace manager
