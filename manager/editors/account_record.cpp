#include "manager/editors/account_record.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "manager/editors/message_store.h"
#include "manager/editors/prohibition_bits.h"
#include "platform/profile.h"
#include "shared/account_name.h"
#include "shared/bounded_text.h"
#include "shared/ini.h"

namespace manager {

namespace {

constexpr const char* kSection = "UserInfo";
constexpr size_t kLongText = 511;
constexpr size_t kGroupText = 255;
constexpr size_t kPathText = 259;
constexpr size_t kListText = 255;
constexpr size_t kNameMax = shared::kAccountNameMax;

std::string numbered(const char* key, int n) { return key + std::to_string(n); }

double parse_real(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return value;
}

std::vector<std::string> read_list(const shared::IniFile& ini, const char* key, size_t max) {
  std::vector<std::string> list;
  for (int d = 0;; ++d) {
    std::string value = ini.get(kSection, numbered(key, d), "", max);
    if (value.empty()) break;
    list.push_back(std::move(value));
  }
  return list;
}

void read_identity(const shared::IniFile& ini, AccountRecord& r) {
  r.name = ini.get(kSection, "Name", "anonymous", kNameMax);
  r.password = ini.get(kSection, "PassWord", "", kLongText);
  r.email = ini.get(kSection, "Email", "", kLongText);
  r.refuse_user = ini.get_int(kSection, "RefuseUser", 0) != 0;
  r.saved_credit = ini.get_int(kSection, "SavedCredit", 0) != 0;
  r.now_credit = parse_real(ini.get(kSection, "NowCredit", "0", kLongText));
}

void read_user_page(const shared::IniFile& ini, AccountRecord& r) {
  r.need_password = ini.get_int(kSection, "NeedPassWord", 1) != 0;
  r.need_email = ini.get_int(kSection, "NeedEmailAddr", 0) != 0;
  r.use_group = ini.get_int(kSection, "UseGroup", 0) != 0;
  r.group = ini.get(kSection, "Group", "", kGroupText);
  r.user_home_dir = ini.get(kSection, "UserHomeDir", "", kLongText);
}

void read_folders(const shared::IniFile& ini, AccountRecord& r, const std::string& default_home) {
  r.home_dir = ini.get(kSection, "HomeDir", default_home, kLongText);
  const std::vector<std::string> paths = read_list(ini, "Dir", kPathText);
  for (size_t d = 0; d < paths.size(); ++d) {
    const int prhb = ini.get_int(kSection, numbered("Prhb", static_cast<int>(d)), 0);
    r.folders.push_back({paths[d], folder_mask_from_disk(prhb)});
  }
}

void read_limits(const shared::IniFile& ini, AccountRecord& r) {
  r.max_con_per_user = ini.get_int(kSection, "MaxConPerUser", 0);
  r.max_con_per_ip = ini.get_int(kSection, "MaxConPerIP", 0);
  r.connect_time = ini.get_int(kSection, "ConnectTime", 0);
  r.idle_time = ini.get_int(kSection, r.info_version != 0 ? "IdleTime" : "IdolTime", 0);
  r.use_rate = ini.get_int(kSection, "UseRate", 0) != 0;
  r.save_credit = ini.get_int(kSection, "SaveCredit", 0) != 0;
  r.rate_up = ini.get_int(kSection, "RateUp", 0);
  r.rate_down = ini.get_int(kSection, "RateDown", 0);
  r.credit_kb = static_cast<uint32_t>(ini.get_int(kSection, "Credit", 0)) / 1024;
  r.use_limit_capacity = ini.get_int(kSection, "UseLmitCapacity", 0) != 0;
  r.up_bps = ini.get_int(kSection, "UpBps", 0);
  r.down_bps = ini.get_int(kSection, "DownBps", 0);
}

void read_per_user(const shared::IniFile& ini, AccountRecord& r) {
  r.user_kinshi = static_cast<uint32_t>(ini.get_int(kSection, "UserKinshi", 0)) & 0xFFFF;
  r.pasv = ini.get_int(kSection, "PASV", 0) != 0;
  r.require_tls = ini.get_int(kSection, "RequireTLS", 0) != 0;
  r.use_complete_message = ini.get_int(kSection, "UseCompleteMessage", 0) != 0;
  r.use_known_id_message = ini.get_int(kSection, "UseKnownIDMessage", 0) != 0;
  r.use_logon_message = ini.get_int(kSection, "UseLogOnMessage", 0) != 0;
  r.message_226 = load_message(ini.path(), 226);
  r.message_230 = load_message(ini.path(), 230);
  r.message_3310 = load_message(ini.path(), 3310);
  r.message_220 = load_message(ini.path(), 220);
  r.message_3311 = load_message(ini.path(), 3311);
}

using Changes = std::vector<platform::ProfileChange>;

void put(Changes& c, const char* key, std::string value) { c.push_back({key, std::move(value)}); }
void put(Changes& c, const char* key, long long value) { put(c, key, std::to_string(value)); }

// A list numbered from 0, then the next number written empty as its end mark.
void put_list(Changes& c, const char* key, const std::vector<std::string>& list) {
  for (size_t d = 0; d < list.size(); ++d) c.push_back({numbered(key, static_cast<int>(d)), list[d]});
  c.push_back({numbered(key, static_cast<int>(list.size())), std::string()});
}

void put_folders(Changes& c, const std::vector<FolderEntry>& folders) {
  for (size_t d = 0; d < folders.size(); ++d) {
    const int n = static_cast<int>(d);
    c.push_back({numbered("Dir", n), folders[d].path});
    c.push_back({numbered("Prhb", n), std::to_string(folder_mask_to_disk(folders[d].mask))});
  }
  const int end = static_cast<int>(folders.size());
  c.push_back({numbered("Dir", end), std::string()});
  c.push_back({numbered("Prhb", end), std::string()});
}

// The number of key when it is prefix followed by decimal digits only.
std::optional<long long> list_number(const std::string& key, std::string_view prefix) {
  if (key.size() <= prefix.size() || key.size() > prefix.size() + 9) return std::nullopt;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char ch) { return (ch >= 'A' && ch <= 'Z') ? char(ch - 'A' + 'a') : ch; };
    if (lower(key[i]) != lower(prefix[i])) return std::nullopt;
  }
  long long n = 0;
  for (size_t i = prefix.size(); i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return std::nullopt;
    n = n * 10 + (key[i] - '0');
  }
  return n;
}

// Entries of a longer list saved before lie beyond the new end mark: the Core sizes
// ProhIP by probing even numbers only, so a left-over ProhIP4 would come back to life
// behind an end mark at 3. They are removed.
void drop_left_overs(Changes& c, const std::string& file, const char* key, size_t end) {
  for (const std::string& existing : platform::profile_key_names(file, kSection)) {
    const auto n = list_number(existing, key);
    if (n && *n > static_cast<long long>(end)) c.push_back({existing, std::nullopt});
  }
}

void put_identity(Changes& c, const AccountRecord& r, bool group_file) {
  put(c, "UserInfoVer", 100);
  put(c, "Name", r.name);
  put(c, "PassWord", r.password);
  put(c, "SavedCredit", r.saved_credit ? 1 : 0);
  if (r.saved_credit) put(c, "NowCredit", shared::format_bounded(512, "%f", r.now_credit));
  put(c, "RefuseUser", r.refuse_user ? 1 : 0);
  if (group_file) return;
  if (r.group.empty()) {
    put(c, "UseGroup", 0);
  } else {
    put(c, "UseGroup", r.use_group ? 1 : 0);
    put(c, "Group", r.group);
  }
  put(c, "Email", r.email);
}

void put_limits(Changes& c, const AccountRecord& r) {
  put(c, "HomeDir", r.home_dir);
  put(c, "MaxConPerUser", r.max_con_per_user);
  put(c, "MaxConPerIP", r.max_con_per_ip);
  put(c, "UseRate", r.use_rate ? 1 : 0);
  put(c, "UseLmitCapacity", r.use_limit_capacity ? 1 : 0);
  put(c, "SaveCredit", r.save_credit ? 1 : 0);
  put(c, "ConnectTime", r.connect_time);
  put(c, "IdleTime", r.idle_time);
  put(c, "RateUp", r.rate_up);
  put(c, "RateDown", r.rate_down);
  // The Core takes Credit as an unsigned 32-bit value read through a signed integer:
  // counts above 2^31 are written in their signed form so that they read back whole.
  put(c, "Credit", static_cast<int32_t>(r.credit_kb * 1024u));
  put(c, "UpBps", r.up_bps);
  put(c, "DownBps", r.down_bps);
}

}  // namespace

AccountRecord load_account_record(const std::string& file, bool with_identity,
                                  const std::string& default_home) {
  const shared::IniFile ini(file);
  AccountRecord r;
  r.info_version = ini.get_int(kSection, "UserInfoVer", 0);
  if (with_identity) read_identity(ini, r);
  read_user_page(ini, r);
  read_folders(ini, r, default_home);
  read_limits(ini, r);
  r.prohibited_hosts = read_list(ini, "ProhIP", kListText);
  r.prohibited_mails = read_list(ini, "ProhMail", kListText);
  read_per_user(ini, r);
  return r;
}

bool save_account_record(const std::string& file, const AccountRecord& r, bool group_file) {
  Changes c;
  put_identity(c, r, group_file);
  put(c, "UserHomeDir", r.user_home_dir);
  put(c, "NeedPassWord", r.need_password ? 1 : 0);
  put(c, "NeedEmailAddr", r.need_email ? 1 : 0);
  put_folders(c, r.folders);
  put_limits(c, r);
  put_list(c, "ProhMail", r.prohibited_mails);
  put_list(c, "ProhIP", r.prohibited_hosts);
  put(c, "PASV", r.pasv ? 1 : 0);
  put(c, "UserKinshi", r.user_kinshi & 0xFFFF);
  put(c, "UseKnownIDMessage", r.use_known_id_message ? 1 : 0);
  put(c, "UseCompleteMessage", r.use_complete_message ? 1 : 0);
  put(c, "UseLogOnMessage", r.use_logon_message ? 1 : 0);
  put(c, "RequireTLS", r.require_tls ? 1 : 0);
  drop_left_overs(c, file, "Dir", r.folders.size());
  drop_left_overs(c, file, "Prhb", r.folders.size());
  drop_left_overs(c, file, "ProhMail", r.prohibited_mails.size());
  drop_left_overs(c, file, "ProhIP", r.prohibited_hosts.size());
  if (!platform::profile_write_strings(file, kSection, c)) return false;
  bool ok = save_message(file, 226, r.message_226);
  ok = save_message(file, 230, r.message_230) && ok;
  ok = save_message(file, 3310, r.message_3310) && ok;
  ok = save_message(file, 220, r.message_220) && ok;
  ok = save_message(file, 3311, r.message_3311) && ok;
  return ok;
}

bool account_is_open(const AccountRecord& r) {
  // A group decides what is asked; the account's own password is what is compared.
  if (r.use_group && !r.group.empty()) return r.password.empty();
  return !r.need_password || r.password.empty();
}

bool is_system_folder(const std::string& path) {
  // Lexically folded: "." and ".." parts and repeated '/' do not hide a system folder.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  if (parts.empty()) return true;
  static const char* const kWhole[] = {"bin", "boot", "dev", "etc", "lib", "lib32", "lib64",
                                       "libx32", "proc", "root", "run", "sbin", "sys", "usr", "var"};
  for (const char* top : kWhole) {
    if (parts[0] == top) return true;  // the folder and everything in it
  }
  return parts.size() == 1 && parts[0] == "home";  // every user's home at once
}

bool acceptable_account_name(const std::string& name) {
  return shared::acceptable_account_name(name);
}

}  // namespace manager
