// The control connection: reading command lines and splitting them.
#include "core/control.h"

#include <algorithm>
#include <cstring>

#include "core/logs.h"
#include "core/session_fault.h"
#include "core/transport.h"
#include "fileservice/plugin_host.h"

namespace core {
namespace {

bool high_byte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// One piece of a command line: a plug-in may deliver it, otherwise the socket does.
// Returns the byte count, 0 when the connection is closed or failed.
size_t receive_piece(Session& s, char* at, size_t room) {
  fileservice::IoRecord record;
  record.socket = hook_socket(s, SessionSocket::Control);
  record.buffer = at;
  record.length = static_cast<int>(room);
  if (fileservice::plugin_socket(s, fileservice::kSocketControlReceive, &record)) {
    return record.length > 0 ? std::min(static_cast<size_t>(record.length), room) : 0;
  }
  // The bytes always land in the line buffer; a plug-in may only make the read shorter.
  size_t want = room;
  if (record.length > 0 && static_cast<size_t>(record.length) < room) want = record.length;
  long n = receive_on(s, SessionSocket::Control, at, want);
  return n > 0 ? static_cast<size_t>(n) : 0;
}

// The next piece of input: bytes left over from the previous line first, then the
// connection.
size_t next_piece(Session& s, char* at, size_t room) {
  if (s.pending_input.empty()) return receive_piece(s, at, room);
  size_t n = std::min(room, s.pending_input.size());
  std::memcpy(at, s.pending_input.data(), n);
  s.pending_input.erase(0, n);
  return n;
}

}  // namespace

ReadResult read_line(Session& s, char (&buffer)[kLineBufferSize]) {
  std::memset(buffer, 0, sizeof buffer);
  size_t total = 0;
  while (true) {
    char* piece = buffer + total;
    size_t n = next_piece(s, piece, kLineBufferSize - total);
    if (n == 0) return ReadResult::Closed;
    bool telnet_control = high_byte(piece[0]);
    // A line ends at its line feed; what follows it is the start of the next line.
    char* line_feed = static_cast<char*>(std::memchr(piece, '\n', n));
    if (line_feed != nullptr) {
      size_t used = static_cast<size_t>(line_feed - piece) + 1;
      s.pending_input.insert(0, piece + used, n - used);
      n = used;
    }
    total += n;
    size_t end = std::min(total, kLineBufferSize - 1);
    std::memset(buffer + end, 0, kLineBufferSize - end);
    if (total >= kLineBufferSize) raise_session_fault(kTooLongCommand);
    if (line_feed != nullptr || telnet_control) break;
  }
  write_command_log(s, buffer, ">>");
  return ReadResult::Read;
}

// A line ends at CR LF or at a bare LF, alike for every command: no command word or
// argument (a password, a path) ever holds the line's end.
SplitLine split_line(std::string_view line) {
  auto line_end = [](char c) { return c == '\r' || c == '\n'; };
  SplitLine parts;
  size_t i = 0;
  while (i < line.size() && parts.word.size() < kWordMax && !line_end(line[i]) && line[i] != ' ') {
    parts.word.push_back(line[i++]);
  }
  if (i >= line.size() || line_end(line[i])) return parts;
  ++i;  // the blank, or the first character past an over-long word
  while (i < line.size() && parts.argument.size() < kArgumentMax && !line_end(line[i])) {
    parts.argument.push_back(line[i++]);
  }
  return parts;
}

}  // namespace core
