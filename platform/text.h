// Path text rules of the platform: the lead-byte test and lexical canonicalisation.
#pragma once
#include <string>
#include <string_view>

namespace platform {

inline constexpr char kSeparator = '/';

// True when b starts a double-byte character in the system code page. The system code
// page here is UTF-8, where no byte of a multi-byte character is ever '/' or '\', so the
// answer is always false.
bool is_lead_byte(unsigned char b);
// The same test for code page 932 (Shift_JIS): 0x81-0x9F and 0xE0-0xFC.
bool is_lead_byte_cp932(unsigned char b);

// Folds ".", ".." and repeated separators of an absolute path without touching the disk
// and without resolving symbolic links; ".." at the root stays at the root; a trailing
// separator is kept. A relative path is taken relative to "/".
std::string canonicalize_lexical(std::string_view path);

}  // namespace platform
