// Commands that act on the disk without a data connection: folders, deletion, renaming,
// file information, and the three settings commands SYST, TYPE and REST.
#include "fileservice/file_commands.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "fileservice/credits.h"
#include "fileservice/disk_access.h"
#include "fileservice/listing.h"
#include "fileservice/paths.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "shared/bounded_text.h"

namespace fileservice {

namespace {

constexpr const char* kNotLoggedIn = "530 Not log in.\r\n";
constexpr const char* kNotTaken = "550 Requested action not taken.\r\n";
constexpr const char* kHiddenOrLost = "553 Requested action not taken.\r\n";
constexpr const char* kLocalError = "451 Requested action aborted. Local error in processing.\r\n";
constexpr const char* kActionDone = "250 Requested file action okay, completed.\r\n";
constexpr size_t kMessageMax = 2048;
constexpr size_t kDirectoryFormSize = core::kPathMax + 1;
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// The common start of the file commands: the login test, then last activity := now.
bool logged_in(core::Session& s) {
  if (s.login_state.load() < core::kLoggedIn) {
    core::send_reply(s, kNotLoggedIn);
    return false;
  }
  s.last_activity_tick = platform::tick_ms();
  return true;
}

void report_text(core::Session& s, shared::EventType type, const char* format,
                 const std::string& argument) {
  core::report(s, type, shared::format_bounded(kMessageMax, format, argument.c_str()));
}

void refuse(core::Session& s, const char* format, const std::string& argument) {
  core::send_reply(s, kNotTaken);
  report_text(s, shared::kEventRefused, format, argument);
}

std::string resolve(core::Session& s, const std::string& argument) {
  return resolve_path(s, argument, core::kPathMax, KeepForm::AsIs);
}

bool ends_with_separator(const std::string& path) {
  return !path.empty() && path.back() == platform::kSeparator;
}

// A name looked up as a directory search would: a name with a trailing separator
// finds nothing.
bool entry_exists(core::Session& s, const std::string& path) {
  return !ends_with_separator(path) && disk_name_exists(s, path);
}

// A plain file whose owner may write it.
bool deletable_file(core::Session& s, const std::string& path) {
  std::optional<platform::FileInfo> info = disk_info(s, path);
  if (!info || info->is_directory || info->read_only) return false;
  return disk_writable(s, path);
}

std::string without_last_component(const std::string& path) {
  if (path.size() < 2) return std::string();
  for (size_t k = path.size() - 1; k-- > 0;) {
    if (path[k] == platform::kSeparator) return path.substr(0, k);
  }
  return std::string();
}

std::string format_reply(const char* format, const std::string& text, size_t text_max) {
  std::string cut(shared::cut_text(text, text_max));
  return shared::format_bounded(core::kPathMax + 64, format, cut.c_str());
}

// The disk entry SIZE, MDTM and STAT describe: the first name the directory search
// finds for the mapped path.
struct FoundEntry {
  std::string name;
  platform::FileInfo info;
};

enum class Lookup { Found, Refused, Missing, HiddenOrLost };

// "." or ".." as the whole argument or its last component: a name for a folder.
bool names_folder_by_dots(std::string_view argument) {
  while (argument.size() > 1 && argument.back() == '/') argument.remove_suffix(1);
  size_t slash = argument.rfind('/');
  std::string_view last = slash == std::string_view::npos ? argument : argument.substr(slash + 1);
  return last == "." || last == "..";
}

// A client path resolved for the information commands. A folder named by "." or ".." gets
// its trailing separator: it is governed by its own rules, and "." in the home folder
// stays inside it.
std::string resolve_entry(core::Session& s, const std::string& argument) {
  std::string path = resolve(s, argument);
  if (names_folder_by_dots(argument) && !ends_with_separator(path)) path += platform::kSeparator;
  return path;
}

// The folder itself, when the path ends with the separator (see resolve_entry).
Lookup look_up_folder(core::Session& s, const std::string& path, const std::string& argument,
                      FoundEntry& found) {
  std::optional<platform::FileInfo> info = disk_info(s, path);
  if (!info || !info->is_directory) return Lookup::Missing;
  std::string name = argument;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  found = FoundEntry{name.substr(name.rfind('/') + 1), *info};
  return Lookup::Found;
}

Lookup look_up_entry(core::Session& s, const std::string& path, FoundEntry& found) {
  std::vector<platform::DirEntry> entries;
  if (!disk_scan(s, path, entries) || entries.empty()) return Lookup::Missing;
  const platform::DirEntry& entry = entries.front();
  // The search may have matched a wildcard: the name found must stay inside as well.
  if (!really_inside(s, target_folder(path) + entry.name)) return Lookup::Refused;
  if (entry.hidden) return Lookup::HiddenOrLost;
  std::optional<platform::FileInfo> info = disk_info(s, target_folder(path) + entry.name);
  if (!info) return Lookup::HiddenOrLost;
  found = FoundEntry{entry.name, *info};
  return Lookup::Found;
}

using InfoReply = std::string (*)(core::Session& s, const FoundEntry& entry);

enum class Subject { AnyEntry, PlainFile };

// SIZE, MDTM and STAT with a path share their checks; reply builds the answer. SIZE and
// MDTM describe plain files only: a folder has neither (550).
bool send_file_information(core::Session& s, const std::string& argument, InfoReply reply,
                           Subject subject = Subject::PlainFile) {
  if (!logged_in(s)) return true;
  std::string path = resolve_entry(s, argument);
  if (!check_permission(s, path, core::kProhibitList)) {
    refuse(s, "権限が無いため、[%s]の情報送信を拒否しました。", argument);
    return true;
  }
  FoundEntry entry;
  Lookup found = names_folder_by_dots(argument) ? look_up_folder(s, path, argument, entry)
                                                : look_up_entry(s, path, entry);
  if (found == Lookup::Found && subject == Subject::PlainFile && entry.info.is_directory)
    found = Lookup::Missing;
  switch (found) {
    case Lookup::Refused:
      refuse(s, "権限が無いため、[%s]の情報送信を拒否しました。", argument);
      break;
    case Lookup::Missing:
      refuse(s, "ファイルが無いため、[%s]の情報送信を拒否しました。", argument);
      break;
    case Lookup::HiddenOrLost:
      core::send_reply(s, kHiddenOrLost);
      break;
    case Lookup::Found:
      core::send_reply(s, reply(s, entry));
      break;
  }
  return true;
}

// A folder has no data of its own: its size is 0.
uint64_t entry_size(const FoundEntry& entry) {
  return entry.info.is_directory ? 0 : entry.info.size;
}

std::string size_reply(core::Session&, const FoundEntry& entry) {
  return shared::format_bounded(64, "213 %llu\r\n",
                                static_cast<unsigned long long>(entry_size(entry)));
}

// The time of MDTM is UTC, whatever the server's time zone.
std::string mdtm_reply(core::Session&, const FoundEntry& entry) {
  platform::LocalTime t = platform::utc_time_of(entry.info.modified);
  return shared::format_bounded(64, "213 %4d%02d%02d%02d%02d%02d\r\n", t.year, t.month, t.day,
                                t.hour, t.minute, t.second);
}

// The whole reply is kept (a long name is not cut), so that its end line always arrives.
std::string stat_reply(core::Session& s, const FoundEntry& entry) {
  platform::LocalTime t = platform::local_time_of(entry.info.modified);
  std::string permissions = permission_text(entry.info.is_directory, entry.info.read_only,
                                            rule_lookup(s, s.current_directory));
  const char* month = kMonths[(t.month >= 1 && t.month <= 12) ? t.month - 1 : 0];
  return shared::format_bounded(
      1024, "211-status of %s:\n%10s %5d %10s %10llu %3s %2d %02d:%02d %s\r\n211 End of Stat\r\n",
      entry.name.c_str(), permissions.c_str(), 0, "owner     ",
      static_cast<unsigned long long>(entry_size(entry)), month, t.day, t.hour, t.minute,
      entry.name.c_str());
}

bool change_directory(core::Session& s, const std::string& argument) {
  std::string path = resolve_path(s, argument, kDirectoryFormSize, KeepForm::Directory);
  if (!check_permission(s, path, core::kProhibitChangeDir)) {
    refuse(s, "移動の権限が無いため、[%s]への移動を拒否しました。", argument);
    return true;
  }
  if (!ends_with_separator(path)) {
    refuse(s, "ディレクトリでないため、[%s]への移動を拒否しました。", argument);
    return true;
  }
  core::write_field(s, &core::Session::current_directory,
                    std::string(shared::cut_text(path, core::kPathMax - 2)));
  report_text(s, shared::kEventDirectoryChanged, "ディレクトリ[%s]に移動しました。", argument);
  core::send_reply(s, kActionDone);
  return true;
}

enum class Creation { Created, Refused, Exists, Failed };

// One attempt of the folder creation loop.
Creation create_one(core::Session& s, std::string& candidate) {
  if (!check_permission(s, candidate, core::kProhibitMakeDir)) return Creation::Refused;
  switch (disk_make_folder(s, candidate)) {
    case platform::MakeDirResult::Created: return Creation::Created;
    case platform::MakeDirResult::AlreadyExists: return Creation::Exists;
    case platform::MakeDirResult::Failed: return Creation::Failed;
  }
  return Creation::Failed;
}

}  // namespace

bool make_directories(core::Session& s, const std::string& argument, bool replies) {
  const std::string target = resolve(s, argument);
  std::string candidate = target;
  while (true) {
    Creation result = create_one(s, candidate);
    if (result == Creation::Refused) {
      if (replies) refuse(s, "ディレクトリ[%s]の作成を拒否しました。", argument);
      return false;
    }
    if (result == Creation::Exists) {
      if (replies) core::send_reply(s, kNotTaken);
      return false;
    }
    if (result == Creation::Created && candidate == target) break;
    // A parent was made: try the full target again. A failure: climb one level.
    candidate = result == Creation::Created ? target : without_last_component(candidate);
  }
  if (replies) {
    core::send_reply(s, format_reply("257 \"%s\" directory created.\r\n", argument, 259));
    report_text(s, shared::kEventDirectoryCreated, "ディレクトリ[%s]を作成しました。", argument);
  }
  return true;
}

bool handle_cwd(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) return true;
  return change_directory(s, argument);
}

bool handle_cdup(core::Session& s, const std::string&) {
  if (!logged_in(s)) return true;
  return change_directory(s, "..");
}

bool handle_pwd(core::Session& s, const std::string&) {
  if (s.login_state.load() < core::kLoggedIn) {
    core::send_reply(s, "504 Command not implemented for that parameter.\r\n");
    return false;
  }
  core::send_reply(s, shared::format_bounded(1024, "257 \"%s\" is your directory.\r\n",
                                             client_view(s).c_str()));
  return true;
}

bool handle_mkd(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) return true;
  make_directories(s, argument, true);
  return true;
}

bool handle_rmd(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) return true;
  std::string path = resolve(s, argument);
  std::string folder = ends_with_separator(path) ? path : path + platform::kSeparator;
  // The home directory itself is the client's root: it is never removed.
  if (!check_permission(s, path, core::kProhibitRemoveDir) || folder == s.home_directory) {
    refuse(s, "ディレクトリ[%s]の削除を拒否しました。", argument);
    return true;
  }
  if (!ends_with_separator(path)) path += platform::kSeparator;
  if (!disk_remove_folder(s, path)) {
    core::send_reply(s, kNotTaken);
    return true;
  }
  core::send_reply(s, kActionDone);
  report_text(s, shared::kEventDirectoryRemoved, "ディレクトリ[%s]を削除しました。", argument);
  return true;
}

bool handle_dele(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) return true;
  std::string path = resolve(s, argument);
  if (!check_permission(s, path, core::kProhibitDelete)) {
    refuse(s, "[%s]の削除を拒否しました。", argument);
    return true;
  }
  std::string mapped = map_virtual(path);
  if (!deletable_file(s, path)) {
    refuse(s, "[%s]の削除を拒否しました。", argument);
    return true;
  }
  core::write_field(s, &core::Session::transfer_path, mapped);
  double size = 0;
  if (s.capacity_limit != 0) {
    if (auto info = disk_info(s, path)) size = static_cast<double>(info->size);
  }
  if (!disk_remove_file(s, path)) {
    core::send_reply(s, kLocalError);
    return true;
  }
  core::send_reply(s, kActionDone);
  report_text(s, shared::kEventFileDeleted, "ファイル[%s]を削除しました。", argument);
  if (s.capacity_limit != 0) refund_capacity(s, size);
  return true;
}

bool handle_rnfr(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) return true;
  std::string path = resolve(s, argument);
  if (!check_permission(s, path, core::kProhibitRename)) {
    refuse(s, "[%s]のリネームを拒否しました。", argument);
    return true;
  }
  core::write_field(s, &core::Session::transfer_path, path);
  if (!entry_exists(s, path)) {
    core::write_field(s, &core::Session::transfer_path, std::string());
    refuse(s, "[%s]のリネームを拒否しました。", argument);
    return true;
  }
  core::send_reply(s, "350 File exists, ready for destination name.\r\n");
  return true;
}

bool handle_rnto(core::Session& s, const std::string& argument) {
  if (!logged_in(s)) return true;
  std::string new_name = resolve(s, argument);
  std::string source = core::read_field(s, &core::Session::transfer_path);
  // The new name passes the same test as the source: it may not leave the home
  // directory or land in a folder whose rules forbid renaming.
  if (!check_permission(s, source, core::kProhibitRename) ||
      !check_permission(s, new_name, core::kProhibitRename)) {
    refuse(s, "[%s]のリネームを拒否しました。", argument);
    return true;
  }
  std::string mapped_source = map_virtual(source);
  core::write_field(s, &core::Session::transfer_path, mapped_source);
  if (!entry_exists(s, source)) {
    refuse(s, "[%s]のリネームを拒否しました。", argument);
    return true;
  }
  std::string mapped_new = map_virtual(new_name);
  if (!disk_rename(s, source, new_name)) {
    core::send_reply(s, kLocalError);
    return true;
  }
  core::send_reply(s, kActionDone);
  core::report(s, shared::kEventRenamed,
               shared::format_bounded(kMessageMax, "[%s]を[%s]にリネームしました。",
                                      mapped_source.c_str(), mapped_new.c_str()));
  core::write_field(s, &core::Session::transfer_path, mapped_new);
  return true;
}

bool handle_size(core::Session& s, const std::string& argument) {
  return send_file_information(s, argument, size_reply);
}

bool handle_mdtm(core::Session& s, const std::string& argument) {
  return send_file_information(s, argument, mdtm_reply);
}

bool handle_stat(core::Session& s, const std::string& argument) {
  return send_file_information(s, argument, stat_reply, Subject::AnyEntry);
}

bool handle_syst(core::Session& s, const std::string&) {
  core::send_reply(s, "215 UNIX A N (HN)\r\n");
  return true;
}

bool handle_type(core::Session& s, const std::string& argument) {
  if (s.login_state.load() < core::kLoggedIn) {
    core::send_reply(s, kNotLoggedIn);
    return true;
  }
  if (argument == "A" || argument == "a") {
    s.binary_type = 0;
    core::send_reply(s, "200 ASCII Mode\r\n");
  } else {
    s.binary_type = 1;
    core::send_reply(s, "200 Binary Mode\r\n");
  }
  return true;
}

int64_t parse_restart_offset(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t value = 0;
  constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX);
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    // Saturates instead of overflowing.
    value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
  }
  int64_t result = static_cast<int64_t>(value);
  return negative ? -result : result;
}

bool handle_rest(core::Session& s, const std::string& argument) {
  if (s.login_state.load() < core::kLoggedIn) {
    core::send_reply(s, kNotLoggedIn);
    return true;
  }
  s.restart_offset = static_cast<uint64_t>(parse_restart_offset(argument));
  core::send_reply(s, "350 Restarting OK. Send STORE or RETRIEVE to initiate transfer.\r\n");
  return true;
}

}  // namespace fileservice
