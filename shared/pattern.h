// Whole-string, case-sensitive wildcard match: '*' any run (also none), '?' one byte.
// Used for RefuseIP.txt and the per-user host lists. Runs in O(pattern x subject).
#pragma once
#include <string_view>

namespace shared {

bool pattern_match(std::string_view pattern, std::string_view subject);

}  // namespace shared
