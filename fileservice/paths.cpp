// Client paths to disk paths, the permission check, directory rules, virtual folders.
#include "fileservice/paths.h"

#include <vector>

#include "core/server.h"
#include "core/session_fault.h"
#include "fileservice/disk_access.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "shared/bounded_text.h"

namespace fileservice {

namespace {

constexpr char kSep = platform::kSeparator;
// Work buffers hold 259 characters.
constexpr size_t kWorkMax = core::kPathMax - 1;
// Vir%d and Dir%d values are read into 260-byte buffers.
constexpr size_t kVirtualValueMax = core::kPathMax - 1;

std::string home_of(const core::Session& s) { return s.home_directory; }

bool ends_with_separator(const std::string& path, char separator, LeadByteTest is_lead) {
  if (path.empty() || path.back() != separator) return false;
  size_t i = path.size() - 1;
  return !(i >= 2 && is_lead(static_cast<unsigned char>(path[i - 1])));
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string replace_all(const std::string& text, const std::string& from, const std::string& to) {
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

std::string virtual_value(const std::string& config, const char* key, int number) {
  std::string name = key + std::to_string(number);
  std::string value = platform::profile_read_string(config, "VirtualDir", name);
  return std::string(shared::cut_text(value, kVirtualValueMax));
}

bool rule_forbids(const core::Session& s, const std::string& folder, uint32_t operation) {
  std::optional<uint32_t> word = find_rule(s, folder);
  return word && (*word & operation) != 0;
}

}  // namespace

void convert_separators(std::string& path, char from, char to, LeadByteTest is_lead) {
  for (size_t k = path.size(); k-- > 0;) {
    if (path[k] != from) continue;
    if (k >= 2 && is_lead(static_cast<unsigned char>(path[k - 1]))) continue;
    path[k] = to;
  }
}

std::string target_folder(const std::string& path, char separator, LeadByteTest is_lead) {
  std::string copy(shared::cut_text(path, kWorkMax));
  if (ends_with_separator(copy, separator, is_lead)) return copy;
  for (size_t k = copy.size(); k-- > 0;) {
    if (copy[k] != separator) continue;
    if (k >= 2 && is_lead(static_cast<unsigned char>(copy[k - 1]))) continue;
    return copy.substr(0, k + 1);
  }
  return std::string();
}

std::string resolve_path(core::Session& s, const std::string& client_path, size_t size,
                         KeepForm form) {
  // A command argument is a C string to the file system: it ends at the first NUL.
  std::string path = client_path.substr(0, client_path.find('\0'));
  convert_separators(path, '/', kSep);
  bool from_home = !path.empty() && path[0] == kSep;
  std::string base(shared::cut_text(from_home ? home_of(s) : s.current_directory, kWorkMax));
  if (path.size() + base.size() > kWorkMax) core::raise_session_fault(core::kTooLongFileName);
  std::string work = base + (from_home ? path.substr(1) : path);
  std::string out(shared::cut_text(platform::canonicalize_lexical(work), size > 0 ? size - 1 : 0));
  if (form == KeepForm::AsIs) return out;
  if (ends_with_separator(out, kSep, platform::is_lead_byte)) return out;
  std::string copy = map_virtual(out + kSep);
  if (copy.size() <= 2 || disk_folder_exists(s, out + kSep)) {
    if (out.size() + 1 <= size - 1) out += kSep;
  }
  return out;
}

std::optional<uint32_t> find_rule(const core::Session& s, const std::string& path) {
  for (const core::DirRule& rule : s.dir_rules) {
    if (equal_ignoring_case(rule.path, path)) return rule.flags;
    if ((rule.flags & core::kRuleThisFolderOnly) == 0 && starts_with(path, rule.path))
      return rule.flags;
  }
  return std::nullopt;
}

uint32_t rule_lookup(const core::Session& s, const std::string& path) {
  return find_rule(s, path).value_or(kNoRule);
}

VirtualMapping map_virtual_pair(const std::string& path, size_t size) {
  VirtualMapping result{path, -1, {}};
  const std::string& config = core::core_state().paths.config_file;
  for (int i = 0;; ++i) {
    std::string vir = virtual_value(config, "Vir", i);
    if (vir.empty()) return result;
    if (!starts_with(path, vir)) continue;
    std::string dir = virtual_value(config, "Dir", i);
    std::string mapped = replace_all(path, vir, dir);
    result.path = std::string(shared::cut_text(mapped, size >= 2 ? size - 2 : 0));
    result.pair = i;
    result.real_folder = dir;
    return result;
  }
}

std::string map_virtual(const std::string& path, size_t size) {
  return map_virtual_pair(path, size).path;
}

bool really_inside(const core::Session& s, const std::string& path) { return disk_inside(s, path); }

bool check_permission(core::Session& s, std::string& path, uint32_t operation) {
  if ((s.forbidden & operation) != 0) return false;
  if (path.empty() || path[0] == '-')
    path = core::read_field(s, &core::Session::current_directory);
  const std::string home = home_of(s);
  if (home.empty() || !starts_with(path, home)) return false;
  std::string folder = target_folder(path);
  if (rule_forbids(s, folder, operation)) return false;
  std::string mapped_folder = map_virtual(folder);
  if (operation != core::kProhibitMakeDir && !disk_folder_exists(s, folder)) return false;
  if (!really_inside(s, path)) return false;
  if (rule_forbids(s, mapped_folder, operation)) return false;
  return true;
}

std::string client_view(core::Session& s) {
  const std::string home = home_of(s);
  const std::string& current = s.current_directory;
  if (home.empty() || !starts_with(current, home)) return "/";
  std::string view = current.substr(home.size() - 1);
  convert_separators(view, kSep, '/');
  return std::string(shared::cut_text(view, 1023));
}

}  // namespace fileservice
