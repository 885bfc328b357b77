// The account mail's SMTP dialogue: HELO, MAIL FROM, RCPT TO, DATA with one Subject
// header and the body, QUIT. Each failure ends the dialogue with its status text.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "manager/shell/cancellable_io.h"

namespace manager {

struct SmtpMail {
  std::string server;     // host to connect to, also the HELO argument
  std::string sender;     // MAIL FROM
  std::string recipient;  // RCPT TO
  std::string subject;
  std::string body;  // sent as it is
};

struct SmtpOutcome {
  bool sent = false;
  std::string status_text;  // at most 255 bytes
};

// True when text holds a CR, LF or NUL: such a text would end its command line early.
bool breaks_command_line(std::string_view text);
// The reply text: pieces of up to 1024 bytes, another piece read while a piece filled
// the whole 1024 bytes. None when a receive yields nothing.
std::optional<std::string> read_smtp_reply(platform::Socket s, CancelEvent& cancel,
                                           int receive_bound_ms);
// Runs the dialogue against server:port. A server, sender, recipient or subject that
// holds a line break is refused before any connection is made.
SmtpOutcome send_smtp_mail(const SmtpMail& mail, CancelEvent& cancel, uint16_t port = 25,
                           int receive_bound_ms = kReceiveBoundMs);

// The refusal text for a mail whose fields would break a command or header line.
inline constexpr const char* kLineBreakRefusal =
    "宛先・件名・ユーザー名などに改行が含まれているため、メールを送信しませんでした。";

}  // namespace manager
