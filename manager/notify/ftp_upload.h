// The notice upload: a small FTP client that logs in, opens an active data connection
// and stores one local file on the remote server, reporting each step as a status text.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "manager/shell/cancellable_io.h"

namespace manager {

struct NoticeRequest {
  std::string host;
  int port = 21;  // the low 16 bits are used
  std::string user;
  std::string password;
  std::string remote_name;
  std::string local_path;
  bool passive = false;  // PASV (the server's address and port) instead of PORT
};

using StatusSink = std::function<void(const std::string& text)>;

// Reads one FTP reply: the code of its first piece, reading further pieces until one
// holds the code followed by a blank. None when the first piece has fewer than 3 bytes.
// first_piece, when given, receives the bytes of the first piece.
std::optional<int> read_ftp_reply(platform::Socket control, CancelEvent& cancel,
                                  int receive_bound_ms, std::string* first_piece = nullptr);
// The port of a 227 reply "(h1,h2,h3,h4,p1,p2)"; none when it holds no such list or port 0.
std::optional<uint16_t> passive_port(std::string_view reply);

// Runs the whole upload; every step and the outcome go to status. True when the server
// confirmed the stored file. Every wait ends on cancel or after receive_bound_ms.
bool upload_notice(const NoticeRequest& request, CancelEvent& cancel, const StatusSink& status,
                   int receive_bound_ms = kReceiveBoundMs);

}  // namespace manager
