// Multi-line message texts kept as numbered INI lines Message<n>_<line> in [UserInfo],
// ended by the line "_____endofline_____".
#pragma once
#include <string>

namespace manager {

// The text with CR LF after every line; empty when line 0 is the end mark or missing.
std::string load_message(const std::string& file, int number);
bool save_message(const std::string& file, int number, const std::string& text);

}  // namespace manager
