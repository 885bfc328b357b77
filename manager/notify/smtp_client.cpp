#include "manager/notify/smtp_client.h"

#include <QByteArray>
#include <QString>
#include <QSysInfo>
#include <memory>
#include <vector>

#include "manager/notify/smtp_message.h"
#include "manager/notify/tls_stream.h"
#include "platform/socket.h"

namespace manager {
namespace {

constexpr size_t kStatusBytes = 255;  // a status text field holds 256 bytes with its end
constexpr const char* kSendError = "メッセージ送信エラー";

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

std::string base64(const std::string& text) {
  return QByteArray::fromStdString(text).toBase64().toStdString();
}

// True when the reply's last line is complete and final ("250 ..." rather than "250-...").
bool reply_complete(const std::string& text) {
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
  const size_t start = text.rfind("\r\n", text.size() - 3);
  const std::string last = text.substr(start == std::string::npos ? 0 : start + 2);
  return last.size() < 4 || last[3] != '-';
}

// The keywords of an EHLO reply, upper case, one per line ("STARTTLS", "AUTH PLAIN LOGIN").
std::vector<std::string> extensions(const std::string& reply) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < reply.size()) {
    size_t end = reply.find("\r\n", start);
    if (end == std::string::npos) end = reply.size();
    if (end - start > 4) lines.push_back(QString::fromStdString(reply.substr(start + 4, end - start - 4))
                                             .toUpper()
                                             .toStdString());
    start = end + 2;
  }
  return lines;
}

bool offers(const std::vector<std::string>& ext, const std::string& keyword) {
  for (const std::string& line : ext) {
    if (line == keyword || line.rfind(keyword + " ", 0) == 0) return true;
  }
  return false;
}

bool offers_auth(const std::vector<std::string>& ext, const std::string& mechanism) {
  for (const std::string& line : ext) {
    if (line.rfind("AUTH ", 0) != 0 && line.rfind("AUTH=", 0) != 0) continue;
    if ((" " + line.substr(5) + " ").find(" " + mechanism + " ") != std::string::npos) return true;
  }
  return false;
}

// One connection: plain until STARTTLS, then through the TLS stream.
class Connection {
 public:
  Connection(CancelEvent& cancel, int bound) : cancel_(cancel), bound_(bound) {}
  ~Connection() {
    tls_.reset();
    if (s_ != platform::kNoSocket) platform::close_socket(s_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool open() { return (s_ = platform::open_tcp_socket()) != platform::kNoSocket; }
  bool connect(uint32_t address, uint16_t port) {
    return cancellable_connect(s_, {address, port}, cancel_);
  }
  uint32_t local_address() const {
    const auto end = platform::local_endpoint(s_);
    return end ? end->address : 0;
  }
  bool send(const std::string& text) {
    if (tls_) return tls_->send(text);
    return cancellable_send(s_, text.data(), text.size(), cancel_) == text.size();
  }
  // A whole reply (every line of a multi-line one); none when a receive yields nothing.
  std::optional<std::string> reply() {
    std::string text;
    char buffer[1024];
    do {
      const size_t n = tls_ ? tls_->receive(buffer, sizeof buffer)
                            : cancellable_receive(s_, buffer, sizeof buffer, cancel_, bound_);
      if (n == 0) return std::nullopt;
      text.append(buffer, n);
    } while (!reply_complete(text));
    return text;
  }
  // Sends command and reads its reply; the failure text when the reply does not start
  // with the expected code. answer receives the reply.
  std::optional<std::string> step(const std::string& command, const char* expected,
                                  std::string* answer = nullptr) {
    if (!send(command)) return std::string(kSendError);
    const std::optional<std::string> got = reply();
    if (!got) return std::string("応答を受信できません。");
    if (answer) *answer = *got;
    if (got->compare(0, 3, expected) != 0) return server_error(*got);
    return std::nullopt;
  }
  std::optional<std::string> start_tls(const TlsOptions& options) {
    tls_ = std::make_unique<TlsStream>(s_, cancel_, bound_);
    s_ = platform::kNoSocket;  // the stream owns it now
    if (auto why = tls_->handshake(options))
      return "SMTPサーバーとの暗号化(STARTTLS)に失敗しました。(" + *why + ")";
    return std::nullopt;
  }
  bool encrypted() const { return tls_ != nullptr; }

 private:
  CancelEvent& cancel_;
  int bound_;
  platform::Socket s_ = platform::kNoSocket;
  std::unique_ptr<TlsStream> tls_;
};

std::optional<uint32_t> host_address(const std::string& host) {
  if (host.empty()) return std::nullopt;
  if (auto dotted = platform::parse_ipv4(host)) return dotted;
  return platform::resolve_host_ipv4(host);
}

using Failure = std::optional<std::string>;

// EHLO, or HELO from a server that does not know EHLO; ext receives the extensions.
Failure greet(Connection& c, const std::string& name, std::vector<std::string>& ext) {
  std::string answer;
  Failure failure = c.step("EHLO " + name + "\r\n", "250", &answer);
  if (!failure) {
    ext = extensions(answer);
    return std::nullopt;
  }
  if (answer.empty() || (answer[0] != '5')) return failure;
  ext.clear();
  return c.step("HELO " + name + "\r\n", "250");
}

Failure secure(Connection& c, const SmtpMail& mail, const std::string& name,
               std::vector<std::string>& ext) {
  if (mail.tls == SmtpTls::Never) return std::nullopt;
  if (!offers(ext, "STARTTLS")) {
    if (mail.tls == SmtpTls::Required)
      return std::string("SMTPサーバーが暗号化(STARTTLS)に対応していません。");
    return std::nullopt;
  }
  if (Failure f = c.step("STARTTLS\r\n", "220")) return f;
  TlsOptions options;
  options.peer_name = mail.server;
  options.verify = mail.tls == SmtpTls::Required || !mail.user.empty();
  options.ca_file = mail.ca_file;
  if (Failure f = c.start_tls(options)) return f;
  return greet(c, name, ext);  // the extensions may differ once encrypted
}

Failure authenticate(Connection& c, const SmtpMail& mail, const std::vector<std::string>& ext) {
  if (mail.user.empty()) return std::nullopt;
  if (!c.encrypted())
    return std::string("暗号化されていない接続では認証情報を送信しません。(STARTTLSを使ってください)");
  if (offers_auth(ext, "PLAIN")) {
    return c.step("AUTH PLAIN " + base64(std::string(1, '\0') + mail.user + '\0' + mail.password) +
                      "\r\n",
                  "235");
  }
  if (offers_auth(ext, "LOGIN")) {
    if (Failure f = c.step("AUTH LOGIN\r\n", "334")) return f;
    if (Failure f = c.step(base64(mail.user) + "\r\n", "334")) return f;
    return c.step(base64(mail.password) + "\r\n", "235");
  }
  return std::string("SMTPサーバーが認証(AUTH PLAIN/LOGIN)に対応していません。");
}

// EHLO to the end of the data; the failure text, or none when the server took the mail.
Failure transfer_mail(Connection& c, const SmtpMail& mail) {
  const std::string name = greeting_name(c.local_address());
  std::vector<std::string> ext;
  if (Failure f = greet(c, name, ext)) return f;
  if (Failure f = secure(c, mail, name, ext)) return f;
  if (Failure f = authenticate(c, mail, ext)) return f;
  const bool eight_bit = offers(ext, "8BITMIME") && fits_eight_bit(mail.body);
  const std::string body_kind = eight_bit ? " BODY=8BITMIME" : "";
  if (Failure f = c.step("MAIL FROM:<" + mail.sender + ">" + body_kind + "\r\n", "250")) return f;
  if (Failure f = c.step("RCPT TO:<" + mail.recipient + ">\r\n", "250")) return f;
  if (Failure f = c.step("DATA\r\n", "354")) return f;
  const std::string host = name.front() == '[' ? "localhost" : name;
  const std::string message =
      compose_mail({mail.sender, mail.recipient, mail.subject, mail.body}, host, eight_bit,
                   mail_date_now(), new_message_id(host));
  return c.step(dot_stuffed_data(message), "250");
}

bool refused_fields(const SmtpMail& mail) {
  for (const std::string* text : {&mail.server, &mail.sender, &mail.recipient, &mail.subject,
                                  &mail.user, &mail.password}) {
    if (breaks_command_line(*text)) return true;
  }
  return false;
}

}  // namespace

bool breaks_command_line(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string greeting_name(uint32_t local_address) {
  const std::string host = QSysInfo::machineHostName().toStdString();
  bool plain = !host.empty() && host.size() <= 253 && host.front() != '-' && host.front() != '.';
  for (const char ch : host) {
    plain = plain && ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                      (ch >= '0' && ch <= '9') || ch == '-' || ch == '.');
  }
  if (plain) return host;
  return "[" + std::to_string(local_address >> 24) + "." + std::to_string((local_address >> 16) & 0xFF) +
         "." + std::to_string((local_address >> 8) & 0xFF) + "." +
         std::to_string(local_address & 0xFF) + "]";
}

SmtpOutcome send_smtp_mail(const SmtpMail& mail, CancelEvent& cancel, int receive_bound_ms) {
  if (refused_fields(mail)) return failed(kLineBreakRefusal);
  const std::optional<uint32_t> address = host_address(mail.server);
  Connection c(cancel, receive_bound_ms);
  if (!address || !c.open()) return failed("ソケットエラーです。");
  if (!c.connect(*address, mail.port)) return failed("[" + mail.server + "]に接続できません。");
  const std::optional<std::string> greeting = c.reply();
  if (!greeting) return failed("応答を受信できません。");
  if (greeting->compare(0, 3, "220") != 0) return failed("SMTPサーバーがエラーを返しました。");
  if (Failure error = transfer_mail(c, mail)) return failed(*error);
  if (c.send("QUIT\r\n")) c.reply();  // the mail is taken whatever QUIT gets
  return {true,
          cut_utf8("アドレス " + mail.recipient + " に、メールを送信しました。", kStatusBytes)};
}

}  // namespace manager
