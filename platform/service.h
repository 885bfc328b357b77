// The service manager stand-in: systemd. The unit folder and the systemctl command can be
// redirected (VELMORAFTPD_UNIT_DIR, VELMORAFTPD_SYSTEMCTL) so tests never touch the system.
#pragma once
#include <functional>
#include <string>

namespace platform {

inline constexpr const char* kServiceName = "velmoraftpd";

// True when systemd started this process (INVOCATION_ID is set).
bool started_by_service_manager();

enum class ServiceResult { NoServiceManager, Failed, Done };
// Writes velmoraftpd.service (ExecStart = executable, VELMORAFTPD_HOME carried over when
// set) and enables it. The service runs as user with no privilege but binding ports
// below 1024. On Failed, reason (when given) receives one line saying what failed.
ServiceResult install_service(const std::string& executable,
                              const std::string& user = kServiceName,
                              std::string* reason = nullptr);
// The unit install_service writes.
std::string service_unit_text(const std::string& executable, const std::string& user);
// Disables and removes the unit.
ServiceResult remove_service();

// True when the unit folder exists and systemctl can be run.
bool service_manager_available();
// True when velmoraftpd.service exists in the unit folder.
bool service_installed();

// The unit's state as `systemctl is-active` reports it: Active ("active", "reloading"),
// Starting ("activating"), Stopped ("inactive", "failed", "deactivating"); Unknown when
// systemctl cannot be run or answers anything else.
enum class ServiceState { Active, Starting, Stopped, Unknown };
ServiceState service_state();
// `systemctl start velmoraftpd.service`; false when it is refused or cannot be run.
bool start_service();

// Blocks SIGINT, SIGTERM and SIGPIPE in the calling thread (call before any thread
// starts) and starts a thread that calls on_stop once for the first SIGINT or SIGTERM.
void handle_stop_signals(std::function<void()> on_stop);

}  // namespace platform
