// Every key the system settings dialog edits in velmoraFTPd.ini, as one plain record:
// loaded with the editor's defaults and written back in one fixed order.
#pragma once
#include <string>
#include <vector>

#include "platform/profile.h"

namespace manager {

struct SystemSettings {
  // [System]
  int sys_ini_ver = 0;  // as loaded; always written as 100
  int port = 21;
  int max_connect = 0;
  int start_server = 0;
  int save_usr_min = 0;
  int global_ip = 0;
  int ras_connect = 0;
  int source_port = 0;
  int min_run = 0;
  int buffer_size = 1024;
  int pasv_port_low = 0;
  int pasv_port_high = 0;
  int close_srv = 0;
  int service = 0;
  int core_listen_port = 54253;
  int use_global_ip = 0;
  int use_client_global_ip = 0;
  int login_fail_delay = 1000;  // milliseconds
  int login_fail_limit = 10;
  int login_lock_minutes = 10;
  int login_timeout = 60;  // seconds
  // [UserInfo]
  int use_welcome_message = 0;
  int use_unknown_message = 0;
  // [Log]
  int log_all_cmd = 0;
  int log_all_comment = 1;
  int log_all_file = 1;
  int max_log_char = 3000;
  int wait_view_idle_time = 0;  // WaitViewIdolTime when the loaded SysIniVer is 0
  int wait_view_down_time = 0;
  int ip2host = 0;
  int adj_digit = 1;
  // [UnKnownID]
  int refuse = 1;
  int mail_pass = 0;
  int make_account = 0;
  std::string group;
  std::string smtp;
  std::string mail;
  std::string mail_title;
  // [TLS]
  int tls_enable = 0;
  std::string tls_certificate;
  std::string tls_private_key;
  int tls_implicit_port = 0;
  int tls_require_for_login = 0;
  int tls_require_for_data = 0;
  int tls_require_reuse = 1;
  // [UnKnownID] mail server
  int smtp_port = 25;          // SmtpPort
  int smtp_tls = 1;            // SmtpTls: 0 never, 1 when the server offers it, 2 required
  std::string smtp_user;       // SmtpUser: AUTH PLAIN or LOGIN when not empty
  std::string smtp_password;   // SmtpPass
};

inline constexpr int kSysIniVersion = 100;

SystemSettings load_system_settings(const std::string& ini_file);
// Writes [System], [UserInfo], [Log], [UnKnownID] and [TLS] in that order, each section's keys in
// the dialog's order; SysIniVer as 100 and the idle time as WaitViewIdleTime.
// All of it or (false) nothing is written.
bool save_system_settings(const std::string& ini_file, const SystemSettings& settings);
std::vector<platform::ProfileSectionChanges> system_settings_changes(const SystemSettings& settings);

}  // namespace manager
