// The rule for names of accounts and groups: a name becomes a file name in the user
// folder, so the Core and the Manager's editors accept exactly the same names.
#pragma once
#include <cstddef>
#include <string_view>

namespace shared {

inline constexpr size_t kAccountNameMax = 200;

// Not empty, at most 200 bytes, valid UTF-8 without control bytes, '/' or '\', and not
// starting with '.'.
bool acceptable_account_name(std::string_view name);

}  // namespace shared
