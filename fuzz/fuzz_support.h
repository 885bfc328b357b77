// What the fuzz harnesses share: scratch folders on a memory file system, writing a file
// in one piece, and taking a fuzz input apart.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// A fresh folder of this process (under /dev/shm when it exists), ending in '/'.
// Created once per tag; the same path is returned on later calls.
std::string scratch_dir(const std::string& tag);
// Replaces the file's content; aborts when the file cannot be written, since a harness
// that cannot lay out its input tests nothing.
void write_file(const std::string& path, std::string_view content);

// Takes a fuzz input apart from the front: single bytes for choices, then the rest.
class Input {
 public:
  Input(const uint8_t* data, size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}
  uint8_t byte() {
    if (rest_.empty()) return 0;
    uint8_t b = static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  // Text up to the next byte equal to end (which is dropped), or all the rest.
  std::string_view until(char end) {
    size_t at = rest_.find(end);
    std::string_view piece = rest_.substr(0, at);
    rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
    return piece;
  }
  std::string_view rest() const { return rest_; }

 private:
  std::string_view rest_;
};

// Stops the run with a message: a broken invariant is a finding like a crash.
[[noreturn]] void fail(const char* what);
#define FUZZ_CHECK(condition)                                \
  do {                                                       \
    if (!(condition)) ::fuzz::fail("check failed: " #condition); \
  } while (0)

}  // namespace fuzz
