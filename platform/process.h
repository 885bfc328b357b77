// The process: its directory, environment, identity and child processes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Directory of the running executable, ending in '/'; VELMORAFTPD_HOME names it instead
// when set (a '/' is appended when missing). A build configured with
// VELMORA_PROGRAM_DIRECTORY (the Debian package: /var/lib/velmoraftpd/) uses that folder
// instead of the executable's.
std::string program_directory();
std::string executable_path();
std::optional<std::string> environment_variable(const char* name);
// Sets (value) or removes (none) a variable of this process's environment; children
// started later inherit it. Call it only while no other thread reads the environment.
bool set_environment_variable(const char* name, const std::optional<std::string>& value);
bool set_current_directory(const std::string& path);
uint32_t current_user_id();
// Owner (uid) of the process on the other end of one of our loopback TCP connections,
// read from the kernel's socket table (IPv4 and IPv6). Both ports are the connection as
// this process sees it: local_port is our own port (e.g. the admin port the peer
// connected to), remote_port is the peer's port. The row returned is the peer's socket:
// its local port is remote_port and its remote port is local_port, on a loopback address.
// None when no such socket is found, or when no process holds it any more (the peer
// closed it: the kernel lists such a socket with uid 0, which is not an owner).
std::optional<uint32_t> tcp_connection_owner(uint16_t local_port, uint16_t remote_port);
// True when the other end of one of our loopback TCP connections (ports as above) is a
// socket of this very process: a connection the process made to itself. False when the
// peer's socket cannot be found.
bool tcp_peer_is_own_socket(uint16_t local_port, uint16_t remote_port);
// Owner (uid) of the socket listening on a loopback or wildcard address at this TCP port
// (IPv4 and IPv6); none when nothing listens there.
std::optional<uint32_t> tcp_listener_owner(uint16_t port);
// Count of open file descriptors of this process.
int open_descriptor_count();
// Resident set size of a process in KiB (0 when unknown); pid 0 = this process.
long resident_kib(int pid = 0);

// Open-file (descriptor) limits of this process; an unlimited value reads as UINT64_MAX.
struct OpenFileLimit {
  uint64_t soft = 0;
  uint64_t hard = 0;
};
OpenFileLimit open_file_limit();
// Raises the soft open-file limit to the hard limit (to the kernel's per-process cap when
// the hard limit is unlimited); the limits in force afterwards, changed or not.
OpenFileLimit raise_open_file_limit();

struct ChildProcess {
  int pid = -1;
};
// Starts program with arguments; extra_environment entries are "NAME=value".
// Standard output and error go to output_path when it is not empty.
std::optional<ChildProcess> spawn_process(const std::string& program,
                                          const std::vector<std::string>& arguments,
                                          const std::vector<std::string>& extra_environment,
                                          const std::string& output_path = "");
// Waits up to timeout_ms for the child (a negative timeout waits without limit); its exit
// code (128 + signal number when a signal ended it; -1 when the child is not ours or was
// already waited for), or none if it still runs.
std::optional<int> wait_process(ChildProcess child, int timeout_ms);
void signal_process(ChildProcess child, int signal_number);
// Starts program in a session of its own (no controlling terminal, so a terminal's
// hang-up or interrupt does not reach it) with standard input, output and error on
// /dev/null; extra_environment entries are "NAME=value".
std::optional<ChildProcess> spawn_detached_process(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   const std::vector<std::string>& extra_environment);
// What a finished program wrote to standard output (standard error is dropped).
struct ProgramResult {
  int exit_code = -1;
  std::string output;
};
// Runs program and waits up to timeout_ms for it; none when it cannot be started or does
// not end in time (it is then killed and reaped).
std::optional<ProgramResult> run_program(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         int timeout_ms);
inline constexpr int kSignalTerminate = 15;
inline constexpr int kSignalInterrupt = 2;
inline constexpr int kSignalKill = 9;
int current_process_id();

}  // namespace platform
