// The process: directory, environment, identity and child processes.
#include "platform/process.h"

#include "platform/clock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

extern char** environ;

namespace platform {

std::string executable_path() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return std::string(buffer, static_cast<size_t>(n));
}

std::string program_directory() {
  if (auto home = environment_variable("VELMORAFTPD_HOME"); home && !home->empty()) {
    if (home->back() != '/') *home += '/';
    return *home;
  }
#ifdef VELMORA_PROGRAM_DIRECTORY
  // An installed build keeps its settings apart from its executables.
  return VELMORA_PROGRAM_DIRECTORY;
#endif
  std::string exe = executable_path();
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return "./";
  return exe.substr(0, slash + 1);
}

std::optional<std::string> environment_variable(const char* name) {
  const char* value = getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

bool set_environment_variable(const char* name, const std::optional<std::string>& value) {
  return (value ? setenv(name, value->c_str(), 1) : unsetenv(name)) == 0;
}

bool set_current_directory(const std::string& path) { return chdir(path.c_str()) == 0; }

uint32_t current_user_id() { return static_cast<uint32_t>(getuid()); }

namespace {

// "0100007F:1F90" -> address text and port.
bool split_endpoint(const std::string& field, std::string& address, uint16_t& port) {
  size_t colon = field.find(':');
  if (colon == std::string::npos) return false;
  address = field.substr(0, colon);
  port = static_cast<uint16_t>(strtoul(field.c_str() + colon + 1, nullptr, 16));
  return true;
}

// The kernel prints each 32-bit word of the address in host (little-endian) order.
bool is_loopback_hex(const std::string& address) {
  if (address.size() == 8) {  // IPv4: 127.x.y.z is "zzyyxx7F"
    return address.substr(6, 2) == "7F";
  }
  if (address.size() == 32) {
    if (address == "00000000000000000000000001000000") return true;  // ::1
    // ::ffff:127.x.y.z
    return address.substr(0, 16) == "0000000000000000" && address.substr(16, 8) == "FFFF0000" &&
           address.substr(30, 2) == "7F";
  }
  return false;
}

// One row of a kernel socket table (/proc/net/tcp, tcp6).
struct SocketRow {
  std::string local, remote, state, inode;
  uint32_t uid = 0;
};

// Hands the rows of a socket table to visit, the header left out and rows that do not
// parse skipped, until visit returns true.
void visit_socket_table(const char* table, const std::function<bool(const SocketRow&)>& visit) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, queues, timer, retransmits, timeout;
    SocketRow row;
    if (fields >> slot >> row.local >> row.remote >> row.state >> queues >> timer >>
            retransmits >> row.uid >> timeout >> row.inode &&
        visit(row))
      return;
  }
}

// The row of the peer's socket in a kernel socket table: its owner and inode.
struct PeerSocket {
  uint32_t uid = 0;
  std::string inode;
};

std::optional<PeerSocket> find_peer_in(const char* table, uint16_t our_port, uint16_t peer_port) {
  std::optional<PeerSocket> found;
  visit_socket_table(table, [&](const SocketRow& row) {
    // A socket that no process holds any more (closed, time-wait) is listed with uid 0 and
    // inode 0: it has no owner, it is not root's.
    if (row.inode == "0") return false;
    std::string local_address, remote_address;
    uint16_t local_port = 0, remote_port = 0;
    if (!split_endpoint(row.local, local_address, local_port) ||
        !split_endpoint(row.remote, remote_address, remote_port))
      return false;
    if (local_port != peer_port || remote_port != our_port || !is_loopback_hex(local_address) ||
        !is_loopback_hex(remote_address))
      return false;
    found = PeerSocket{row.uid, row.inode};
    return true;
  });
  return found;
}

std::optional<PeerSocket> find_peer_socket(uint16_t local_port, uint16_t remote_port) {
  // The kernel prints its socket table bucket by bucket without a snapshot: while many
  // sockets come and go a line can be missed, so a socket not found is looked for again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    if (attempt > 0) sleep_ms(25);
    if (auto peer = find_peer_in("/proc/net/tcp", local_port, remote_port)) return peer;
    if (auto peer = find_peer_in("/proc/net/tcp6", local_port, remote_port)) return peer;
  }
  return std::nullopt;
}

bool is_wildcard_hex(const std::string& address) {
  return address.find_first_not_of('0') == std::string::npos;
}

std::optional<uint32_t> find_listener_in(const char* table, uint16_t port) {
  constexpr const char* kListenState = "0A";
  std::optional<uint32_t> owner;
  visit_socket_table(table, [&](const SocketRow& row) {
    std::string address;
    uint16_t local_port = 0;
    if (row.state != kListenState || row.inode == "0" ||
        !split_endpoint(row.local, address, local_port))
      return false;
    if (local_port != port || !(is_loopback_hex(address) || is_wildcard_hex(address))) return false;
    owner = row.uid;
    return true;
  });
  return owner;
}

// True when one of this process's descriptors is the socket with this inode.
bool own_descriptor_is_socket(const std::string& inode) {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return false;
  const std::string wanted = "socket:[" + inode + "]";
  bool found = false;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[64];
    ssize_t n = readlinkat(dirfd(dir), entry->d_name, target, sizeof target);
    if (n > 0 && std::string(target, static_cast<size_t>(n)) == wanted) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

std::optional<uint32_t> tcp_listener_owner(uint16_t port) {
  if (auto uid = find_listener_in("/proc/net/tcp", port)) return uid;
  return find_listener_in("/proc/net/tcp6", port);
}

std::optional<uint32_t> tcp_connection_owner(uint16_t local_port, uint16_t remote_port) {
  auto peer = find_peer_socket(local_port, remote_port);
  if (!peer) return std::nullopt;
  return peer->uid;
}

bool tcp_peer_is_own_socket(uint16_t local_port, uint16_t remote_port) {
  auto peer = find_peer_socket(local_port, remote_port);
  return peer && own_descriptor_is_socket(peer->inode);
}

int open_descriptor_count() {
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return -1;
  int count = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;  // the scan's own descriptor
}

namespace {

uint64_t limit_value(rlim_t value) {
  return value == RLIM_INFINITY ? UINT64_MAX : static_cast<uint64_t>(value);
}

// The kernel's cap on descriptors per process (fs.nr_open); 1 048 576 when unreadable.
rlim_t descriptor_cap() {
  std::ifstream in("/proc/sys/fs/nr_open");
  unsigned long long cap = 0;
  if (in >> cap && cap > 0) return static_cast<rlim_t>(cap);
  return 1048576;
}

}  // namespace

OpenFileLimit open_file_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return {};
  return {limit_value(limit.rlim_cur), limit_value(limit.rlim_max)};
}

OpenFileLimit raise_open_file_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? descriptor_cap() : limit.rlim_max;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
      limit.rlim_cur = wanted;
      setrlimit(RLIMIT_NOFILE, &limit);  // on failure the old limit stays
    }
  }
  return open_file_limit();
}

long resident_kib(int pid) {
  std::string path = pid == 0 ? "/proc/self/status" : "/proc/" + std::to_string(pid) + "/status";
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

namespace {

// The current environment with the extra entries replacing same-named ones.
std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> result;
  auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const auto& x : extra) replaced = replaced || name_of(x) == name_of(entry);
    if (!replaced) result.push_back(entry);
  }
  for (const auto& x : extra) result.push_back(x);
  return result;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& t : texts) result.push_back(t.data());
  result.push_back(nullptr);
  return result;
}

// Spawn attributes shared by the spawning functions: no blocked signals in the child and
// default handling of the stop signals and SIGPIPE; optionally a session of its own.
void init_child_attributes(posix_spawnattr_t& attributes, bool own_session) {
  posix_spawnattr_init(&attributes);
  sigset_t empty, defaults;
  sigemptyset(&empty);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attributes, &empty);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (own_session) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);
}

std::optional<ChildProcess> spawn_with(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const std::vector<std::string>& extra_environment,
                                       posix_spawn_file_actions_t& actions, bool own_session) {
  std::vector<std::string> argv_texts{program};
  argv_texts.insert(argv_texts.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env_texts = child_environment(extra_environment);
  std::vector<char*> argv = pointers_to(argv_texts);
  std::vector<char*> envp = pointers_to(env_texts);
  posix_spawnattr_t attributes;
  init_child_attributes(attributes, own_session);
  pid_t pid = -1;
  int r = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  if (r != 0) return std::nullopt;
  return ChildProcess{pid};
}

}  // namespace

std::optional<ChildProcess> spawn_process(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          const std::vector<std::string>& extra_environment,
                                          const std::string& output_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (!output_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, output_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  auto child = spawn_with(program, arguments, extra_environment, actions, false);
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

std::optional<int> wait_process(ChildProcess child, int timeout_ms) {
  if (child.pid <= 0) return -1;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int pause_ms = 1;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(child.pid, &status, timeout_ms < 0 ? 0 : WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == child.pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      continue;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
    if (pause_ms < 20) pause_ms *= 2;
  }
}

void signal_process(ChildProcess child, int signal_number) {
  if (child.pid > 0) kill(child.pid, signal_number);
}

namespace {

// Reads everything from fd until end of file or the deadline; false on time-out.
bool read_until_end(int fd, std::string& output, std::chrono::steady_clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, POLLIN, 0};
    int ready = poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    output.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

std::optional<ChildProcess> spawn_detached_process(
    const std::string& program, const std::vector<std::string>& arguments,
    const std::vector<std::string>& extra_environment) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  auto child = spawn_with(program, arguments, extra_environment, actions, true);
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

std::optional<ProgramResult> run_program(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         int timeout_ms) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto child = spawn_with(program, arguments, {}, actions, false);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (!child) {
    close(ends[0]);
    return std::nullopt;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  ProgramResult result;
  bool ended = read_until_end(ends[0], result.output, deadline);
  close(ends[0]);
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  std::optional<int> code =
      ended ? wait_process(*child, static_cast<int>(std::max<long long>(0, left.count())))
            : std::nullopt;
  if (!code) {
    signal_process(*child, kSignalKill);
    wait_process(*child, -1);
    return std::nullopt;
  }
  result.exit_code = *code;
  return result;
}

int current_process_id() { return static_cast<int>(getpid()); }

}  // namespace platform
