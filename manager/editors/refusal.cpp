// The operator's refusals: RefuseIP.txt gets one more line, an account gets RefuseUser.
#include "manager/editors/refusal.h"

#include "platform/files.h"
#include "platform/profile.h"

namespace manager {
namespace {

// The list is a text file with CR LF line ends (the Core reads CR LF and LF alike).
constexpr const char* kLineEnd = "\r\n";

// A name that would leave the user folder (or name no file) is not an account.
bool is_plain_name(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

std::string refuse_list_path(const std::string& program_dir) {
  return program_dir + "RefuseIP.txt";
}

bool refuse_address(const std::string& program_dir, const std::string& text) {
  // One pattern per line: a line break inside the text would add patterns of its own.
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  return platform::append_to_file(refuse_list_path(program_dir), text + kLineEnd);
}

bool refuse_user(const std::string& user_dir, const std::string& name, int value) {
  if (!is_plain_name(name)) return false;
  return platform::profile_write_string(user_dir + name + ".usr", "UserInfo", "RefuseUser",
                                        std::to_string(value));
}

std::string read_refuse_list(const std::string& program_dir) {
  const auto content = platform::read_whole_file(refuse_list_path(program_dir));
  if (!content) return {};
  std::string text;
  text.reserve(content->size() + 64);
  for (size_t i = 0; i < content->size(); ++i) {
    const char c = (*content)[i];
    if (c == '\r' && i + 1 < content->size() && (*content)[i + 1] == '\n') continue;
    if (c == '\n') text += "\r\n";
    else text.push_back(c);
  }
  return text;
}

bool write_refuse_list(const std::string& program_dir, const std::string& text) {
  std::string file_text;
  file_text.reserve(text.size() + 64);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n') file_text += kLineEnd;
    else file_text.push_back(c);
  }
  return platform::write_file_atomically(refuse_list_path(program_dir), file_text);
}

}  // namespace manager
