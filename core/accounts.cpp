#include "core/accounts.h"

#include <charconv>
#include <optional>
#include <vector>
#include <cmath>
#include <random>

#include "core/messages.h"
#include "core/server.h"
#include "core/session_fault.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "shared/account_name.h"
#include "shared/bounded_text.h"
#include "shared/ini.h"

namespace core {

namespace {

constexpr const char* kSection = "UserInfo";
constexpr size_t kLongText = 511;   // password, e-mail, home directory
constexpr size_t kGroupText = 255;
constexpr size_t kPathText = 259;   // a 260-byte path buffer
constexpr int kPluginListMax = 1024;

bool is_regular_file(const std::string& path) {
  const auto info = platform::file_info(path);
  return info && !info->is_directory;
}

std::string with_trailing_separator(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// NowCredit: leading blanks, an optional sign, then a decimal number; anything else
// (and a value that is not finite) reads as 0.
double parse_credit(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::general);
  if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
  return value;
}

std::string today_text() {
  const platform::LocalTime t = platform::local_time_now();
  return shared::format_bounded(16, "%02d/%02d/%02d", t.year % 100, t.month, t.day);
}

std::string numbered(const char* key, int n) { return key + std::to_string(n); }

void read_account_keys(Session& s, const shared::IniFile& account, bool& saved_credit) {
  write_field(s, &Session::password, account.get(kSection, "PassWord", "", kLongText));
  write_field(s, &Session::email, account.get(kSection, "Email", "", kLongText));
  write_field(s, &Session::home_directory, account.get(kSection, "UserHomeDir", "", kLongText));
  s.refused_user = account.get_int(kSection, "RefuseUser", 0);
  saved_credit = account.get_int(kSection, "SavedCredit", 0) != 0;
  if (saved_credit) s.credit = parse_credit(account.get(kSection, "NowCredit", "0", kLongText));
}

// The group file when the account uses a group whose file exists, else the account file.
std::string choose_settings_file(Session& s, const shared::IniFile& account) {
  if (account.get_int(kSection, "UseGroup", 0) == 0) {
    write_field(s, &Session::group_name, "");
    return account.path();
  }
  const std::string group = account.get(kSection, "Group", "", kGroupText);
  write_field(s, &Session::group_name, group);
  // The group name becomes part of a path: only a plain file name is looked up.
  if (!acceptable_user_name(group)) return account.path();
  const std::string group_file = core_state().paths.user_directory + group + ".grp";
  return is_regular_file(group_file) ? group_file : account.path();
}

int password_mode(const shared::IniFile& settings) {
  if (settings.get_int(kSection, "NeedPassWord", 1) != 0) return kPassword;
  if (settings.get_int(kSection, "NeedEmailAddr", 0) != 0) return kEmailPassword;
  return kNoPassword;
}

void read_settings_keys(Session& s, const shared::IniFile& settings) {
  const int version = settings.get_int(kSection, "UserInfoVer", 0);
  if (read_field(s, &Session::home_directory).empty()) {
    write_field(s, &Session::home_directory, settings.get(kSection, "HomeDir", "", kLongText));
  }
  write_field(s, &Session::home_directory,
              with_trailing_separator(read_field(s, &Session::home_directory)));
  if (settings.get_int(kSection, "UseRate", 0) != 0) {
    const int up = settings.get_int(kSection, "RateUp", 0);
    const int down = settings.get_int(kSection, "RateDown", 0);
    s.rate = static_cast<uint16_t>((up << 8) | down);
  } else {
    s.rate = kNoRatio;
  }
  s.save_credit = settings.get_int(kSection, "SaveCredit", 0);
  s.capacity_limit = settings.get_int(kSection, "UseLmitCapacity", 0);
  s.idle_minutes = settings.get_int(kSection, version != 0 ? "IdleTime" : "IdolTime", 0);
  s.connect_minutes = settings.get_int(kSection, "ConnectTime", 0);
  s.max_per_host = settings.get_int(kSection, "MaxConPerIP", 0);
  s.max_per_user = settings.get_int(kSection, "MaxConPerUser", 0);
  s.password_mode = password_mode(settings);
  if (settings.get_int(kSection, "PASV", 0) != 0) s.option_flags |= 1;
  s.up_limit = settings.get_int(kSection, "UpBps", 0);
  s.down_limit = settings.get_int(kSection, "DownBps", 0);
  s.forbidden = static_cast<uint16_t>(settings.get_int(kSection, "UserKinshi", 0));
  s.require_tls = settings.get_int(kSection, "RequireTLS", 0) != 0;
}

void read_dir_rules(Session& s, const shared::IniFile& settings) {
  s.dir_rules.clear();
  for (int d = 0;; ++d) {
    std::string path = settings.get(kSection, numbered("Dir", d), "", kPathText);
    if (path.empty()) break;
    DirRule rule;
    rule.flags = static_cast<uint32_t>(settings.get_int(kSection, numbered("Prhb", d), 0));
    rule.path = std::move(path);
    s.dir_rules.push_back(std::move(rule));
  }
}

// The list is sized by probing the even numbers only: with ProhIP0..ProhIP2k present it
// holds ProhIP0..ProhIP(2k+1), a missing entry being an empty pattern.
void read_prohibited_hosts(Session& s, const shared::IniFile& settings) {
  s.prohibited_hosts.clear();
  int count = 0;
  for (int d = 0;; d += 2) {
    if (settings.get(kSection, numbered("ProhIP", d), "", kPathText).empty()) break;
    count = d + 2;
  }
  for (int d = 0; d < count; ++d) {
    s.prohibited_hosts.push_back(settings.get(kSection, numbered("ProhIP", d), "", kPathText));
  }
}

void read_user_plugins(Session& s, const shared::IniFile& settings) {
  int count = settings.get_int("UserPlugIn", "PlugInNum", 0);
  if (count < 0) count = 0;
  if (count > kPluginListMax) count = kPluginListMax;
  std::vector<std::string> paths;
  for (int d = 0; d < count; ++d) {
    paths.push_back(settings.get("UserPlugIn", numbered("Plugin", d), "", kPathText));
  }
  std::vector<int> numbers = fileservice::match_user_plugins(paths);
  std::lock_guard<std::mutex> guard(s.field_lock);
  s.user_plugins = std::move(numbers);
}

std::string account_path(const std::string& name) {
  return core_state().paths.user_directory + name + ".usr";
}

// An account or settings file that exists but cannot be read (no descriptor free, no
// permission) is the session's internal error: taken as empty, it would turn into a
// wrong-password refusal, or a login without the account's limits.
shared::IniFile read_or_fail(const std::string& path) {
  shared::IniFile file = shared::IniFile::read_once(path);
  if (file.read_failed()) raise_session_fault(kInternalServerError);
  return file;
}

}  // namespace

bool acceptable_user_name(const std::string& name) {
  return shared::acceptable_account_name(name);
}

bool account_exists(const std::string& name) {
  return acceptable_user_name(name) && is_regular_file(account_path(name));
}

bool load_account(Session& s) {
  const std::string name = read_field(s, &Session::user_name);
  if (!acceptable_user_name(name)) return false;
  const std::string path = account_path(name);
  if (!is_regular_file(path)) return false;

  s.user_file = path;
  const shared::IniFile account = read_or_fail(path);
  bool saved_credit = false;
  read_account_keys(s, account, saved_credit);

  const std::string settings_file = choose_settings_file(s, account);
  const shared::IniFile settings = settings_file == path ? account : read_or_fail(settings_file);
  if (!saved_credit || settings.get_int(kSection, "SaveCredit", 0) == 0) {
    s.credit = static_cast<double>(static_cast<uint32_t>(settings.get_int(kSection, "Credit", 0)));
  }
  read_settings_keys(s, settings);
  read_dir_rules(s, settings);
  read_prohibited_hosts(s, settings);
  s.message_3310 = build_slot(Slot::Known3310, settings, kAccountSlotSize);
  s.message_226 = build_slot(Slot::Complete226, settings, kAccountSlotSize);
  s.message_230 = build_slot(Slot::Logon230, settings, kAccountSlotSize);
  read_user_plugins(s, settings);
  s.settings_file = settings.path();
  s.account_loaded = true;
  return true;
}

bool create_account(Session& s) {
  const std::string name = read_field(s, &Session::user_name);
  if (!acceptable_user_name(name)) return false;
  const std::string group =
      shared::IniFile(core_state().paths.config_file).get("UnKnownID", "Group", "", kGroupText);
  const std::string email = read_field(s, &Session::email);
  std::optional<std::string> email_value;
  if (!email.empty()) email_value = email;
  // One write: the file never exists without the password it was created with.
  const std::vector<platform::ProfileChange> keys = {
      {"Name", name},
      {"PassWord", read_field(s, &Session::password)},
      {"UseGroup", "1"},
      {"Group", group},
      {"Email", email_value},
      {"LastConnect", today_text()},
  };
  if (!platform::profile_write_strings(account_path(name), kSection, keys)) return false;
  return load_account(s);
}

bool storable_account_text(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  if (text.front() == ' ' || text.back() == ' ') return false;
  return !(text.size() >= 2 && text.front() == '"' && text.back() == '"');
}

void save_at_logout(Session& s) {
  // Only an account that still exists is updated: an account the operator removed while
  // the user was connected is not brought back as a file without its password.
  if (s.user_file.empty() || !is_regular_file(s.user_file)) return;
  // One locked replacement of the file for all keys: a session's end costs one write.
  std::vector<platform::ProfileChange> changes;
  if (s.save_credit != 0) {
    changes.push_back({"NowCredit", shared::format_bounded(512, "%f", s.credit.load())});
    changes.push_back({"SavedCredit", "1"});
  }
  changes.push_back({"LastConnect", today_text()});
  changes.push_back({"Email", read_field(s, &Session::email)});
  platform::profile_write_strings(s.user_file, kSection, changes);
}

// Eight letters from the system's random source; each letter is upper or lower case at
// random. (Seeding a generator with the time made two passwords of one second equal.)
std::string generate_password() {
  std::random_device source;
  std::uniform_int_distribution<int> letter(0, 25);
  std::uniform_int_distribution<int> upper(0, 1);
  std::string password;
  for (int i = 0; i < 8; ++i) {
    const char base = upper(source) != 0 ? 'A' : 'a';
    password += static_cast<char>(base + letter(source));
  }
  return password;
}

}  // namespace core
