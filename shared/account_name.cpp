#include "shared/account_name.h"

#include <cstdint>

namespace shared {
namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when it is not valid.
size_t utf8_sequence(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b = byte(i);
  if (b < 0x80) return 1;
  size_t length = 0;
  uint32_t code = 0;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2, code = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3, code = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4, code = b & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (overlong || surrogate || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

bool acceptable_account_name(std::string_view name) {
  if (name.empty() || name.size() > kAccountNameMax || name.front() == '.') return false;
  for (size_t i = 0; i < name.size();) {
    const unsigned char b = static_cast<unsigned char>(name[i]);
    if (b < 0x20 || b == 0x7F || b == '/' || b == '\\') return false;
    const size_t length = utf8_sequence(name, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace shared
