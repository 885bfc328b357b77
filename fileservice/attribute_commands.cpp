// MFMT, SITE CHMOD and SITE HELP.
#include "fileservice/attribute_commands.h"

#include <algorithm>
#include <string_view>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "fileservice/disk_access.h"
#include "fileservice/paths.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shared/bounded_text.h"

namespace fileservice {

namespace {

constexpr const char* kBadArgument = "501 Syntax error in parameters or arguments.\r\n";
constexpr const char* kNotTaken = "550 Requested action not taken.\r\n";
constexpr size_t kMessageMax = 2048;

bool all_digits(std::string_view text, char highest) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [highest](char c) { return c >= '0' && c <= highest; });
}

int number_at(std::string_view text, size_t at, size_t length) {
  int value = 0;
  for (size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// The first word of text and the rest after the blanks that follow it.
std::pair<std::string, std::string> split_word(const std::string& text) {
  size_t end = std::min(text.find(' '), text.size());
  size_t rest = text.find_first_not_of(' ', end);
  return {text.substr(0, end), rest == std::string::npos ? std::string() : text.substr(rest)};
}

std::string upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return text;
}

void refuse(core::Session& s, const char* format, const std::string& argument) {
  core::send_reply(s, kNotTaken);
  core::report(s, shared::kEventRefused, shared::format_bounded(kMessageMax, format, argument.c_str()));
}

// The session path of an entry whose attributes may change: inside the home directory,
// in a folder whose rules allow storing and overwriting, existing, and not the home folder
// itself. Refusals are answered and reported here; none then.
std::optional<std::string> writable_entry(core::Session& s, const std::string& client_path,
                                          const char* refusal) {
  std::string path = resolve_path(s, client_path, core::kPathMax, KeepForm::AsIs);
  std::string overwrite = path;
  bool allowed = check_permission(s, path, core::kProhibitStore) &&
                 check_permission(s, overwrite, core::kProhibitOverwrite);
  std::string mapped = map_virtual(path);
  std::string folder = mapped.back() == platform::kSeparator ? mapped : mapped + platform::kSeparator;
  if (!allowed || folder == s.home_directory || !disk_info(s, path)) {
    refuse(s, refusal, client_path);
    return std::nullopt;
  }
  return path;
}

bool site_chmod(core::Session& s, const std::string& argument) {
  auto [mode_text, path] = split_word(argument);
  std::optional<unsigned> mode = parse_mode(mode_text);
  if (!mode || path.empty()) {
    core::send_reply(s, kBadArgument);
    return true;
  }
  std::optional<std::string> entry = writable_entry(s, path, "[%s]の属性の変更を拒否しました。");
  if (!entry) return true;
  if (!disk_set_mode(s, *entry, *mode)) {
    core::send_reply(s, kNotTaken);
    return true;
  }
  core::send_reply(s, "200 SITE CHMOD command successful.\r\n");
  core::report(s, shared::kEventStatus,
               shared::format_bounded(kMessageMax, "[%s]の属性を変更しました。", path.c_str()));
  return true;
}

bool site_help(core::Session& s) {
  core::send_reply(s,
                   "214-The following SITE commands are recognized\r\n"
                   " CHMOD <sp> mode <sp> pathname\r\n"
                   " HELP\r\n"
                   "214 End\r\n");
  return true;
}

}  // namespace

std::optional<int64_t> parse_utc_timestamp(const std::string& text) {
  std::string_view digits = text;
  size_t dot = digits.find('.');
  if (dot != std::string_view::npos) {
    if (!all_digits(digits.substr(dot + 1), '9')) return std::nullopt;
    digits = digits.substr(0, dot);
  }
  if (digits.size() != 14 || !all_digits(digits, '9')) return std::nullopt;
  platform::LocalTime t;
  t.year = number_at(digits, 0, 4);
  t.month = number_at(digits, 4, 2);
  t.day = number_at(digits, 6, 2);
  t.hour = number_at(digits, 8, 2);
  t.minute = number_at(digits, 10, 2);
  t.second = number_at(digits, 12, 2);
  return platform::unix_time_of_utc(t);
}

std::optional<unsigned> parse_mode(const std::string& text) {
  if (text.size() > 4 || !all_digits(text, '7')) return std::nullopt;
  unsigned mode = 0;
  for (char c : text) mode = mode * 8 + static_cast<unsigned>(c - '0');
  if (mode > 0777u) return std::nullopt;
  return mode;
}

// MFMT <sp> YYYYMMDDHHMMSS <sp> pathname: "213 Modify=...; pathname".
bool handle_mfmt(core::Session& s, const std::string& argument) {
  s.last_activity_tick = platform::tick_ms();
  auto [time_text, path] = split_word(argument);
  std::optional<int64_t> when = parse_utc_timestamp(time_text);
  if (!when || path.empty()) {
    core::send_reply(s, kBadArgument);
    return true;
  }
  std::optional<std::string> entry = writable_entry(s, path, "[%s]の更新日時の変更を拒否しました。");
  if (!entry) return true;
  if (!disk_set_modified_time(s, *entry, *when)) {
    core::send_reply(s, kNotTaken);
    return true;
  }
  std::string stamp(time_text.substr(0, 14));
  core::send_reply(s, shared::format_bounded(kMessageMax, "213 Modify=%s; %s\r\n", stamp.c_str(),
                                             std::string(shared::cut_text(path, core::kPathMax)).c_str()));
  core::report(s, shared::kEventStatus,
               shared::format_bounded(kMessageMax, "[%s]の更新日時を変更しました。", path.c_str()));
  return true;
}

bool handle_site(core::Session& s, const std::string& argument) {
  s.last_activity_tick = platform::tick_ms();
  auto [word, rest] = split_word(argument);
  std::string name = upper(word);
  if (name == "CHMOD") return site_chmod(s, rest);
  if (name == "HELP") return site_help(s);
  core::send_reply(s, "502 Command not implemented.\r\n");
  return true;
}

}  // namespace fileservice
