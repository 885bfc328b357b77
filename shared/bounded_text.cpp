// Fixed-size text fields: bounded copies and bounded formatting.
#include "shared/bounded_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace shared {

std::string_view cut_text(std::string_view text, size_t max_bytes) {
  return text.size() <= max_bytes ? text : text.substr(0, max_bytes);
}

void copy_bounded(char* dest, size_t size, std::string_view text) {
  if (size == 0 || dest == nullptr) return;
  std::string_view part = cut_text(text, size - 1);
  if (!part.empty()) memcpy(dest, part.data(), part.size());
  dest[part.size()] = '\0';
}

std::string format_bounded(size_t size, const char* format, ...) {
  if (size == 0) return "";
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string result;
  if (needed > 0) {
    std::string full(static_cast<size_t>(needed) + 1, '\0');
    vsnprintf(full.data(), full.size(), format, again);
    full.resize(static_cast<size_t>(needed));
    result = std::string(cut_text(full, size - 1));
  }
  va_end(again);
  return result;
}

size_t bounded_length(const char* text, size_t max_bytes) {
  if (text == nullptr) return 0;
  const void* nul = memchr(text, '\0', max_bytes);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : max_bytes;
}

}  // namespace shared
