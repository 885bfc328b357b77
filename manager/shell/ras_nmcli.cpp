#include "manager/shell/ras_nmcli.h"

#include "platform/process.h"
#include "platform/thread.h"

namespace manager {

namespace {

constexpr int kQueryTimeoutMs = 10000;
constexpr uint32_t kDialFailed = 1;  // the error code of a dial that nmcli refused

const char* const kNoNmcli = "NetworkManager (nmcli) が見つかりません。RASは使えません。";
const char* const kNotRunning = "NetworkManager が動いていません。RASは使えません。";

std::vector<std::string> output_lines(const std::string& output) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : output) {
    if (c == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

struct NmcliRas::Dial {
  std::string entry;
  RasProgress progress;
  bool hung_up = false;  // guarded by the service's lock
  platform::Thread thread;
};

std::string nmcli_program() {
  return platform::environment_variable("VELMORAFTPD_NMCLI").value_or("/usr/bin/nmcli");
}

std::vector<std::string> split_terse_line(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      fields.back() += line[++i];
    } else if (line[i] == ':') {
      fields.emplace_back();
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

NmcliRas::NmcliRas(std::string program) : program_(std::move(program)) {
  const auto result = platform::run_program(program_, {"-t", "-f", "RUNNING", "general"},
                                            kQueryTimeoutMs);
  if (!result || result->exit_code != 0) {
    reason_ = kNoNmcli;
  } else if (output_lines(result->output) != std::vector<std::string>{"running"}) {
    reason_ = kNotRunning;
  }
}

NmcliRas::~NmcliRas() {
  std::map<RasHandle, std::shared_ptr<Dial>> dials;
  {
    std::lock_guard<std::mutex> guard(lock_);
    dials.swap(dials_);
    for (auto& [handle, dial] : dials) dial->hung_up = true;
  }
  for (auto& [handle, dial] : dials) dial->thread.join();
}

std::optional<std::vector<std::string>> NmcliRas::names(bool active_only) {
  std::vector<std::string> arguments = {"-t", "-f", "NAME,TYPE", "connection", "show"};
  if (active_only) arguments.push_back("--active");
  const auto result = platform::run_program(program_, arguments, kQueryTimeoutMs);
  if (!result || result->exit_code != 0) return std::nullopt;
  std::vector<std::string> list;
  for (const std::string& line : output_lines(result->output)) {
    const std::vector<std::string> fields = split_terse_line(line);
    if (fields.size() >= 2 && fields[1] == "loopback") continue;
    if (!fields[0].empty()) list.push_back(fields[0]);
  }
  return list;
}

std::optional<std::vector<std::string>> NmcliRas::entries() {
  if (!available()) return std::nullopt;
  return names(false);
}

std::optional<RasCredentials> NmcliRas::credentials(const std::string&) {
  if (!available()) return std::nullopt;
  return RasCredentials{};
}

RasDialStart NmcliRas::dial(const RasDialParams& params, RasProgress progress) {
  if (!available()) return {};
  auto dial = std::make_shared<Dial>();
  dial->entry = params.entry;
  dial->progress = std::move(progress);
  RasHandle handle = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    handle = ++next_handle_;
    dials_[handle] = dial;
  }
  if (!dial->thread.start([this, dial] { run_dial(dial); })) {
    std::lock_guard<std::mutex> guard(lock_);
    dials_.erase(handle);
    return {};
  }
  return {true, handle};
}

// Progress goes out under the lock, so that none follows a hang-up.
void NmcliRas::run_dial(const std::shared_ptr<Dial>& dial) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (dial->hung_up) return;
    dial->progress(kRasConnectDevice, 0);
  }
  const auto result = platform::run_program(program_, {"connection", "up", "id", dial->entry},
                                            kDialTimeoutMs);
  std::lock_guard<std::mutex> guard(lock_);
  if (dial->hung_up) return;
  if (result && result->exit_code == 0) {
    dial->progress(kRasConnected, 0);
  } else {
    dial->progress(kRasConnectDevice, kDialFailed);
  }
}

// A dial still running is stopped from reporting and its connection brought down; the
// thread ends when its nmcli call returns. A connection that came up stays listed until
// the service ends.
void NmcliRas::hang_up(RasHandle handle) {
  std::shared_ptr<Dial> dial;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = dials_.find(handle);
    if (found == dials_.end()) return;
    dial = found->second;
    dial->hung_up = true;
  }
  platform::run_program(program_, {"connection", "down", "id", dial->entry}, kQueryTimeoutMs);
}

std::optional<int> NmcliRas::connection_count() {
  if (!available()) return std::nullopt;
  const auto active = names(true);
  if (!active) return std::nullopt;
  return static_cast<int>(active->size());
}

std::optional<bool> NmcliRas::entry_connected(const std::string& entry) {
  if (!available()) return std::nullopt;
  const auto active = names(true);
  if (!active) return std::nullopt;
  for (const std::string& name : *active) {
    if (name == entry) return true;
  }
  return false;
}

}  // namespace manager
