#include "core/startup.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "core/admin_channel.h"
#include "core/config.h"
#include "core/listener.h"
#include "core/run_as.h"
#include "core/server.h"
#include "fileservice/global_ip.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/service.h"
#include "platform/users.h"

namespace core {

namespace {

// Start and stop never overlap: a stop signal that arrives while the server is being
// started waits until the start is complete, and one that arrives before it prevents it.
struct Lifecycle {
  std::mutex lock;
  bool started = false;
  bool stopped = false;
};

Lifecycle& lifecycle() {
  static Lifecycle state;
  return state;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void write_line(std::FILE* stream, const std::string& text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}


// A session holds its control connection and, while it transfers, a passive listener or
// a data connection and the file; the Core itself holds a few dozen more (listeners,
// admin channel, logs, plug-ins).
constexpr uint64_t kDescriptorsPerSession = 3;
constexpr uint64_t kDescriptorsOfTheCore = 64;

// Raises the open-file limit as far as the hard limit allows, and says so on standard
// error when that is still too low for MaxConnect sessions.
void raise_open_file_limit_for(int max_connect) {
  const platform::OpenFileLimit limit = platform::raise_open_file_limit();
  if (max_connect <= 0) return;
  const uint64_t needed = static_cast<uint64_t>(max_connect) * kDescriptorsPerSession +
                          kDescriptorsOfTheCore;
  if (limit.soft >= needed) return;
  write_line(stderr, "quorsrv: the open-file limit is " + std::to_string(limit.soft) +
                         ", below the " + std::to_string(needed) + " that MaxConnect=" +
                         std::to_string(max_connect) +
                         " needs; connections beyond it wait until descriptors are free\n");
}

// The unit runs the Core as [System] RunAsUser, or as velmoraftpd; that user must exist.
void install_as_service(const ProgramPaths& paths) {
  std::string user = configured_run_as_user(paths.config_file);
  if (user.empty()) user = platform::kServiceName;
  std::string reason;
  platform::ServiceResult result = platform::ServiceResult::Failed;
  if (!platform::service_manager_available()) {
    result = platform::ServiceResult::NoServiceManager;
  } else if (!platform::find_user(user)) {
    reason = "the service runs as user " + user + ", which does not exist (create it with " +
             "adduser --system --group " + user + ", or set [System] RunAsUser)";
  } else {
    result = platform::install_service(platform::executable_path(), user, &reason);
  }
  switch (result) {
    case platform::ServiceResult::NoServiceManager:
      write_line(stdout, "cant get service control manager\n");
      break;
    case platform::ServiceResult::Done:
      write_line(stdout, "add service success\n");
      break;
    case platform::ServiceResult::Failed:
      write_line(stdout, "error add service\n");
      if (!reason.empty()) write_line(stderr, "quorsrv: " + reason + "\n");
      break;
  }
}

void remove_as_service() {
  switch (platform::remove_service()) {
    case platform::ServiceResult::NoServiceManager:
      write_line(stdout, "cant get service control manager\n");
      break;
    case platform::ServiceResult::Failed:
      write_line(stdout, "error del service\n");
      break;
    case platform::ServiceResult::Done:
      write_line(stdout, "del service complete\n");
      break;
  }
}

// Starts the lookup thread and the FTP listener unless a stop came first. A listener
// that cannot start leaves the Core running with the admin channel only. With a service
// user the Core takes it on once the FTP port is open (or could not be opened); when
// that fails the error line is returned and nothing serves.
bool start_services(const std::string& global_ip_url,
                    const std::optional<platform::UserIdentity>& service_user,
                    std::string& identity_error) {
  Lifecycle& life = lifecycle();
  std::lock_guard<std::mutex> guard(life.lock);
  if (life.stopped) return false;
  fileservice::start_global_ip_lookup(global_ip_url);
  life.started = true;
  bool identity_taken = !service_user;
  auto take_identity = [&] {
    identity_taken = true;
    identity_error = take_on_user(*service_user);
    return identity_error.empty();
  };
  const bool serving = start_server(service_user ? std::function<bool()>(take_identity) : nullptr);
  if (!identity_taken) take_identity();
  if (!identity_error.empty()) return false;
  if (!serving) {
    // Nobody else would tell the operator why no client can connect: standard error,
    // and every Manager that connects (a text event after the snapshot).
    const std::string port = std::to_string(core_state().config.port);
    write_line(stderr, "quorsrv: cannot serve FTP on port " + port +
                           " (in use, not allowed or out of range); only the admin channel runs\n");
    core_state().startup_problem = "FTPポート[" + port +
                                   "]を開けません(使用中、権限なし、または範囲外)。"
                                   "クライアントは接続できません。";
  }
  return true;
}

bool stop_requested() {
  Lifecycle& life = lifecycle();
  std::lock_guard<std::mutex> guard(life.lock);
  return life.stopped;
}

// SIGINT and SIGTERM (the service manager's stop) run the stop sequence, then close the
// admin channel so that the main thread leaves it.
void on_stop_signal() {
  run_stop_sequence();
  close_admin_channel();
}

// The exit code: 0 after a stop, 1 when the service user cannot be taken on.
int serve(const ProgramPaths& paths) {
  const RunAsPlan run_as = plan_run_as_user(configured_run_as_user(paths.config_file),
                                            paths.program_directory);
  if (!run_as.error.empty()) {
    write_line(stderr, run_as.error + "\n");
    return 1;
  }
  const ServerConfig config = load_server_config(paths.config_file);
  raise_open_file_limit_for(config.max_connect);
  platform::NamedMutex running_sign;
  // Another Core may hold the name already; this one goes on regardless.
  running_sign.create("velmoraftpd:" + std::to_string(read_configured_port(paths.config_file)));
  platform::handle_stop_signals(on_stop_signal);
  std::string identity_error;
  const bool started = start_services(config.global_ip_url, run_as.switch_to, identity_error);
  if (started && !stop_requested()) run_admin_channel();
  // The admin channel also returns when it cannot listen; end every thread cleanly.
  run_stop_sequence();
  if (identity_error.empty()) return 0;
  write_line(stderr, identity_error + "\n");
  return 1;
}

}  // namespace

std::vector<std::string> split_command_line(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else if (quoted && line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
        word.push_back('"');
        ++i;
      } else {
        word.push_back(line[i]);
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

int core_main(const std::vector<std::string>& words) {
  const ProgramPaths paths = make_program_paths(platform::program_directory());
  core_state().paths = paths;
  bool process_mode = false;
  for (size_t i = 1; i < words.size(); ++i) {
    if (words[i] == "-ns") {
      process_mode = true;
    } else if (words[i] == "-as") {
      install_as_service(paths);
      return 0;
    } else if (words[i] == "-ds") {
      remove_as_service();
      return 0;
    }
  }
  // Neither asked for by the Manager nor started by the service manager: nothing to do.
  if (!process_mode && !platform::started_by_service_manager()) return 0;
  return serve(paths);
}

void run_stop_sequence() {
  Lifecycle& life = lifecycle();
  std::lock_guard<std::mutex> guard(life.lock);
  if (life.stopped) return;
  life.stopped = true;
  if (!life.started) return;
  stop_server();
  fileservice::stop_global_ip_lookup();
}

}  // namespace core
