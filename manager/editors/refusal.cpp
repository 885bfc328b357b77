// The operator's refusals: RefuseIP.txt gets one more line, an account gets RefuseUser.
#include "manager/editors/refusal.h"

#include <algorithm>
#include <vector>

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

// The lines of a text with CR LF or LF breaks; a last line without its break counts.
std::vector<std::string> list_lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string refuse_list_path(const std::string& program_dir) {
  return program_dir + "RefuseIP.txt";
}

bool refuse_address(const std::string& program_dir, const std::string& text) {
  // One pattern per line: a line break inside the text would add patterns of its own.
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  return platform::rewrite_file_locked(
      refuse_list_path(program_dir), [&text](const std::optional<std::string>& current) {
        std::string content = current.value_or("");
        // A last line without its end would run into the new one and both be lost.
        if (!content.empty() && content.back() != '\n') content += kLineEnd;
        return std::optional<std::string>(content + text + kLineEnd);
      });
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
  for (const std::string& line : list_lines(*content)) text += line + kLineEnd;
  return text;
}

std::optional<std::string> merged_refuse_list(const std::string& loaded, const std::string& edited,
                                              const std::optional<std::string>& current) {
  const std::vector<std::string> before = list_lines(loaded);
  std::vector<std::string> lines = list_lines(edited);
  // Lines another writer added since the page was opened: the operator never saw them,
  // so they cannot have been removed on purpose.
  for (const std::string& line : list_lines(current.value_or(""))) {
    if (line.empty()) continue;
    if (std::find(before.begin(), before.end(), line) != before.end()) continue;
    if (std::find(lines.begin(), lines.end(), line) != lines.end()) continue;
    lines.push_back(line);
  }
  std::string file_text;
  for (const std::string& line : lines) file_text += line + kLineEnd;
  if (current && *current == file_text) return std::nullopt;
  return file_text;
}

bool write_refuse_list(const std::string& program_dir, const std::string& loaded,
                       const std::string& edited) {
  return platform::rewrite_file_locked(
      refuse_list_path(program_dir), [&](const std::optional<std::string>& current) {
        return merged_refuse_list(loaded, edited, current);
      });
}

}  // namespace manager
