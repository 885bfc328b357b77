// Reply parsing shared by the benchmark's load generator and the soak test.
#pragma once
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace bench {

// Length of the first complete reply in text (all lines of a multi-line reply), 0 when
// it has not fully arrived yet.
inline size_t complete_reply_length(const std::string& text) {
  size_t end = text.find("\r\n");
  if (end == std::string::npos) return 0;
  if (text.size() < 4 || text[3] != '-') return end + 2;
  for (size_t start = end + 2;; start = end + 2) {
    end = text.find("\r\n", start);
    if (end == std::string::npos) return 0;
    if (end - start >= 4 && text.compare(start, 3, text, 0, 3) == 0 && text[start + 3] == ' ') return end + 2;
  }
}

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)." reply.
inline std::optional<uint16_t> passive_port(const std::string& answer) {
  size_t open = answer.find('(');
  unsigned h1, h2, h3, h4, p1, p2;
  if (answer.rfind("227", 0) != 0 || open == std::string::npos ||
      std::sscanf(answer.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
    return std::nullopt;
  return static_cast<uint16_t>(p1 * 256 + p2);
}

}  // namespace bench
