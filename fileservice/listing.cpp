#include "fileservice/listing.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "core/messages.h"
#include "core/server.h"
#include "core/transport.h"
#include "fileservice/data_connection.h"
#include "fileservice/data_worker.h"
#include "fileservice/disk_access.h"
#include "fileservice/machine_listing.h"
#include "fileservice/paths.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "shared/bounded_text.h"
#include "shared/ini.h"

namespace fileservice {

namespace {

constexpr uint64_t kNamesOnly = 1;
constexpr uint64_t kRecursive = 2;
constexpr uint64_t kMachine = 4;  // MLSD: one line of facts per entry
constexpr size_t kLineBuffer = 309;
constexpr size_t kResolveSize = 261;
constexpr int64_t kDaySeconds = 24 * 60 * 60;
constexpr int64_t kHalfYearSeconds = 183 * kDaySeconds;
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kOwner = "owner     ";
constexpr const char* kGroup = "group     ";

// A recursive listing goes at most this many folders below the one asked for; deeper
// folders are named with kCutLine instead of their entries.
constexpr int kMaxDepth = 64;
constexpr const char* kCutLine = "(not listed: deeper than 64 levels or path too long)\r\n";

struct PendingFolder {
  std::string folder;  // ends with '/'
  int depth = 0;       // levels below the folder asked for
  bool cut = false;    // beyond the limits: named, not listed
};

// One listing in progress on the worker.
struct ListingRun {
  core::Session& s;
  platform::Socket data;
  bool names_only;
  bool recursive;
  bool machine;
  std::vector<PendingFolder> pending;  // folders still to list
  int depth = 0;                        // of the folder being listed
  std::set<std::pair<uint64_t, uint64_t>> seen;  // (device, inode) of folders met
  bool batched = false;  // no plug-in watches the data: lines go out in larger pieces
  std::string outgoing;  // lines not yet sent while batched
};

constexpr size_t kBatchBytes = 32 * 1024;

// Cuts a line to the line buffer, keeping its CR LF and whole UTF-8 characters.
std::string fit_line(std::string line) {
  if (line.size() < kLineBuffer) return line;
  size_t keep = kLineBuffer - 1 - 2;
  while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80) --keep;
  line.resize(keep);
  return line + "\r\n";
}

// The nine fields of "ls -l": mode, links, owner, group, size, month, day, time or year,
// name.
std::string long_line(const std::string& permissions, uint64_t size, const platform::LocalTime& t,
                      bool time_form, const std::string& name) {
  const char* month = kMonths[(t.month >= 1 && t.month <= 12) ? t.month - 1 : 0];
  std::string head = shared::format_bounded(kLineBuffer, "%10s %5d %10s %10s %10llu %3s %2d ", permissions.c_str(),
                                            0, kOwner, kGroup, static_cast<unsigned long long>(size), month, t.day);
  std::string when = time_form ? shared::format_bounded(16, "%02d:%02d", t.hour, t.minute)
                               : shared::format_bounded(16, "%5d", t.year);
  return fit_line(head + when + " " + name + "\r\n");
}

// Entries of this year and of the last half year (up to a day ahead) show the time;
// older ones, and those dated further ahead in another year, show the year.
bool shows_time(int64_t modified, int64_t now, const platform::LocalTime& modified_local,
                const platform::LocalTime& now_local) {
  if (modified_local.year == now_local.year) return true;
  int64_t age = now - modified;
  return age >= -kDaySeconds && age <= kHalfYearSeconds;
}

bool flush_lines(ListingRun& run) {
  size_t length = run.outgoing.size();
  bool sent = core::send_on(run.s, core::SessionSocket::Data, run.data, run.outgoing.data(), length) == length;
  run.outgoing.clear();
  return sent;
}

// Sends one line on the data connection, through the socket plug-ins first. Without
// plug-ins on the data connection, lines are gathered and sent a piece at a time.
bool send_line(ListingRun& run, std::string line) {
  if (run.batched) {
    run.outgoing += line;
    return run.outgoing.size() < kBatchBytes || flush_lines(run);
  }
  IoRecord record{run.data, 0, 0, line.data(), static_cast<int>(line.size())};
  if (plugin_socket(run.s, kSocketDataSend, &record)) return record.length > 0;
  // A plug-in may point the record at another buffer and return 0 to filter the line.
  if (record.buffer == nullptr || record.length <= 0) return record.length == 0;
  size_t length = static_cast<size_t>(record.length);
  return core::send_on(run.s, core::SessionSocket::Data, record.socket, record.buffer, length) == length;
}

std::string folder_of(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// Queues a subfolder for a recursive listing when its own rules allow listing it and it
// is not a folder met before (a symbolic link back to an ancestor would loop for ever).
// A folder beyond the depth limit, or whose path no session path can hold, is queued as
// cut: its name shows where the listing stopped.
void queue_folder(ListingRun& run, std::string folder) {
  int depth = run.depth + 1;
  bool cut = depth > kMaxDepth || folder.size() > core::kPathMax - 2;
  // A cut folder is never entered, so its rules and identity are not needed; a path too
  // long for a session could not be checked anyway.
  if (!cut) {
    auto info = disk_info(run.s, folder);
    if (info && !run.seen.insert({info->device, info->inode}).second) return;
    if (!check_permission(run.s, folder, core::kProhibitList)) return;
  }
  run.pending.push_back(PendingFolder{std::move(folder), depth, cut});
}

// An MLSD line for a virtual folder: the facts of its real folder.
std::string virtual_facts_line(ListingRun& run, const std::string& placed, const std::string& name) {
  platform::FileInfo info;
  info.is_directory = true;
  info.modified = platform::unix_time_now();
  if (auto real = disk_info(run.s, placed); real && real->is_directory) info = *real;
  return entry_facts(run.s, info, "dir", rule_lookup(run.s, folder_of(placed.substr(0, placed.size() - 1))),
                     rule_lookup(run.s, placed)) + name + "\r\n";
}

// An MLSD line (never cut: the name must arrive whole). "." is the listed folder itself.
std::string facts_line(ListingRun& run, const std::string& folder, const platform::DirEntry& entry,
                       uint32_t rule) {
  if (entry.name == ".") {
    return entry_facts(run.s, entry.info, "cdir", kNoRule, rule_lookup(run.s, folder)) + entry.name + "\r\n";
  }
  const char* type = entry.info.is_directory ? "dir" : "file";
  uint32_t own = entry.info.is_directory ? rule_lookup(run.s, folder + entry.name + "/") : kNoRule;
  return entry_facts(run.s, entry.info, type, rule, own) + entry.name + "\r\n";
}

bool send_virtual_folders(ListingRun& run, const std::string& folder) {
  shared::IniFile ini(core::core_state().paths.config_file);
  platform::LocalTime now = platform::local_time_now();
  for (int i = 0;; ++i) {
    std::string placement = ini.get("VirtualDir", "Vir" + std::to_string(i), "", core::kPathMax);
    if (placement.empty()) return true;
    placement.pop_back();
    size_t slash = placement.rfind('/');
    if (slash == std::string::npos) continue;
    std::string name = placement.substr(slash + 1);
    if (placement.substr(0, slash + 1) != folder) continue;
    if (run.recursive) queue_folder(run, folder + name + "/");
    std::string line = run.machine      ? virtual_facts_line(run, folder + name + "/", name)
                       : run.names_only ? fit_line(name + "\r\n")
                                        : long_line("d---------", 0, now, true, name);
    if (!send_line(run, line)) return false;
  }
}

bool send_real_entries(ListingRun& run, const std::string& folder) {
  bool whole_folder = !folder.empty() && folder.back() == '/';
  std::vector<platform::DirEntry> entries;
  if (!disk_scan(run.s, whole_folder ? folder + "*.*" : folder, entries)) return true;
  if (!entries.empty()) run.s.transfer_start_tick = platform::tick_ms();
  uint32_t rule = rule_lookup(run.s, folder_of(folder));
  int64_t now = platform::unix_time_now();
  platform::LocalTime now_local = platform::local_time_of(now);
  for (const platform::DirEntry& entry : entries) {
    if (entry.hidden) continue;
    bool dots = entry.name == "." || entry.name == "..";
    if (dots && run.names_only) continue;  // "mget *" takes every name NLST gives
    if (entry.name == ".." && run.machine) continue;
    if (run.recursive && entry.info.is_directory && !dots) queue_folder(run, folder_of(folder) + entry.name + "/");
    std::string line;
    if (run.machine) {
      line = facts_line(run, folder_of(folder), entry, rule);
    } else if (run.names_only) {
      line = fit_line(entry.name + "\r\n");
    } else {
      platform::LocalTime when = platform::local_time_of(entry.info.modified);
      std::string permissions = permission_text(entry.info.is_directory, entry.info.read_only, rule);
      if (entry.info.is_link) permissions[0] = 'l';  // leads outside: shown as the link only
      line = long_line(permissions, entry.info.size, when,
                       shows_time(entry.info.modified, now, when, now_local), entry.name);
    }
    if (!send_line(run, line)) return false;
  }
  return true;
}

// Lists one folder; false when the data connection failed.
bool list_folder(ListingRun& run, const std::string& folder) {
  return send_virtual_folders(run, folder) && send_real_entries(run, folder);
}

struct ListArgument {
  uint64_t flags;
  std::string path;
};

// Leading words that begin with '-' are options, as "ls" takes them: 'l' asks for the long
// form (NLST too), 'R' for recursion; the rest of the argument is the path.
ListArgument parse_list_argument(const std::string& argument, uint64_t flags) {
  std::string_view rest = argument;
  while (!rest.empty() && rest[0] == '-') {
    size_t end = std::min(rest.find(' '), rest.size());
    std::string_view options = rest.substr(1, end - 1);
    if (options.find_first_of("lL") != std::string_view::npos) flags &= ~kNamesOnly;
    if (options.find('R') != std::string_view::npos) flags |= kRecursive;
    rest.remove_prefix(end);
    while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
  }
  return {flags, std::string(rest)};
}

// The folder or name a listing command names (a folder named with or without its trailing
// '/' gets it, so that its contents are listed), or none when the listing right is refused
// (answered and reported here).
std::optional<std::string> listed_path(core::Session& s, const std::string& path, const std::string& argument) {
  std::string resolved = path.empty() ? core::read_field(s, &core::Session::current_directory)
                                      : resolve_path(s, path, kResolveSize, KeepForm::Directory);
  if (!check_permission(s, resolved, core::kProhibitList)) {
    core::send_reply(s, "550 Requested action not taken.\r\n");
    core::report(s, shared::kEventRefused,
                 shared::format_bounded(core::kPathMax * 2, "権限が無いため、[%s]の表示を拒否しました。", argument.c_str()));
    return std::nullopt;
  }
  return resolved;
}

void start_listing(core::Session& s, const std::string& resolved, uint64_t flags) {
  core::write_field(s, &core::Session::transfer_path, resolved);
  s.file_size = flags;
  s.transferring = 1;
  hand_to_worker(s, core::WorkerCommand::Listing);
}

bool list_command(core::Session& s, const std::string& argument, uint64_t flags) {
  if (s.login_state.load() != core::kLoggedIn) {
    core::send_reply(s, "530 Not log in.\r\n");
    return true;
  }
  ListArgument parsed = parse_list_argument(argument, flags);
  flags = parsed.flags;
  std::optional<std::string> listed = listed_path(s, parsed.path, argument);
  if (!listed) return true;
  std::string resolved = *listed;
  std::string probe = resolved;
  if ((flags & kRecursive) && !check_permission(s, probe, core::kNoRecursiveList)) flags &= ~kRecursive;
  start_listing(s, resolved, flags);
  return true;
}

}  // namespace

// MLSD [<sp> pathname]: the folder's entries as lines of facts; a name that is not a folder
// is answered 501 (550 when nothing of that name exists).
bool handle_mlsd(core::Session& s, const std::string& argument) {
  std::optional<std::string> listed = listed_path(s, argument, argument);
  if (!listed) return true;
  if (listed->back() != '/') {
    bool exists = disk_info(s, *listed).has_value();
    core::send_reply(s, exists ? "501 Not a directory.\r\n" : "550 Requested action not taken.\r\n");
    return true;
  }
  start_listing(s, *listed, kMachine);
  return true;
}

bool handle_list(core::Session& s, const std::string& argument) { return list_command(s, argument, 0); }
bool handle_nlst(core::Session& s, const std::string& argument) { return list_command(s, argument, kNamesOnly); }

std::string permission_text(bool is_directory, bool read_only, uint32_t rule) {
  bool has_rule = rule != kNoRule;
  bool writable = !read_only;
  bool others_read = !(has_rule && (rule & core::kProhibitRetrieve));
  bool others_write = writable && !(has_rule && (rule & core::kProhibitOverwrite));
  std::string text = "----------";
  text[0] = is_directory ? 'd' : '-';
  text[1] = 'r';
  text[2] = writable ? 'w' : '-';
  text[3] = 'x';
  text[4] = text[7] = others_read ? 'r' : '-';
  text[5] = text[8] = others_write ? 'w' : '-';
  return text;
}

namespace {

// Sends every line over the open data connection; false when the connection
// failed. mapped ends as the mapped path of the last folder listed.
bool send_folders(core::Session& s, std::string folder, uint64_t flags, std::string& mapped) {
  ListingRun run{s, core::hook_socket(s, core::SessionSocket::Data), (flags & kNamesOnly) != 0, (flags & kRecursive) != 0,
                 (flags & kMachine) != 0, {}, 0, {}, false, {}};
  run.batched = !any_socket_plugins();
  size_t root_length = folder.size();
  mapped = map_virtual(folder);
  if (auto info = disk_info(s, folder); info && info->is_directory) run.seen.insert({info->device, info->inode});
  bool sent = list_folder(run, folder);
  for (size_t cursor = 0; sent && run.recursive && cursor < run.pending.size(); ++cursor) {
    const PendingFolder next = run.pending[cursor];
    folder = next.folder;
    std::string shown = folder.size() > root_length ? folder.substr(root_length) : std::string();
    sent = send_line(run, fit_line("\r\n" + shown + ":\r\n"));
    if (next.cut) {
      sent = sent && send_line(run, kCutLine);
      continue;
    }
    core::write_field(s, &core::Session::transfer_path, folder);
    run.depth = next.depth;
    mapped = map_virtual(folder);
    sent = sent && list_folder(run, folder);
  }
  return sent && (run.outgoing.empty() || flush_lines(run));
}

}  // namespace

void send_listing(core::Session& s) {
  uint64_t flags = s.file_size.load();
  std::string folder = core::read_field(s, &core::Session::transfer_path);
  std::string mapped;
  bool opened = open_data_connection(s);
  if (opened) {
    worker_reply(s, "150 Opening data connection.\r\n");
    opened = secure_data_connection(s);
  }
  const bool sent = opened && send_folders(s, folder, flags, mapped);
  if (opened) {
    core::close_session_socket(s, core::SessionSocket::Data);
    std::string done = sent ? core::slot_reply(s, core::Slot::Complete226, NFD_MESSAGE_SIZE)
                            : "426 Connection closed transfer aborted.\r\n";
    if (sent) core::set_message(s, done);
    closing_reply(s, done);
  }
  s.transferring = 0;  // before the listed event, whose snapshot shows the listing over
  if (sent) {
    core::report(s, shared::kEventListingSent,
                 shared::format_bounded(core::kPathMax * 2, "ディレクトリ[%s]のリストを送信しました", mapped.c_str()));
  }
  send_closing_reply(s);
  plugin_socket(s, kSocketRoutineEnd, nullptr);
}

}  // namespace fileservice
