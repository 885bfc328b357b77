#include "manager/editors/system_settings.h"

#include <vector>

#include "platform/profile.h"
#include "shared/ini.h"

namespace manager {
namespace {

// Texts of [UnKnownID] are read like the mail settings: 255 characters at most.
constexpr size_t kTextMax = 255;

struct IntKey {
  const char* section;
  const char* key;
  int SystemSettings::*member;
};

struct TextKey {
  const char* section;
  const char* key;
  std::string SystemSettings::*member;
};

// Every key in the order it is written: the sections in file order, each section's
// numbers before its texts. Defaults are those of a fresh SystemSettings.
constexpr IntKey kIntKeys[] = {
    {"System", "SysIniVer", &SystemSettings::sys_ini_ver},
    {"System", "Port", &SystemSettings::port},
    {"System", "SourcePort", &SystemSettings::source_port},
    {"System", "MaxConnect", &SystemSettings::max_connect},
    {"System", "StartServer", &SystemSettings::start_server},
    {"System", "SaveUsrMin", &SystemSettings::save_usr_min},
    {"System", "GlobalIP", &SystemSettings::global_ip},
    {"System", "RASConnect", &SystemSettings::ras_connect},
    {"System", "MinRun", &SystemSettings::min_run},
    {"System", "BufferSize", &SystemSettings::buffer_size},
    {"System", "PasvPortl", &SystemSettings::pasv_port_low},
    {"System", "PasvPorth", &SystemSettings::pasv_port_high},
    {"System", "CloseSrv", &SystemSettings::close_srv},
    {"System", "Service", &SystemSettings::service},
    {"System", "FtpdCoreListenPort", &SystemSettings::core_listen_port},
    {"System", "UseGlobalIp", &SystemSettings::use_global_ip},
    {"System", "UseClientGlobalIp", &SystemSettings::use_client_global_ip},
    {"System", "LoginFailDelay", &SystemSettings::login_fail_delay},
    {"System", "LoginFailLimit", &SystemSettings::login_fail_limit},
    {"System", "LoginLockMinutes", &SystemSettings::login_lock_minutes},
    {"System", "LoginTimeout", &SystemSettings::login_timeout},
    {"UserInfo", "UseWelcomeMessage", &SystemSettings::use_welcome_message},
    {"UserInfo", "UseUnKnownMessage", &SystemSettings::use_unknown_message},
    {"Log", "LogAllCmd", &SystemSettings::log_all_cmd},
    {"Log", "LogAllComment", &SystemSettings::log_all_comment},
    {"Log", "LogAllFile", &SystemSettings::log_all_file},
    {"Log", "MaxLogChar", &SystemSettings::max_log_char},
    {"Log", "WaitViewIdleTime", &SystemSettings::wait_view_idle_time},
    {"Log", "WaitViewDownTime", &SystemSettings::wait_view_down_time},
    {"Log", "Ip2Host", &SystemSettings::ip2host},
    {"Log", "AdjDigit", &SystemSettings::adj_digit},
    {"UnKnownID", "Refuse", &SystemSettings::refuse},
    {"UnKnownID", "MailPass", &SystemSettings::mail_pass},
    {"UnKnownID", "MakeAcount", &SystemSettings::make_account},
    {"TLS", "Enable", &SystemSettings::tls_enable},
    {"TLS", "ImplicitPort", &SystemSettings::tls_implicit_port},
    {"TLS", "RequireForLogin", &SystemSettings::tls_require_for_login},
    {"TLS", "RequireForData", &SystemSettings::tls_require_for_data},
    {"TLS", "RequireReuse", &SystemSettings::tls_require_reuse},
    {"UnKnownID", "SmtpPort", &SystemSettings::smtp_port},
    {"UnKnownID", "SmtpTls", &SystemSettings::smtp_tls},
};

constexpr TextKey kTextKeys[] = {
    {"UnKnownID", "Smtp", &SystemSettings::smtp},
    {"UnKnownID", "Mail", &SystemSettings::mail},
    {"UnKnownID", "Group", &SystemSettings::group},
    {"UnKnownID", "MailTitle", &SystemSettings::mail_title},
    {"TLS", "Certificate", &SystemSettings::tls_certificate},
    {"TLS", "PrivateKey", &SystemSettings::tls_private_key},
    {"UnKnownID", "SmtpUser", &SystemSettings::smtp_user},
    {"UnKnownID", "SmtpPass", &SystemSettings::smtp_password},
};

constexpr const char* kSections[] = {"System", "UserInfo", "Log", "UnKnownID", "TLS"};

// Files written before SysIniVer existed spell the idle time "WaitViewIdolTime"; SysIniVer
// comes first in kIntKeys, so it is known when the idle time is read.
const char* load_key(const IntKey& entry, const SystemSettings& s) {
  if (entry.member == &SystemSettings::wait_view_idle_time && s.sys_ini_ver == 0) {
    return "WaitViewIdolTime";
  }
  return entry.key;
}

int saved_value(const IntKey& entry, const SystemSettings& s) {
  return entry.member == &SystemSettings::sys_ini_ver ? kSysIniVersion : s.*entry.member;
}

std::vector<platform::ProfileChange> section_changes(const std::string& section,
                                                     const SystemSettings& s) {
  std::vector<platform::ProfileChange> changes;
  for (const IntKey& entry : kIntKeys) {
    if (section != entry.section) continue;
    changes.push_back({entry.key, std::to_string(saved_value(entry, s))});
  }
  for (const TextKey& entry : kTextKeys) {
    if (section == entry.section) changes.push_back({entry.key, s.*entry.member});
  }
  return changes;
}

}  // namespace

SystemSettings load_system_settings(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  const SystemSettings defaults;
  SystemSettings settings;
  for (const IntKey& entry : kIntKeys) {
    settings.*entry.member =
        ini.get_int(entry.section, load_key(entry, settings), defaults.*entry.member);
  }
  for (const TextKey& entry : kTextKeys) {
    settings.*entry.member = ini.get(entry.section, entry.key, defaults.*entry.member, kTextMax);
  }
  return settings;
}

std::vector<platform::ProfileSectionChanges> system_settings_changes(const SystemSettings& s) {
  std::vector<platform::ProfileSectionChanges> all;
  for (const char* section : kSections) all.push_back({section, section_changes(section, s)});
  return all;
}

bool save_system_settings(const std::string& ini_file, const SystemSettings& s) {
  return platform::profile_write_sections(ini_file, system_settings_changes(s));
}

}  // namespace manager
