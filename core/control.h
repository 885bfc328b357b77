// The control connection: line reader and line splitter. Replies go out through
// core/reply.
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


}  // namespace core
