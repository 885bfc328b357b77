// The account mail as an Internet message: the headers a receiving server expects
// (From, To, Date, Message-ID, Subject in encoded words, MIME), the body with CR LF line
// ends, and the dot-stuffed DATA text.
#pragma once
#include <string>
#include <string_view>

namespace manager {

struct MailText {
  std::string sender;     // From (when empty: postmaster at our host name)
  std::string recipient;  // To
  std::string subject;    // UTF-8
  std::string body;       // UTF-8, LF or CR LF line ends
};

// A header value in RFC 2047 encoded words (UTF-8, base64), folded so that no line
// passes 76 characters; plain printable ASCII stays as it is.
std::string encode_header_text(std::string_view utf8, size_t name_length);
// Now as an RFC 5322 date in local time ("Tue, 08 Dec 2026 14:01:05 +0900").
std::string mail_date_now();
// A unique "<...@host>".
std::string new_message_id(const std::string& host);
// The body with every line ending in CR LF (a last line without its end gets one).
std::string crlf_lines(std::string_view text);
// True when text can go as it is under 8BITMIME: valid UTF-8, no NUL or lone CR, and no
// line longer than 998 bytes.
bool fits_eight_bit(std::string_view text);
// The whole message: headers, an empty line, the body (as it is when eight_bit, otherwise
// in base64 lines).
std::string compose_mail(const MailText& mail, const std::string& host, bool eight_bit,
                         const std::string& date, const std::string& message_id);
// The DATA text: every line starting with "." gets another "." in front, then the end
// line "." (after a line end when the text lacks its last one).
std::string dot_stuffed_data(std::string_view message);

}  // namespace manager
