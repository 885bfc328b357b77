// A scripted FTP server for the notice upload tests: answers USER, PASS, TYPE, PORT and STOR
// with configurable replies, connects back for the data, and records what it got.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "tests/manager/scripted_peer.h"

namespace scripted {

struct FtpBehaviour {
  std::vector<std::string> greeting = {"220 notice server ready\r\n"};  // pieces, sent apart
  std::string user_reply = "331 Password required.\r\n";
  std::string pass_reply = "230 Logged in.\r\n";
  std::string type_reply = "200 Type set to I.\r\n";
  std::string port_reply = "200 PORT command successful.\r\n";
  std::string stor_reply = "150 Opening data connection.\r\n";
  std::string final_reply = "226 Transfer complete.\r\n";
  std::string silent_at;     // a verb the server never answers ("GREETING": no greeting)
  std::string hang_up_at;    // a verb the server answers by closing the connection
  bool connect_back = true;  // open the data connection after a 1xx STOR reply
};

struct FtpRecord {
  std::mutex lock;
  std::vector<std::string> commands;  // every line received, CR LF included
  std::string stored;                 // the bytes of the data connection
  bool data_connected = false;
};

inline std::optional<platform::Ipv4Endpoint> parse_port_line(const std::string& line) {
  unsigned h1, h2, h3, h4, p1, p2;
  if (sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
    return std::nullopt;
  return platform::Ipv4Endpoint{(h1 << 24) | (h2 << 16) | (h3 << 8) | h4,
                                static_cast<uint16_t>((p1 << 8) | p2)};
}

inline std::string receive_data(FtpRecord& record, platform::Ipv4Endpoint where) {
  platform::Socket data = platform::open_tcp_socket();
  if (!platform::connect_ipv4(data, where, 5000)) {
    platform::close_socket(data);
    return "";
  }
  {
    std::lock_guard<std::mutex> guard(record.lock);
    record.data_connected = true;
  }
  std::string bytes;
  char buffer[4096];
  for (;;) {
    long n = platform::recv_some_timeout(data, buffer, sizeof buffer, harness::scaled_ms(10000));
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  platform::close_socket(data);
  return bytes;
}

inline ScriptedPeer::Script ftp_script(FtpBehaviour b, FtpRecord* record) {
  return [b, record](Link& link) {
    if (b.silent_at == "GREETING") return void(link.wait_closed(60000));
    for (size_t i = 0; i < b.greeting.size(); ++i) {
      if (i > 0) platform::Event(true).wait_for(100);
      link.send(b.greeting[i]);
    }
    std::optional<platform::Ipv4Endpoint> data_end;
    while (auto line = link.line()) {
      {
        std::lock_guard<std::mutex> guard(record->lock);
        record->commands.push_back(*line);
      }
      const std::string verb = line->substr(0, line->find_first_of(" \r"));
      if (verb == b.hang_up_at) return;
      if (verb == b.silent_at) return void(link.wait_closed(60000));
      if (verb == "USER")
        link.send(b.user_reply);
      else if (verb == "PASS")
        link.send(b.pass_reply);
      else if (verb == "TYPE")
        link.send(b.type_reply);
      else if (verb == "PORT") {
        data_end = parse_port_line(*line);
        link.send(b.port_reply);
      } else if (verb == "STOR") {
        link.send(b.stor_reply);
        if (b.stor_reply[0] != '1' || !b.connect_back || !data_end) continue;
        std::string bytes = receive_data(*record, *data_end);
        {
          std::lock_guard<std::mutex> guard(record->lock);
          record->stored = bytes;
        }
        link.send(b.final_reply);
      } else {
        link.send("502 Command not implemented.\r\n");
      }
    }
  };
}

}  // namespace scripted
