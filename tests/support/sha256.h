// SHA-256 of a byte string, as 64 lower-case hex digits (for comparing transferred files).
#pragma once
#include <string>
#include <string_view>

namespace harness {

std::string sha256_hex(std::string_view bytes);

}  // namespace harness
