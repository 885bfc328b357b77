#include "manager/editors/system_settings.h"

#include <optional>
#include <vector>

#include "platform/profile.h"
#include "shared/ini.h"

namespace manager {
namespace {

// Texts of [UnKnownID] are read like the mail settings: 255 characters at most.
constexpr size_t kTextMax = 255;

using Changes = std::vector<platform::ProfileChange>;

void put(Changes& changes, const char* key, int value) {
  changes.push_back({key, std::to_string(value)});
}

void put(Changes& changes, const char* key, const std::string& value) {
  changes.push_back({key, value});
}

void load_system(const shared::IniFile& ini, SystemSettings& s) {
  s.sys_ini_ver = ini.get_int("System", "SysIniVer", 0);
  s.port = ini.get_int("System", "Port", 21);
  s.max_connect = ini.get_int("System", "MaxConnect", 0);
  s.start_server = ini.get_int("System", "StartServer", 0);
  s.save_usr_min = ini.get_int("System", "SaveUsrMin", 0);
  s.global_ip = ini.get_int("System", "GlobalIP", 0);
  s.ras_connect = ini.get_int("System", "RASConnect", 0);
  s.source_port = ini.get_int("System", "SourcePort", 0);
  s.min_run = ini.get_int("System", "MinRun", 0);
  s.buffer_size = ini.get_int("System", "BufferSize", 1024);
  s.pasv_port_low = ini.get_int("System", "PasvPortl", 0);
  s.pasv_port_high = ini.get_int("System", "PasvPorth", 0);
  s.close_srv = ini.get_int("System", "CloseSrv", 0);
  s.service = ini.get_int("System", "Service", 0);
  s.core_listen_port = ini.get_int("System", "FtpdCoreListenPort", 54253);
  s.use_global_ip = ini.get_int("System", "UseGlobalIp", 0);
  s.use_client_global_ip = ini.get_int("System", "UseClientGlobalIp", 0);
}

void load_log(const shared::IniFile& ini, SystemSettings& s) {
  s.log_all_cmd = ini.get_int("Log", "LogAllCmd", 0);
  s.log_all_comment = ini.get_int("Log", "LogAllComment", 1);
  s.log_all_file = ini.get_int("Log", "LogAllFile", 1);
  s.max_log_char = ini.get_int("Log", "MaxLogChar", 3000);
  const char* idle_key = s.sys_ini_ver != 0 ? "WaitViewIdleTime" : "WaitViewIdolTime";
  s.wait_view_idle_time = ini.get_int("Log", idle_key, 0);
  s.wait_view_down_time = ini.get_int("Log", "WaitViewDownTime", 0);
  s.ip2host = ini.get_int("Log", "Ip2Host", 0);
  s.adj_digit = ini.get_int("Log", "AdjDigit", 1);
}

void load_unknown_id(const shared::IniFile& ini, SystemSettings& s) {
  s.refuse = ini.get_int("UnKnownID", "Refuse", 1);
  s.mail_pass = ini.get_int("UnKnownID", "MailPass", 0);
  s.make_account = ini.get_int("UnKnownID", "MakeAcount", 0);
  s.group = ini.get("UnKnownID", "Group", "", kTextMax);
  s.smtp = ini.get("UnKnownID", "Smtp", "", kTextMax);
  s.mail = ini.get("UnKnownID", "Mail", "", kTextMax);
  s.mail_title = ini.get("UnKnownID", "MailTitle", "", kTextMax);
}

Changes system_changes(const SystemSettings& s) {
  Changes c;
  put(c, "SysIniVer", kSysIniVersion);
  put(c, "Port", s.port);
  put(c, "SourcePort", s.source_port);
  put(c, "MaxConnect", s.max_connect);
  put(c, "StartServer", s.start_server);
  put(c, "SaveUsrMin", s.save_usr_min);
  put(c, "GlobalIP", s.global_ip);
  put(c, "RASConnect", s.ras_connect);
  put(c, "MinRun", s.min_run);
  put(c, "BufferSize", s.buffer_size);
  put(c, "PasvPortl", s.pasv_port_low);
  put(c, "PasvPorth", s.pasv_port_high);
  put(c, "CloseSrv", s.close_srv);
  put(c, "Service", s.service);
  put(c, "FtpdCoreListenPort", s.core_listen_port);
  put(c, "UseGlobalIp", s.use_global_ip);
  put(c, "UseClientGlobalIp", s.use_client_global_ip);
  return c;
}

Changes log_changes(const SystemSettings& s) {
  Changes c;
  put(c, "LogAllCmd", s.log_all_cmd);
  put(c, "LogAllComment", s.log_all_comment);
  put(c, "LogAllFile", s.log_all_file);
  put(c, "MaxLogChar", s.max_log_char);
  put(c, "WaitViewIdleTime", s.wait_view_idle_time);
  put(c, "WaitViewDownTime", s.wait_view_down_time);
  put(c, "Ip2Host", s.ip2host);
  put(c, "AdjDigit", s.adj_digit);
  return c;
}

Changes unknown_id_changes(const SystemSettings& s) {
  Changes c;
  put(c, "Refuse", s.refuse);
  put(c, "MailPass", s.mail_pass);
  put(c, "MakeAcount", s.make_account);
  put(c, "Smtp", s.smtp);
  put(c, "Mail", s.mail);
  put(c, "Group", s.group);
  put(c, "MailTitle", s.mail_title);
  return c;
}

}  // namespace

SystemSettings load_system_settings(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  SystemSettings settings;
  load_system(ini, settings);
  load_log(ini, settings);
  load_unknown_id(ini, settings);
  settings.use_welcome_message = ini.get_int("UserInfo", "UseWelcomeMessage", 0);
  settings.use_unknown_message = ini.get_int("UserInfo", "UseUnKnownMessage", 0);
  return settings;
}

bool save_system_settings(const std::string& ini_file, const SystemSettings& s) {
  Changes user_info;
  put(user_info, "UseWelcomeMessage", s.use_welcome_message);
  put(user_info, "UseUnKnownMessage", s.use_unknown_message);
  bool ok = platform::profile_write_strings(ini_file, "System", system_changes(s));
  ok = platform::profile_write_strings(ini_file, "UserInfo", user_info) && ok;
  ok = platform::profile_write_strings(ini_file, "Log", log_changes(s)) && ok;
  ok = platform::profile_write_strings(ini_file, "UnKnownID", unknown_id_changes(s)) && ok;
  return ok;
}

}  // namespace manager
