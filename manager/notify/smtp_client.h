// The account mail's SMTP dialogue: EHLO (HELO when the server does not know it),
// STARTTLS, AUTH PLAIN or LOGIN, MAIL FROM, RCPT TO, DATA with a complete Internet
// message, QUIT. Each failure ends the dialogue with its status text.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "manager/shell/cancellable_io.h"

namespace manager {

enum class SmtpTls { Never = 0, WhenOffered = 1, Required = 2 };

struct SmtpMail {
  std::string server;     // host to connect to
  std::string sender;     // MAIL FROM and From
  std::string recipient;  // RCPT TO and To
  std::string subject;    // UTF-8
  std::string body;       // UTF-8
  uint16_t port = 25;
  // WhenOffered encrypts when the server offers STARTTLS, checking its certificate only
  // when a login is sent; Required insists on STARTTLS and a certificate that checks.
  SmtpTls tls = SmtpTls::WhenOffered;
  std::string user;      // AUTH when not empty (only over an encrypted connection)
  std::string password;
  std::string ca_file;   // extra trusted certificates (PEM)
};

struct SmtpOutcome {
  bool sent = false;
  std::string status_text;  // at most 255 bytes
};

// True when text holds a CR, LF or NUL: such a text would end its command line early.
bool breaks_command_line(std::string_view text);
// The name we give in EHLO/HELO: the host's name when it is a plain domain name,
// otherwise the address literal of local_address ("[192.0.2.1]").
std::string greeting_name(uint32_t local_address);

// Runs the dialogue. A server, sender, recipient, subject or login that holds a line
// break is refused before any connection is made.
SmtpOutcome send_smtp_mail(const SmtpMail& mail, CancelEvent& cancel,
                           int receive_bound_ms = kReceiveBoundMs);

// The refusal text for a mail whose fields would break a command or header line.
inline constexpr const char* kLineBreakRefusal =
    "宛先・件名・ユーザー名などに改行が含まれているため、メールを送信しませんでした。";

}  // namespace manager
