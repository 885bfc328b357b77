// Whole-string wildcard match. Iterative: at a '*' remember where it stood and, on a
// later mismatch, let it take one more byte. Only the last '*' ever needs to be retried,
// so the answers equal those of the plain backtracking recursion, in O(pattern x subject).
#include "shared/pattern.h"

namespace shared {

bool pattern_match(std::string_view pattern, std::string_view subject) {
  constexpr size_t kNone = std::string_view::npos;
  size_t p = 0, s = 0;
  size_t star = kNone, resume = 0;
  while (s < subject.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = s;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == subject[s])) {
      ++p;
      ++s;
    } else if (star != kNone) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace shared
