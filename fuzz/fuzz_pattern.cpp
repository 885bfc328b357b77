// The wildcard matcher of the refuse list and the host lists, against a plain
// backtracking matcher with a memo table.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "shared/pattern.h"

namespace {

// Does pattern[p..] match subject[s..]? memo holds 0 unknown, 1 no, 2 yes.
bool reference_match(std::string_view pattern, std::string_view subject, size_t p, size_t s,
                     std::vector<uint8_t>& memo) {
  uint8_t& known = memo[p * (subject.size() + 1) + s];
  if (known != 0) return known == 2;
  bool result = false;
  if (p == pattern.size()) {
    result = s == subject.size();
  } else if (pattern[p] == '*') {
    result = reference_match(pattern, subject, p + 1, s, memo) ||
             (s < subject.size() && reference_match(pattern, subject, p, s + 1, memo));
  } else if (s < subject.size() && (pattern[p] == '?' || pattern[p] == subject[s])) {
    result = reference_match(pattern, subject, p + 1, s + 1, memo);
  }
  known = result ? 2 : 1;
  return result;
}

}  // namespace

// Input: the pattern, a NUL byte, the subject.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  std::string_view pattern = input.until('\0');
  std::string_view subject = input.rest();
  bool answer = shared::pattern_match(pattern, subject);
  std::vector<uint8_t> memo((pattern.size() + 1) * (subject.size() + 1), 0);
  FUZZ_CHECK(answer == reference_match(pattern, subject, 0, 0, memo));
  // Every text matches itself (a '?' or '*' in it matches its own byte too).
  FUZZ_CHECK(shared::pattern_match(subject, subject));
  FUZZ_CHECK(shared::pattern_match("*", subject));
  return 0;
}
