// Account (.usr), group (.grp) and template (default_user.ini) files as the account
// editor sees them: every key the editor shows, with its default, read and written
// without any window.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace manager {

// How the user settings dialog was opened.
enum class AccountMode {
  DefaultTemplate = 0,  // default_user.ini, identity keys neither loaded nor editable
  Edit = 1,             // <name>.usr, name fixed
  Add = 2,              // new <name>.usr from the template
  Group = 3,            // <name>.grp
};

// A folder entry: a path and the operations permitted in it (in-memory form).
struct FolderEntry {
  std::string path;
  uint32_t mask = 0;
};

struct AccountRecord {
  int info_version = 0;  // UserInfoVer as loaded (0: the idle key was IdolTime)
  // Identity keys (not loaded for the template and groups).
  std::string name = "anonymous";
  std::string password;
  std::string email;
  bool refuse_user = false;
  bool saved_credit = false;
  double now_credit = 0.0;
  // Page "ユーザー".
  bool need_password = true;
  bool need_email = false;
  bool use_group = false;
  std::string group;
  std::string user_home_dir;
  // Page "ディレクトリ操作".
  std::string home_dir = "/";
  std::vector<FolderEntry> folders;
  // Page "制限".
  int max_con_per_user = 0;
  int max_con_per_ip = 0;
  int connect_time = 0;
  int idle_time = 0;
  bool use_rate = false;
  bool save_credit = false;
  int rate_up = 0;
  int rate_down = 0;
  uint32_t credit_kb = 0;  // Credit holds bytes; the editor shows whole kilobytes
  bool use_limit_capacity = false;
  int up_bps = 0;
  int down_bps = 0;
  // Page "禁止ホスト".
  std::vector<std::string> prohibited_hosts;
  std::vector<std::string> prohibited_mails;
  // Page "ユーザー別".
  uint32_t user_kinshi = 0;
  bool pasv = false;
  bool require_tls = false;  // RequireTLS: log in only over TLS
  bool use_complete_message = false;  // 226
  bool use_known_id_message = false;  // 3310
  bool use_logon_message = false;     // 230
  std::string message_226;
  std::string message_230;
  std::string message_3310;
  std::string message_220;   // kept unchanged
  std::string message_3311;  // kept unchanged
};

// Reads file (a missing file gives every default). Identity keys (Name, PassWord, Email,
// NowCredit, SavedCredit, RefuseUser) are read only when with_identity is set.
// default_home is shown when the file has no HomeDir.
AccountRecord load_account_record(const std::string& file, bool with_identity,
                                  const std::string& default_home = "/");
// Writes every key of the record; a group file gets no UseGroup, Group or Email.
// Numbered lists end with the next number written empty; numbers beyond it left over
// from a longer list are removed. False when the file could not be written.
bool save_account_record(const std::string& file, const AccountRecord& record, bool group_file);

// True when the Core would read an account or group of this name: not empty, at most
// 200 bytes, valid UTF-8 without control bytes, '/' or '\', not starting with '.'.
bool acceptable_account_name(const std::string& name);

// True when the account lets anybody in: no password asked (or a mail address taken as
// one), or an empty password.
bool account_is_open(const AccountRecord& record);
// True for "/" and the folders of the operating system (/etc, /usr, /root, ...), in which
// a home would show the system's files to the account.
bool is_system_folder(const std::string& path);

// The highest initial credit the editor accepts, in kilobytes (the byte count fits 32 bits).
inline constexpr uint32_t kMaxCreditKb = 4194303;

}  // namespace manager
