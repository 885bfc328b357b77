#include "manager/shell/monitor_settings.h"

#include <algorithm>

#include "shared/ini.h"

namespace manager {

int normalized_log_lines(int max_log_char) {
  if (max_log_char <= 0 || max_log_char > 65534) return 65535;
  return max_log_char;
}

MonitorSettings load_monitor_settings(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  MonitorSettings s;
  s.sys_ini_ver = ini.get_int("System", "SysIniVer", 100);
  s.max_connect = ini.get_int("System", "MaxConnect", 0);
  s.max_log_lines = normalized_log_lines(ini.get_int("Log", "MaxLogChar", 3000));
  const char* idle_key = s.sys_ini_ver != 0 ? "WaitViewIdleTime" : "WaitViewIdolTime";
  s.idle_seconds = ini.get_int("Log", idle_key, 0);
  s.down_seconds = ini.get_int("Log", "WaitViewDownTime", 0);
  s.adjust_digits = ini.get_int("Log", "AdjDigit", 1) != 0;
  s.global_ip = std::clamp(ini.get_int("System", "GlobalIP", 0), 0, 2);
  s.ras_connect = ini.get_int("System", "RASConnect", 0) != 0;
  s.close_server = ini.get_int("System", "CloseSrv", 0) != 0;
  s.service = ini.get_int("System", "Service", 0) != 0;
  return s;
}

}  // namespace manager
