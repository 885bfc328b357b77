// A scripted SMTP server for the account mail tests: greets, answers each command with
// a configurable reply (in pieces when asked), takes the data up to its end mark, and
// keeps every byte it received.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "tests/manager/scripted_peer.h"

namespace scripted {

struct SmtpBehaviour {
  std::string greeting = "220 mail.example.org ESMTP\r\n";  // empty: never greets
  // Replies by verb (EHLO, HELO, MAIL, RCPT, DATA, END for the end of data, QUIT); each
  // reply is a list of pieces sent a moment apart.
  std::map<std::string, std::vector<std::string>> replies = {
      {"EHLO", {"250-mail.example.org\r\n", "250 8BITMIME\r\n"}},
      {"HELO", {"250 mail.example.org\r\n"}}, {"MAIL", {"250 OK\r\n"}},
      {"RCPT", {"250 Accepted\r\n"}},         {"DATA", {"354 End data with <CR><LF>.<CR><LF>\r\n"}},
      {"END", {"250 OK id=1\r\n"}},           {"QUIT", {"221 Bye\r\n"}}};
  std::string silent_at;          // a verb the server never answers
  bool close_after_data = false;  // hang up right after the reply to the end of data
};

inline void send_pieces(Link& link, const std::vector<std::string>& pieces) {
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) platform::Event(true).wait_for(150);
    link.send(pieces[i]);
  }
}

inline ScriptedPeer::Script smtp_script(SmtpBehaviour b) {
  return [b](Link& link) {
    if (b.greeting.empty()) return void(link.wait_closed(60000));
    link.send(b.greeting);
    while (auto line = link.line()) {
      const std::string verb = line->substr(0, line->find_first_of(" :\r"));
      if (verb == b.silent_at) return void(link.wait_closed(60000));
      auto reply = b.replies.find(verb);
      if (reply == b.replies.end()) {
        link.send("500 Unknown command\r\n");
        continue;
      }
      send_pieces(link, reply->second);
      if (verb == "QUIT") return void(link.wait_closed(10000));
      if (verb != "DATA" || !reply->second[0].starts_with("354")) continue;
      if (!link.until("\r\n.\r\n")) return;
      send_pieces(link, b.replies.at("END"));
      if (b.close_after_data) return;
    }
  };
}

}  // namespace scripted
