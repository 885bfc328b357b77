// A child process for the platform tests. Sub-commands:
//   write <file> <section> <writer> <count> <go-file>
//       waits for go-file, then writes keys W<writer>K0..K9 in turn, count writes in all,
//       each value the running write number; exits 0 when every write succeeded.
//   watch <file> <section> <stop-file>
//       reads the file over and over until stop-file exists; exits 1 (and says why) when
//       a read shows a broken line or a key whose number went backwards.
//   set <file> <section> <key> <value>     one profile write
//   hold-name <name> <ready-file>          takes the named mutex, creates ready-file,
//                                          then waits up to 60 s to be killed
//   exit <code> [text]                     prints text (if any) and exits with code
//   env <name>                             prints the value of the variable
//   stop-signals <file>                    handle_stop_signals; the stop call appends
//                                          "stopped" to file; exits 0 after it, 3 when
//                                          no signal came within 30 s
// With VELMORA_FAKE_SYSTEMCTL_LOG set it stands in for systemctl: it appends its
// arguments as one line to that file and fails (exit 1) for the verb named by
// VELMORA_FAKE_SYSTEMCTL_FAIL.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/service.h"
#include "platform/sync.h"

namespace {

void wait_for_file(const std::string& path) {
  while (!platform::path_exists(path)) platform::sleep_ms(1);
}

int write_keys(const std::string& file, const std::string& section, const std::string& writer,
               int count, const std::string& go) {
  wait_for_file(go);
  for (int n = 0; n < count; ++n) {
    std::string key = "W" + writer + "K" + std::to_string(n % 10);
    if (!platform::profile_write_string(file, section, key, std::to_string(n))) {
      fprintf(stderr, "write %d of %s failed\n", n, key.c_str());
      return 1;
    }
  }
  return 0;
}

// Every line of a written file is a section header, key=number, or blank, ended by CR LF.
bool check_content(const std::string& content, std::map<std::string, long>& last_seen,
                   std::string& why) {
  if (!content.empty() && content.substr(content.size() - 2) != "\r\n") {
    why = "file does not end with CR LF";
    return false;
  }
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find("\r\n", start);
    std::string line = content.substr(start, end - start);
    start = end + 2;
    if (line.empty() || line.front() == ';' || (line.front() == '[' && line.back() == ']')) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos || line.find('\n') != std::string::npos) {
      why = "broken line: " + line;
      return false;
    }
    std::string key = line.substr(0, eq);
    long value = strtol(line.c_str() + eq + 1, nullptr, 10);
    auto found = last_seen.find(key);
    if (found != last_seen.end() && value < found->second) {
      why = "key " + key + " went back from " + std::to_string(found->second) + " to " +
            std::to_string(value);
      return false;
    }
    last_seen[key] = value;
  }
  return true;
}

int watch(const std::string& file, const std::string& section, const std::string& stop) {
  std::map<std::string, long> last_seen;
  long reads = 0;
  while (!platform::path_exists(stop)) {
    auto content = platform::read_whole_file(file);
    if (content) {
      std::string why;
      if (!check_content(*content, last_seen, why)) {
        fprintf(stderr, "%s\n", why.c_str());
        return 1;
      }
      ++reads;
    }
    // The profile functions must answer too (served from the cache or a fresh parse).
    platform::profile_key_names(file, section);
  }
  printf("%ld reads\n", reads);
  return 0;
}

int hold_name(const std::string& name, const std::string& ready) {
  platform::NamedMutex mutex;
  if (!mutex.create(name)) return 2;
  platform::append_to_file(ready, "ready\n");
  platform::sleep_ms(60000);
  return 0;
}

int stop_signals(const std::string& file) {
  platform::Event stopped(true);
  platform::handle_stop_signals([&] {
    platform::append_to_file(file, "stopped\n");
    stopped.set();
  });
  platform::append_to_file(file + ".ready", "ready\n");
  if (!stopped.wait_for(30000)) return 3;
  platform::sleep_ms(100);  // a second signal must not call the stop again
  return 0;
}

int fake_systemctl(const std::vector<std::string>& a, const std::string& log) {
  std::string line;
  for (const auto& word : a) line += (line.empty() ? "" : " ") + word;
  platform::append_to_file(log, line + "\n");
  auto fail = platform::environment_variable("VELMORA_FAKE_SYSTEMCTL_FAIL");
  return fail && !a.empty() && *fail == a[0] ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (auto log = platform::environment_variable("VELMORA_FAKE_SYSTEMCTL_LOG"))
    return fake_systemctl(a, *log);
  if (a.size() == 2 && a[0] == "stop-signals") return stop_signals(a[1]);
  if (a.size() == 6 && a[0] == "write") return write_keys(a[1], a[2], a[3], atoi(a[4].c_str()), a[5]);
  if (a.size() == 4 && a[0] == "watch") return watch(a[1], a[2], a[3]);
  if (a.size() == 5 && a[0] == "set")
    return platform::profile_write_string(a[1], a[2], a[3], a[4]) ? 0 : 1;
  if (a.size() == 3 && a[0] == "hold-name") return hold_name(a[1], a[2]);
  if (a.size() >= 2 && a[0] == "exit") {
    if (a.size() >= 3) printf("%s\n", a[2].c_str());
    return atoi(a[1].c_str());
  }
  if (a.size() == 2 && a[0] == "env") {
    printf("%s\n", platform::environment_variable(a[1].c_str()).value_or("(unset)").c_str());
    return 0;
  }
  fprintf(stderr, "usage: platform_helper write|watch|set|hold-name|exit|env ...\n");
  return 64;
}
