// Fixed-size text fields done once: "copy at most N-1 bytes" and "format into N bytes, cut".
// Every bounded copy in the programs goes through these.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace shared {

// The first max_bytes bytes of text (all of it when shorter).
std::string_view cut_text(std::string_view text, size_t max_bytes);
// Copies at most size-1 bytes into dest and terminates it; size 0 writes nothing.
void copy_bounded(char* dest, size_t size, std::string_view text);
// printf-style formatting; the result holds at most size-1 bytes.
std::string format_bounded(size_t size, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
// Length of a NUL-terminated text, looking at no more than max_bytes (returns max_bytes
// when no NUL was found within them).
size_t bounded_length(const char* text, size_t max_bytes);

}  // namespace shared
