// Test harness: lays out a site (program directory with velmoraFTPd.ini, user/ and a
// served folder), runs the real quorsrv on it as a child process, and talks to it with a
// raw FTP client that keeps every byte and an admin-channel reader.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"
#include "platform/socket.h"
#include "shared/admin_record.h"

namespace harness {

// Every time limit of the harness is multiplied by VELMORA_TEST_TIME_SCALE (1 to 10,
// default 1), so that slow builds (ThreadSanitizer) keep their margins; waits that
// expect nothing to happen get longer, never shorter.
int time_scale();
int scaled_ms(int timeout_ms);

// Bytes that differ from position to position, so that a shifted, lost or foreign block
// shows; the same seed gives the same bytes.
std::string pattern(size_t size, uint32_t seed = 7);
// Reads a data connection until it delivers at least count bytes, ends or stays silent
// for 10 s.
std::string read_at_least(platform::Socket s, size_t count);

// A fresh, empty folder under the build tree (ends with '/').
std::string make_temp_dir(const std::string& tag);
// A TCP port that was free a moment ago on 127.0.0.1.
uint16_t free_port();
std::string sha256_file(const std::string& path);

using Keys = std::map<std::string, std::string>;

class Site {
 public:
  // Creates the folder, user/, home/ (the served folder) and velmoraFTPd.ini with free
  // Port and FtpdCoreListenPort values.
  explicit Site(const std::string& tag = "site");
  const std::string& root() const { return root_; }        // program directory
  std::string path(const std::string& relative) const { return root_ + relative; }
  std::string home() const { return root_ + "home/"; }    // default served folder
  std::string config_file() const { return root_ + "velmoraFTPd.ini"; }
  uint16_t ftp_port() const { return ftp_port_; }
  uint16_t admin_port() const { return admin_port_; }

  void set(const std::string& section, const std::string& key, const std::string& value);
  // Writes user/<name>.usr, section UserInfo. Defaults when not given: PassWord=<name>,
  // HomeDir=home().
  void add_user(const std::string& name, Keys keys = {});
  void add_group(const std::string& name, Keys keys);
  void set_user_key(const std::string& name, const std::string& section, const std::string& key,
                    const std::string& value);
  std::string user_key(const std::string& name, const std::string& key);
  void write_file(const std::string& relative, const std::string& content);
  std::string read_file(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  void make_dir(const std::string& relative);

 private:
  std::string root_;
  uint16_t ftp_port_ = 0;
  uint16_t admin_port_ = 0;
};

class Server {
 public:
  // Starts quorsrv with VELMORAFTPD_HOME = site root and waits until the FTP port answers
  // (when wait is true). Standard output goes to <root>/quorsrv.out.
  // A launcher (e.g. {"prlimit", "--nofile=256:", "--"}) runs quorsrv in its place
  // and must exec it, so that the process id stays the Core's.
  explicit Server(const Site& site, std::vector<std::string> arguments = {"-ns"},
                  std::vector<std::string> environment = {}, bool wait = true,
                  std::vector<std::string> launcher = {});
  ~Server();  // SIGTERM, then SIGKILL after 10 s
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  bool wait_ready(int timeout_ms = 10000);
  std::optional<int> wait_exit(int timeout_ms);
  void signal(int signal_number);
  int pid() const { return child_.pid; }
  std::string output() const;  // what the process wrote to standard output and error

 private:
  const Site& site_;
  platform::ChildProcess child_;
  bool exited_ = false;
  std::optional<int> exit_code_;
};

class FtpClient {
 public:
  FtpClient() = default;
  ~FtpClient();
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Connects from local address from (e.g. "127.0.0.2") to 127.0.0.1:port; from_port 0
  // lets the system choose the local port.
  bool connect(uint16_t port, const std::string& from = "127.0.0.1", uint16_t from_port = 0);
  void send_line(std::string_view line);  // appends CR LF
  void send_raw(std::string_view bytes);
  // One complete reply (all lines of a multi-line reply); "" on time-out or close.
  std::string reply(int timeout_ms = 5000);
  std::string command(std::string_view line, int timeout_ms = 5000);
  // Everything that arrives until the server closes or timeout_ms passes.
  std::string read_all(int timeout_ms = 5000);
  // True when the server closes the connection within timeout_ms (data before is dropped).
  bool wait_closed(int timeout_ms = 5000);
  // Reads the greeting, sends USER and PASS; true when 230 came back.
  bool login(const std::string& user, const std::string& password);
  void close();
  platform::Socket socket() const { return socket_; }

  // Data connections. pasv() sends PASV and parses the 227 reply.
  std::optional<platform::Ipv4Endpoint> pasv();
  // PASV, connect, send the command; the returned socket is the data connection
  // (kNoSocket on failure). preliminary receives the 150 (or error) reply.
  platform::Socket passive_data(std::string_view command, std::string* preliminary);
  // Downloads with PASV: returns the data; replies receives 150 and 226 replies.
  std::optional<std::string> download(std::string_view command, std::string* replies = nullptr);
  // Uploads with PASV.
  bool upload(std::string_view command, std::string_view data, std::string* replies = nullptr);

 private:
  platform::Socket socket_ = platform::kNoSocket;
  std::string pending_;
};

// Reads every byte from a data socket until the peer closes it, then closes it.
std::string read_data(platform::Socket s, int timeout_ms = 10000);

class AdminClient {
 public:
  AdminClient() = default;
  ~AdminClient();
  // Connects (retrying for a few seconds while the Core is not listening). From
  // 127.0.0.1 it returns once the Core has taken the connection, so no later event is
  // missed.
  bool connect(uint16_t port, const std::string& from = "127.0.0.1");
  std::optional<shared::AdminEvent> next_event(int timeout_ms = 5000);
  // Skips events until one of the type arrives (and matches user when user is not empty).
  std::optional<shared::AdminEvent> wait_for(uint32_t type, int timeout_ms = 5000,
                                             const std::string& user = "");
  void send(shared::AdminCommandCode command, uint32_t session_id);
  bool wait_closed(int timeout_ms = 5000);
  void close();
  platform::Socket socket() const { return socket_; }

 private:
  void wait_until_taken(uint16_t port);
  std::optional<shared::AdminEvent> next_event_until(uint32_t deadline);

  platform::Socket socket_ = platform::kNoSocket;
  std::string pending_;  // bytes of a record not yet complete
};

}  // namespace harness
