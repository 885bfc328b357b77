#include "core/logs.h"

#include <algorithm>

#include "core/accounts.h"
#include "core/messages.h"
#include "core/server.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shared/bounded_text.h"

namespace core {

namespace {

constexpr size_t kCommandTextMax = 258;
constexpr size_t kMessageLineMax = 258;
constexpr const char* kLineEnd = "\r\n";
constexpr std::string_view kUnknownUser = "UnKnown";

// The log file of the session's account, or "" when nothing may be written (no user name
// yet: a refusal at connect). A name without an account (before USER, unknown, refused,
// or not a plain file name) logs into the UnKnown files: a client that tries many names
// makes no file per name.
std::string log_path(Session& s, const char* extension) {
  const std::string name = read_field(s, &Session::user_name);
  if (name.empty()) return {};
  const bool own_file = s.account_loaded && acceptable_user_name(name);
  const std::string file = own_file ? name : std::string(kUnknownUser);
  return core_state().paths.user_directory + file + extension;
}

std::string date_time(int year) {
  const platform::LocalTime t = platform::local_time_now();
  const int shown = year == 4 ? t.year : t.year % 100;
  return shared::format_bounded(32, year == 4 ? "%04d/%02d/%02d %02d:%02d:%02d"
                                              : "%02d/%02d/%02d %02d:%02d:%02d",
                                shown, t.month, t.day, t.hour, t.minute, t.second);
}

void append_line(const std::string& path, const std::string& line) {
  platform::append_to_file(path, line + kLineEnd);  // a file that cannot be opened is skipped
}

}  // namespace

void write_transfer_log(Session& s, TransferDirection direction, uint32_t duration_ms) {
  if (core_state().config.log_all_files == 0) return;
  const std::string path = log_path(s, ".flg");
  if (path.empty()) return;
  std::string file = read_field(s, &Session::transfer_path);
  std::replace(file.begin(), file.end(), ' ', '*');
  const std::string fields = shared::format_bounded(
      128, " %d %u %llu %llu ", static_cast<int>(direction), duration_ms,
      static_cast<unsigned long long>(s.transferred.load()),
      static_cast<unsigned long long>(s.restart_offset.load()));
  append_line(path, date_time(2) + fields + file);
}

// The text loses its last two characters (the CR LF of a complete line), or its LF when
// the line ended by a bare LF; a text shorter than that is logged empty.
void write_command_log(Session& s, std::string_view text, const char* direction) {
  if (core_state().config.log_all_commands == 0) return;
  const std::string path = log_path(s, ".clg");
  if (path.empty()) return;
  std::string_view shown = shared::cut_text(text, kCommandTextMax);
  // A line ended by a bare LF loses only its LF.
  const bool bare_line_feed = shown.ends_with('\n') && !shown.ends_with("\r\n");
  const size_t end_length = bare_line_feed ? 1 : 2;
  shown = shown.size() < end_length ? std::string_view() : shown.substr(0, shown.size() - end_length);
  append_line(path, date_time(2) + " " + direction + std::string(shown));
}

void write_message_log(Session& s) { write_message_log(s, read_message(s)); }

void write_message_log(Session& s, std::string_view message) {
  if (core_state().config.log_all_comments == 0) return;
  const std::string path = log_path(s, ".mlg");
  if (path.empty()) return;
  const std::string line = date_time(4) + " " + read_field(s, &Session::user_name) + "(" +
                           read_field(s, &Session::host_text) + ") " + std::string(message);
  append_line(path, std::string(shared::cut_text(line, kMessageLineMax)));
}

}  // namespace core
