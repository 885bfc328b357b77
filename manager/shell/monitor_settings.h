// The [System] and [Log] values the Manager applies while it runs: the log pane's line
// limit, the idle and elapsed notes, the size display, the dial-up keep-alive and the
// stop-on-close switch. Read when the main view starts and after the system settings
// dialog closes.
#pragma once
#include <string>

namespace manager {

struct MonitorSettings {
  int sys_ini_ver = 100;       // SysIniVer (chooses the idle-time key)
  int max_connect = 0;         // MaxConnect
  int max_log_lines = 3000;    // MaxLogChar, 65535 when 0 or less or above 65534
  int idle_seconds = 0;        // WaitViewIdleTime (WaitViewIdolTime when SysIniVer is 0)
  int down_seconds = 0;        // WaitViewDownTime
  bool adjust_digits = true;   // AdjDigit
  int global_ip = 0;           // GlobalIP, clipped to 0..2
  bool ras_connect = false;    // RASConnect
  bool close_server = false;   // CloseSrv
  bool service = false;        // Service
};

MonitorSettings load_monitor_settings(const std::string& ini_file);
// The MaxLogChar rule on its own.
int normalized_log_lines(int max_log_char);

}  // namespace manager
