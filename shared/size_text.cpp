// Byte counts and rates as operators read them.
#include "shared/size_text.h"

#include <cstdio>

namespace shared {
namespace {

// "%f" of value, cut at the '.' when it has three or more integer digits, else to four
// characters.
std::string shortened(double value) {
  char text[512];
  snprintf(text, sizeof text, "%f", value);
  std::string s = text;
  size_t dot = s.find('.');
  if (dot != std::string::npos && dot >= 3)
    s.resize(dot);
  else if (s.size() > 4)
    s.resize(4);
  return s;
}

}  // namespace

std::string size_text(double bytes) {
  if (bytes > 1073741823.0) return shortened(bytes / 1073741824.0) + "GB";
  if (bytes > 1048575.0) return shortened(bytes / 1048576.0) + "MB";
  if (bytes > 1023.0) return shortened(bytes / 1024.0) + "KB";
  // Truncation to int; values outside the int range (never byte counts) saturate.
  int whole = bytes >= 2147483647.0 ? 2147483647
              : bytes <= -2147483648.0 ? (-2147483647 - 1)
              : bytes != bytes        ? 0
                                      : static_cast<int>(bytes);
  char text[32];
  snprintf(text, sizeof text, "%dB", whole);
  return text;
}

std::string rate_text(double bits_per_second) {
  std::string s = size_text(bits_per_second);
  s.pop_back();
  return s + "bps";
}

}  // namespace shared
