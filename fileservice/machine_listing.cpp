// The facts of machine-readable listings and MLST.
#include "fileservice/machine_listing.h"

#include <array>
#include <string_view>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "fileservice/disk_access.h"
#include "fileservice/paths.h"
#include "platform/clock.h"
#include "shared/bounded_text.h"

namespace fileservice {

namespace {

struct FactName {
  Fact fact;
  const char* name;
};
constexpr std::array<FactName, 5> kFactNames = {{{kFactType, "type"},
                                                 {kFactSize, "size"},
                                                 {kFactModify, "modify"},
                                                 {kFactPerm, "perm"},
                                                 {kFactUnique, "unique"}}};

constexpr size_t kMessageMax = 2048;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] + 32) : a[i];
    char y = (b[i] >= 'A' && b[i] <= 'Z') ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// An operation the account and the rule word both allow.
bool allowed(const core::Session& s, uint32_t rule, uint32_t operation) {
  if ((s.forbidden & operation) != 0) return false;
  return rule == kNoRule || (rule & operation) == 0;
}

// The perm fact's letters (RFC 3659 7.5.5).
std::string perm_letters(const core::Session& s, const platform::FileInfo& info,
                         uint32_t parent_rule, uint32_t own_rule) {
  std::string letters;
  auto add = [&](char letter, bool yes) {
    if (yes) letters += letter;
  };
  bool writable = !info.read_only;
  if (info.is_directory) {
    add('c', allowed(s, own_rule, core::kProhibitStore));
    add('d', allowed(s, parent_rule, core::kProhibitRemoveDir));
    add('e', allowed(s, own_rule, core::kProhibitChangeDir));
    add('f', allowed(s, parent_rule, core::kProhibitRename));
    add('l', allowed(s, own_rule, core::kProhibitList));
    add('m', allowed(s, own_rule, core::kProhibitMakeDir));
    add('p', allowed(s, own_rule, core::kProhibitDelete));
  } else {
    add('a', writable && allowed(s, parent_rule, core::kProhibitAppend));
    add('d', writable && allowed(s, parent_rule, core::kProhibitDelete));
    add('f', allowed(s, parent_rule, core::kProhibitRename));
    add('r', allowed(s, parent_rule, core::kProhibitRetrieve));
    add('w', writable && allowed(s, parent_rule, core::kProhibitStore) &&
                 allowed(s, parent_rule, core::kProhibitOverwrite));
  }
  return letters;
}

std::string parent_folder(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path.substr(0, path.rfind('/') + 1);
}

}  // namespace

std::string entry_facts(const core::Session& s, const platform::FileInfo& info, const char* type,
                        uint32_t parent_rule, uint32_t own_rule) {
  const uint32_t chosen = s.mlst_facts.load();
  std::string facts;
  if (chosen & kFactType) facts += std::string("type=") + type + ";";
  if ((chosen & kFactSize) && !info.is_directory) facts += "size=" + std::to_string(info.size) + ";";
  if (chosen & kFactModify) {
    platform::LocalTime t = platform::utc_time_of(info.modified);
    facts += shared::format_bounded(64, "modify=%04d%02d%02d%02d%02d%02d;", t.year, t.month, t.day,
                                    t.hour, t.minute, t.second);
  }
  if (chosen & kFactPerm) facts += "perm=" + perm_letters(s, info, parent_rule, own_rule) + ";";
  if (chosen & kFactUnique) {
    facts += shared::format_bounded(64, "unique=%llxU%llx;", static_cast<unsigned long long>(info.device),
                                    static_cast<unsigned long long>(info.inode));
  }
  return facts + " ";
}

uint32_t parse_fact_list(const std::string& text) {
  uint32_t facts = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = std::min(text.find(';', start), text.size());
    std::string_view name = std::string_view(text).substr(start, end - start);
    for (const FactName& fact : kFactNames) {
      if (equal_ignoring_case(name, fact.name)) facts |= fact.fact;
    }
    start = end + 1;
  }
  return facts;
}

std::string fact_list_text(uint32_t facts) {
  std::string text;
  for (const FactName& fact : kFactNames) {
    if (facts & fact.fact) text += std::string(fact.name) + ";";
  }
  return text;
}

// MLST [<sp> pathname]: the facts of one entry on the control connection, checked as
// SIZE, MDTM and STAT are (listing right, confinement, no hidden names).
bool handle_mlst(core::Session& s, const std::string& argument) {
  s.last_activity_tick = platform::tick_ms();
  std::string path = argument.empty() ? core::read_field(s, &core::Session::current_directory)
                                      : resolve_path(s, argument, core::kPathMax, KeepForm::Directory);
  if (!check_permission(s, path, core::kProhibitList)) {
    core::send_reply(s, "550 Requested action not taken.\r\n");
    core::report(s, shared::kEventRefused,
                 shared::format_bounded(kMessageMax, "権限が無いため、[%s]の情報送信を拒否しました。", argument.c_str()));
    return true;
  }
  std::string mapped = map_virtual(path);
  std::optional<platform::FileInfo> info = disk_info(s, path);
  std::string trimmed = mapped;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  std::string_view name = std::string_view(trimmed).substr(trimmed.rfind('/') + 1);
  if (!info || platform::is_hidden_name(name)) {
    core::send_reply(s, "550 Requested action not taken.\r\n");
    core::report(s, shared::kEventRefused,
                 shared::format_bounded(kMessageMax, "ファイルが無いため、[%s]の情報送信を拒否しました。", argument.c_str()));
    return true;
  }
  uint32_t own = info->is_directory ? rule_lookup(s, path) : kNoRule;
  uint32_t parent = rule_lookup(s, info->is_directory ? parent_folder(path) : target_folder(path));
  std::string shown = argument.empty() ? client_view(s) : argument;
  std::string facts = entry_facts(s, *info, info->is_directory ? "dir" : "file", parent, own);
  core::send_reply(s, shared::format_bounded(kMessageMax, "250-Listing %s\r\n %s%s\r\n250 End\r\n",
                                             shown.c_str(), facts.c_str(), shown.c_str()));
  return true;
}

}  // namespace fileservice
