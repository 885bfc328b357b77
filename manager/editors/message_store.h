// Multi-line message texts kept as numbered INI lines Message<n>_<line> in [UserInfo],
// ended by the line "_____endofline_____".
#pragma once
#include <string>
#include <vector>

#include "platform/profile.h"

namespace manager {

// The text with CR LF after every line; empty when line 0 is the end mark or missing.
std::string load_message(const std::string& file, int number);
// Writes the text unless the file already holds it. Lines are stored as they are (the
// settings writer quotes a line with blanks or quotes at its ends).
bool save_message(const std::string& file, int number, const std::string& text);
// The [UserInfo] keys that save_message writes (none when the text is unchanged).
std::vector<platform::ProfileChange> message_changes(const std::string& file, int number,
                                                     const std::string& text);

}  // namespace manager
