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
                                  int receive_bound_ms) {
  char buffer[1024];
  size_t n = cancellable_receive(control, buffer, sizeof buffer, cancel, receive_bound_ms);
  if (n < 3) return std::nullopt;
  const std::string code_text(buffer, 3);
  const int code = std::atoi(code_text.c_str());
  const std::string last_line_mark = code_text + " ";
  while (std::string_view(buffer, n).find(last_line_mark) == std::string_view::npos) {
    n = cancellable_receive(control, buffer, sizeof buffer, cancel, receive_bound_ms);
    if (n == 0) break;
  }
  return code;
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

// PORT, STOR, the file on the data connection and the final reply.
Failure store(const Dialogue& d, const NoticeRequest& request) {
  OwnedSocket listener(open_data_listener());
  if (!listener.valid()) return "ソケットエラーです。";
  const auto listen_end = platform::local_endpoint(listener.get());
  const auto control_end = platform::local_endpoint(d.control);
  if (!listen_end || !control_end) return "ソケットエラーです。";
  if (!send_command(d, "PORT ", port_argument(control_end->address, listen_end->port)))
    return "メッセージ送信エラー";
  std::optional<int> code = read_ftp_reply(d.control, d.cancel, d.bound);
  if (!code) return "応答を受信できません。";
  if (*code > 299) return "PORTコマンド受け付けられません。";

  platform::File file = platform::File::open_read(request.local_path);
  if (!file.is_open()) return "ファイル" + request.local_path + "が開けません。";
  if (!send_command(d, "STOR ", request.remote_name)) return "STORメッセージ送信エラー";
  if (!(code = read_ftp_reply(d.control, d.cancel, d.bound))) return "応答を受信できません。";
  if (*code > 299) return "STORコマンド受理されません。";

  // The server connects back; the wait for it has the same bound as a reply.
  OwnedSocket data(cancellable_accept(listener.get(), d.cancel, d.bound));
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
