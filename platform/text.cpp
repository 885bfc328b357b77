// Path text rules: lead bytes and lexical canonicalisation.
#include "platform/text.h"

#include <vector>

namespace platform {

bool is_lead_byte(unsigned char) { return false; }

bool is_lead_byte_cp932(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

std::string canonicalize_lexical(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t next = path.find(kSeparator, i);
    if (next == std::string_view::npos) next = path.size();
    std::string_view part = path.substr(i, next - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = next + 1;
  }
  std::string result = "/";
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) result += kSeparator;
    result += parts[k];
  }
  bool trailing = !path.empty() && path.back() == kSeparator;
  if (trailing && result.size() > 1) result += kSeparator;
  return result;
}

}  // namespace platform
