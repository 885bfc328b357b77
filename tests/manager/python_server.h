// A test server written in Python (tests/manager/servers/), run by the Debian python3 with
// its packages (aiosmtpd, pyftpdlib): started with a free port and a folder of its own,
// waited for until it says it listens, and stopped when the test ends.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/harness.h"

namespace python_server {

class Server {
 public:
  // script: a file name in tests/manager/servers/; arguments follow the port and folder.
  Server(const std::string& script, const std::vector<std::string>& arguments)
      : folder_(harness::make_temp_dir("pyserver")), port_(harness::free_port()) {
    std::vector<std::string> all = {std::string(MANAGER_TEST_SERVERS) + script,
                                    std::to_string(port_), folder_};
    all.insert(all.end(), arguments.begin(), arguments.end());
    auto child = platform::spawn_process("/usr/bin/python3", all, {}, folder_ + "server.log");
    if (child) child_ = *child;
  }
  ~Server() {
    if (child_.pid <= 0) return;
    platform::signal_process(child_, platform::kSignalInterrupt);
    if (!platform::wait_process(child_, 10000)) {
      platform::signal_process(child_, platform::kSignalKill);
      platform::wait_process(child_, -1);
    }
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // True once the server listens (it writes <folder>/ready); false when it ended first.
  bool wait_ready(int timeout_ms = 20000) {
    const uint32_t start = platform::tick_ms();
    while (!platform::path_exists(folder_ + "ready")) {
      if (child_.pid <= 0 || platform::wait_process(child_, 0)) return false;
      if (platform::tick_ms() - start > static_cast<uint32_t>(harness::scaled_ms(timeout_ms)))
        return false;
      platform::sleep_ms(20);
    }
    return true;
  }
  uint16_t port() const { return port_; }
  const std::string& folder() const { return folder_; }
  std::string log() const { return platform::read_whole_file(folder_ + "server.log").value_or(""); }

 private:
  std::string folder_;
  uint16_t port_;
  platform::ChildProcess child_;
};

}  // namespace python_server
