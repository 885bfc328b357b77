#include "manager/notify/smtp_client.h"

#include "platform/socket.h"

namespace manager {
namespace {

constexpr size_t kStatusBytes = 255;  // a status text field holds 256 bytes with its end

// The first max bytes of text, not splitting a UTF-8 character.
std::string cut_utf8(const std::string& text, size_t max) {
  if (text.size() <= max) return text;
  size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string server_error(const std::string& reply) {
  const std::string head = "SMTPサーバーがエラーを返しました。[";
  return head + cut_utf8(reply, kStatusBytes - head.size() - 1) + "]";
}

SmtpOutcome failed(const std::string& text) { return {false, cut_utf8(text, kStatusBytes)}; }

class Connection {
 public:
  Connection(CancelEvent& cancel, int bound) : cancel_(cancel), bound_(bound) {}
  ~Connection() { platform::close_socket(s_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool open() { return (s_ = platform::open_tcp_socket()) != platform::kNoSocket; }
  bool connect(uint32_t address, uint16_t port) {
    return cancellable_connect(s_, {address, port}, cancel_);
  }
  bool send(const std::string& text) {
    return cancellable_send(s_, text.data(), text.size(), cancel_) == text.size();
  }
  std::optional<std::string> reply() { return read_smtp_reply(s_, cancel_, bound_); }
  // Sends command and reads its reply; the failure text when the reply does not start
  // with the expected code.
  std::optional<std::string> step(const std::string& command, const char* expected) {
    if (!send(command)) return std::string("メッセージ送信エラー");
    const std::optional<std::string> answer = reply();
    if (!answer) return std::string("応答を受信できません。");
    if (answer->compare(0, 3, expected) != 0) return server_error(*answer);
    return std::nullopt;
  }

 private:
  CancelEvent& cancel_;
  int bound_;
  platform::Socket s_ = platform::kNoSocket;
};

std::optional<uint32_t> host_address(const std::string& host) {
  if (host.empty()) return std::nullopt;
  if (auto dotted = platform::parse_ipv4(host)) return dotted;
  return platform::resolve_host_ipv4(host);
}

// HELO to the end of the data; the failure text, or none when the server took the mail.
std::optional<std::string> transfer_mail(Connection& c, const SmtpMail& mail) {
  if (auto e = c.step("HELO " + mail.server + "\r\n", "250")) return e;
  if (auto e = c.step("MAIL FROM:<" + mail.sender + ">\r\n", "250")) return e;
  if (auto e = c.step("RCPT TO:<" + mail.recipient + ">\r\n", "250")) return e;
  if (auto e = c.step("DATA\r\n", "354")) return e;
  if (!c.send("Subject: " + mail.subject + "\r\n\r\n")) return std::string("メッセージ送信エラー");
  if (!mail.body.empty() && !c.send(mail.body)) return std::string("メッセージ送信エラー");
  return c.step("\r\n.\r\n", "250");
}

}  // namespace

bool breaks_command_line(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::optional<std::string> read_smtp_reply(platform::Socket s, CancelEvent& cancel,
                                           int receive_bound_ms) {
  std::string text;
  char buffer[1024];
  for (;;) {
    const size_t n = cancellable_receive(s, buffer, sizeof buffer, cancel, receive_bound_ms);
    if (n == 0) return std::nullopt;
    text.append(buffer, n);
    if (n != sizeof buffer) return text;
  }
}

SmtpOutcome send_smtp_mail(const SmtpMail& mail, CancelEvent& cancel, uint16_t port,
                           int receive_bound_ms) {
  if (breaks_command_line(mail.server) || breaks_command_line(mail.sender) ||
      breaks_command_line(mail.recipient) || breaks_command_line(mail.subject))
    return failed(kLineBreakRefusal);
  const std::optional<uint32_t> address = host_address(mail.server);
  Connection c(cancel, receive_bound_ms);
  if (!address || !c.open()) return failed("ソケットエラーです。");
  if (!c.connect(*address, port)) return failed("[" + mail.server + "]に接続できません。");
  const std::optional<std::string> greeting = c.reply();
  if (!greeting) return failed("応答を受信できません。");
  if (greeting->compare(0, 3, "220") != 0) return failed("SMTPサーバーがエラーを返しました。");
  if (auto error = transfer_mail(c, mail)) return failed(*error);
  if (c.send("QUIT\r\n")) c.reply();  // the mail is taken whatever QUIT gets
  return {true,
          cut_utf8("アドレス " + mail.recipient + " に、メールを送信しました。", kStatusBytes)};
}

}  // namespace manager
