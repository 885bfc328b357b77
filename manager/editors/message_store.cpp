// Message texts as numbered lines: Message<n>_0, Message<n>_1, ... then the end mark.
#include "manager/editors/message_store.h"

#include <vector>

#include "platform/profile.h"
#include "shared/ini.h"

namespace manager {
namespace {

constexpr const char* kEndMark = "_____endofline_____";
// Lines are read whole, so that a text shown and saved again comes back byte for byte
// (the Core applies its own bound when it builds the reply).
constexpr size_t kLineMax = std::string::npos;
// A text longer than this many lines is not a message; stop reading a damaged file there.
constexpr int kMaxLines = 100000;

std::string line_key(int number, int line) {
  return "Message" + std::to_string(number) + "_" + std::to_string(line);
}

// Pieces between line breaks. CR LF is the break the editors produce; a lone LF or CR is
// taken as a break too, since neither can be stored inside an INI value.
std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      pieces.emplace_back();
    } else {
      pieces.back().push_back(c);
    }
  }
  if (pieces.back().empty()) pieces.pop_back();  // the piece after the last break
  return pieces;
}

}  // namespace

std::string load_message(const std::string& file, int number) {
  const shared::IniFile ini(file);
  std::string text;
  for (int n = 0; n < kMaxLines; ++n) {
    const std::string line = ini.get("UserInfo", line_key(number, n), kEndMark, kLineMax);
    if (line == kEndMark) break;
    text += line + "\r\n";
  }
  return text;
}

std::vector<platform::ProfileChange> message_changes(const std::string& file, int number,
                                                     const std::string& text) {
  std::vector<platform::ProfileChange> changes;
  // An unchanged text is not written again, not even in another form of the same lines.
  if (platform::profile_has_key(file, "UserInfo", line_key(number, 0)) &&
      load_message(file, number) == text) {
    return changes;
  }
  const std::vector<std::string> lines = split_lines(text);
  for (size_t n = 0; n < lines.size(); ++n) {
    changes.push_back({line_key(number, static_cast<int>(n)), lines[n]});
  }
  changes.push_back({line_key(number, static_cast<int>(lines.size())), std::string(kEndMark)});
  return changes;
}

bool save_message(const std::string& file, int number, const std::string& text) {
  const std::vector<platform::ProfileChange> changes = message_changes(file, number, text);
  return changes.empty() || platform::profile_write_strings(file, "UserInfo", changes);
}

}  // namespace manager
