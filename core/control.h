// The control connection: line reader, line splitter, reply senders.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "core/session.h"

namespace core {

inline constexpr size_t kLineBufferSize = 512;
inline constexpr size_t kWordMax = 9;
inline constexpr size_t kArgumentMax = 501;

enum class ReadResult { Read, Closed };
// Reads one command line into buffer (NUL-terminated). Raises the too-long-command fault.
ReadResult read_line(Session& s, char (&buffer)[kLineBufferSize]);

struct SplitLine {
  std::string word;
  std::string argument;
};
SplitLine split_line(std::string_view line);

// Sends a reply text (raises the internal-server-error fault when it is 2048 bytes or
// longer); logs it and offers it to the plug-ins first.
void send_reply(Session& s, std::string_view text);
// Same with an explicit length; returns bytes sent or the length a plug-in left.
long send_bytes(Session& s, const char* data, size_t length);

}  // namespace core
