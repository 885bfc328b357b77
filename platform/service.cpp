// The service manager stand-in: a systemd unit written, enabled and removed through
// systemctl; stop signals delivered to one waiting thread.
#include "platform/service.h"

#include <signal.h>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/thread.h"

namespace platform {
namespace {

constexpr int kSystemctlTimeoutMs = 60000;

std::string unit_folder() {
  std::string folder =
      environment_variable("VELMORAFTPD_UNIT_DIR").value_or("/etc/systemd/system");
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string unit_path() { return unit_folder() + kServiceName + ".service"; }

// The systemctl program as a path that can be run; none when there is none.
std::optional<std::string> systemctl_program() {
  std::string command = environment_variable("VELMORAFTPD_SYSTEMCTL").value_or("systemctl");
  if (command.empty()) return std::nullopt;
  if (command.find('/') != std::string::npos)
    return access(command.c_str(), X_OK) == 0 ? std::optional(command) : std::nullopt;
  std::string path = environment_variable("PATH").value_or("/usr/bin:/bin");
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    if (folder.empty()) folder = ".";
    std::string candidate = folder + "/" + command;
    if (access(candidate.c_str(), X_OK) == 0 && !is_directory(candidate)) return candidate;
    start = end + 1;
  }
  return std::nullopt;
}

bool run_systemctl(const std::string& program, const std::vector<std::string>& arguments) {
  auto child = spawn_process(program, arguments, {}, "/dev/null");
  if (!child) return false;
  std::optional<int> code = wait_process(*child, kSystemctlTimeoutMs);
  if (!code) {
    signal_process(*child, kSignalKill);
    wait_process(*child, -1);
    return false;
  }
  return *code == 0;
}

// One word of a unit file line: '%' doubled (specifiers), quoted when it holds blanks,
// quotes or backslashes.
std::string unit_word(const std::string& text) {
  std::string escaped;
  bool quote = false;
  for (char c : text) {
    if (c == '%') {
      escaped += "%%";
      continue;
    }
    if (c == '"' || c == '\\') {
      escaped += '\\';
      quote = true;
    }
    if (c == ' ' || c == '\t' || c == '\'') quote = true;
    escaped += c;
  }
  return quote ? "\"" + escaped + "\"" : escaped;
}

}  // namespace

// The Core needs nothing of root once its ports are open, and under this unit it never
// has root at all: it runs as the service user with the one capability of binding ports
// below 1024 (it reads getifaddrs through netlink, which is not allowed; the passive-mode
// address then comes from the control connection).
std::string service_unit_text(const std::string& executable, const std::string& user) {
  std::string text =
      "[Unit]\n"
      "Description=velmoraFTPd FTP server\n"
      "After=network.target\n"
      "\n"
      "[Service]\n"
      "Type=simple\n"
      "ExecStart=" + unit_word(executable) + "\n";
  if (auto home = environment_variable("VELMORAFTPD_HOME"); home && !home->empty())
    text += "Environment=" + unit_word("VELMORAFTPD_HOME=" + *home) + "\n";
  text +=
      "User=" + unit_word(user) + "\n"
      "UMask=0007\n"
      "AmbientCapabilities=CAP_NET_BIND_SERVICE\n"
      "CapabilityBoundingSet=CAP_NET_BIND_SERVICE\n"
      "NoNewPrivileges=yes\n"
      "PrivateTmp=yes\n"
      "ProtectSystem=full\n"
      "RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX\n"
      "Restart=on-failure\n"
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n";
  return text;
}

namespace {

std::string last_error_text() { return strerror(errno); }

bool has_line_break(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

bool started_by_service_manager() {
  auto id = environment_variable("INVOCATION_ID");
  return id && !id->empty();
}

ServiceResult install_service(const std::string& executable, const std::string& user,
                              std::string* reason) {
  auto fail = [reason](const std::string& why) {
    if (reason) *reason = why;
    return ServiceResult::Failed;
  };
  if (!is_directory(unit_folder())) return ServiceResult::NoServiceManager;
  auto systemctl = systemctl_program();
  if (!systemctl) return ServiceResult::NoServiceManager;
  auto home = environment_variable("VELMORAFTPD_HOME");
  if (executable.empty() || has_line_break(executable) || (home && has_line_break(*home)) ||
      user.empty() || has_line_break(user))
    return fail("the program path, VELMORAFTPD_HOME or the user name cannot go into a unit");
  if (!write_file_atomically(unit_path(), service_unit_text(executable, user)))
    return fail("cannot write " + unit_path() + " (" + last_error_text() + ")");
  if (!run_systemctl(*systemctl, {"daemon-reload"})) return fail("systemctl daemon-reload failed");
  if (!run_systemctl(*systemctl, {"enable", std::string(kServiceName) + ".service"}))
    return fail("systemctl enable velmoraftpd.service failed");
  return ServiceResult::Done;
}

ServiceResult remove_service() {
  if (!is_directory(unit_folder())) return ServiceResult::NoServiceManager;
  auto systemctl = systemctl_program();
  if (!systemctl) return ServiceResult::NoServiceManager;
  if (!path_exists(unit_path())) return ServiceResult::Failed;
  if (!run_systemctl(*systemctl, {"disable", std::string(kServiceName) + ".service"}))
    return ServiceResult::Failed;
  if (!remove_file(unit_path())) return ServiceResult::Failed;
  if (!run_systemctl(*systemctl, {"daemon-reload"})) return ServiceResult::Failed;
  return ServiceResult::Done;
}

bool service_manager_available() {
  return is_directory(unit_folder()) && systemctl_program().has_value();
}

bool service_installed() { return path_exists(unit_path()); }

ServiceState service_state() {
  auto systemctl = systemctl_program();
  if (!systemctl) return ServiceState::Unknown;
  auto result =
      run_program(*systemctl, {"is-active", std::string(kServiceName) + ".service"},
                  kSystemctlTimeoutMs);
  if (!result) return ServiceState::Unknown;
  std::string word = result->output.substr(0, result->output.find_first_of("\r\n"));
  if (word == "active" || word == "reloading") return ServiceState::Active;
  if (word == "activating") return ServiceState::Starting;
  if (word == "inactive" || word == "failed" || word == "deactivating")
    return ServiceState::Stopped;
  return ServiceState::Unknown;
}

bool start_service() {
  auto systemctl = systemctl_program();
  if (!systemctl) return false;
  return run_systemctl(*systemctl, {"start", std::string(kServiceName) + ".service"});
}

void handle_stop_signals(std::function<void()> on_stop) {
  signal(SIGPIPE, SIG_IGN);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  // The stop sequence runs on this thread: give it a roomier stack than a session's.
  start_detached_thread(
      [stop, on_stop = std::move(on_stop)] {
        int received = 0;
        while (sigwait(&stop, &received) != 0) {
        }
        if (on_stop) on_stop();
      },
      256 * 1024);
}

}  // namespace platform
