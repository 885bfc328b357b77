#include "manager/notify/smtp_message.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QRandomGenerator>

namespace manager {
namespace {

constexpr size_t kLineLimit = 998;
// "=?UTF-8?B?" + 60 base64 characters + "?=" is 72 characters: a word of 45 bytes.
constexpr size_t kWordBytes = 45;

bool plain_ascii(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return text.find("=?") == std::string_view::npos;
}

// Length of the UTF-8 sequence that starts with lead; 0 when lead cannot start one.
size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0 && lead >= 0xC2) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool valid_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = sequence_length(static_cast<unsigned char>(text[i]));
    if (n == 0 || i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

std::string base64(std::string_view bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

std::string base64_lines(std::string_view bytes) {
  const std::string all = base64(bytes);
  std::string out;
  for (size_t i = 0; i < all.size(); i += 76) out += all.substr(i, 76) + "\r\n";
  return out;
}

}  // namespace

std::string encode_header_text(std::string_view utf8, size_t name_length) {
  if (plain_ascii(utf8) && name_length + 2 + utf8.size() <= 78) return std::string(utf8);
  std::string out;
  size_t i = 0;
  while (i < utf8.size()) {
    // A word never splits a character.
    size_t end = i;
    while (end < utf8.size()) {
      size_t n = sequence_length(static_cast<unsigned char>(utf8[end]));
      if (n == 0) n = 1;
      if (end + n - i > kWordBytes) break;
      end = std::min(utf8.size(), end + n);
    }
    if (end == i) end = i + 1;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + base64(utf8.substr(i, end - i)) + "?=";
    i = end;
  }
  return out;
}

std::string mail_date_now() {
  const QDateTime now = QDateTime::currentDateTime();
  const int offset_minutes = now.offsetFromUtc() / 60;
  const int magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  const QString zone = QString::asprintf("%c%02d%02d", offset_minutes < 0 ? '-' : '+',
                                         magnitude / 60, magnitude % 60);
  return (QLocale::c().toString(now, "ddd, dd MMM yyyy hh:mm:ss ") + zone).toStdString();
}

std::string new_message_id(const std::string& host) {
  const quint64 random = QRandomGenerator::system()->generate64();
  return "<" + std::to_string(QDateTime::currentMSecsSinceEpoch()) + "." +
         QString::number(random, 36).toStdString() + "@" + host + ">";
}

std::string crlf_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') {
      out += "\r\n";
    } else {
      out.push_back(c);
    }
  }
  if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)) out += "\r\n";
  return out;
}

bool fits_eight_bit(std::string_view text) {
  if (!valid_utf8(text) || text.find('\0') != std::string_view::npos) return false;
  size_t line = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n') {
      line = 0;
    } else if (text[i] != '\r' && ++line > kLineLimit) {
      return false;
    }
  }
  return true;
}

std::string compose_mail(const MailText& mail, const std::string& host, bool eight_bit,
                         const std::string& date, const std::string& message_id) {
  const std::string from = mail.sender.empty() ? "postmaster@" + host : mail.sender;
  std::string m;
  m += "From: " + from + "\r\n";
  m += "To: " + mail.recipient + "\r\n";
  m += "Date: " + date + "\r\n";
  m += "Message-ID: " + message_id + "\r\n";
  m += "Subject: " + encode_header_text(mail.subject, 7) + "\r\n";
  m += "MIME-Version: 1.0\r\n";
  m += "Content-Type: text/plain; charset=UTF-8\r\n";
  const std::string body = crlf_lines(mail.body);
  if (eight_bit) {
    m += "Content-Transfer-Encoding: 8bit\r\n\r\n" + body;
  } else {
    m += "Content-Transfer-Encoding: base64\r\n\r\n" + base64_lines(body);
  }
  return m;
}

std::string dot_stuffed_data(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 16);
  bool line_start = true;
  for (const char c : message) {
    if (line_start && c == '.') out.push_back('.');
    out.push_back(c);
    line_start = c == '\n';
  }
  if (!out.empty() && !line_start) out += "\r\n";
  return out + ".\r\n";
}

}  // namespace manager
