// Test harness: sites on disk, the real quorsrv as a child process, raw FTP and admin
// clients. Every wait has a time limit so that no test can hang.
#include "tests/support/harness.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/profile.h"
#include "tests/support/sha256.h"

namespace harness {
namespace {

namespace fs = std::filesystem;

// Milliseconds left until deadline (a tick value); 0 when it has passed.
int remaining_ms(uint32_t deadline) {
  int32_t left = static_cast<int32_t>(deadline - platform::tick_ms());
  return left > 0 ? left : 0;
}

// Every wait of the harness ends at a deadline made here, so every one of them is
// stretched by the time scale.
uint32_t deadline_after(int timeout_ms) {
  return platform::tick_ms() + static_cast<uint32_t>(scaled_ms(timeout_ms < 0 ? 0 : timeout_ms));
}

// From an IPv4 address of 127/8 to 127.0.0.1, or from an IPv6 address ("::1") to ::1.
platform::Socket connect_from(uint16_t port, const std::string& from, int timeout_ms,
                              uint16_t from_port = 0) {
  platform::Endpoint local{platform::kAnyAddress, from_port}, target{platform::kLoopbackAddress, port};
  if (auto v6 = platform::parse_ipv6(from)) {
    local.ipv6 = target.ipv6 = true;
    local.address6 = *v6;
    target.address6 = {};
    target.address6[15] = 1;
  } else if (auto v4 = platform::parse_ipv4(from)) {
    local.address = *v4;
  } else {
    return platform::kNoSocket;
  }
  platform::Socket s = platform::open_tcp_socket_for(local);
  if (s == platform::kNoSocket) return s;
  if (!platform::bind_endpoint(s, local, from_port != 0) ||
      !platform::connect_ipv4(s, target, scaled_ms(timeout_ms))) {
    platform::close_socket(s);
    return platform::kNoSocket;
  }
  return s;
}

// Appends what arrives within the time left to buffer. -2 time-out, 0 closed, >0 bytes.
long receive_into(platform::Socket s, std::string& buffer, uint32_t deadline) {
  char chunk[8192];
  int wait = remaining_ms(deadline);
  long n = platform::recv_some_timeout(s, chunk, sizeof chunk, wait);
  if (n > 0) buffer.append(chunk, static_cast<size_t>(n));
  if (n < 0 && n != -2) return 0;  // an error ends the connection like a close
  return n;
}

bool is_code(std::string_view line) {
  if (line.size() < 4) return false;
  for (int i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  return true;
}

// Length of the first complete reply in text, or 0 when it is not complete yet. A reply
// is one line "ddd text", or "ddd-..." up to and including a line that starts "ddd ".
size_t complete_reply_length(const std::string& text) {
  size_t end = text.find('\n');
  if (end == std::string::npos) return 0;
  std::string_view first(text.data(), end + 1);
  if (!is_code(first) || first[3] != '-') return end + 1;
  std::string closing = std::string(first.substr(0, 3)) + " ";
  size_t start = end + 1;
  while (true) {
    size_t next = text.find('\n', start);
    if (next == std::string::npos) return 0;
    if (text.compare(start, closing.size(), closing) == 0) return next + 1;
    start = next + 1;
  }
}

void write_text_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_text_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::atomic<int> dir_counter{0};

}  // namespace

int time_scale() {
  static const int scale = [] {
    auto text = platform::environment_variable("VELMORA_TEST_TIME_SCALE");
    int value = text ? std::atoi(text->c_str()) : 1;
    return value < 1 ? 1 : value > 10 ? 10 : value;
  }();
  return scale;
}

int scaled_ms(int timeout_ms) { return timeout_ms * time_scale(); }

std::string make_temp_dir(const std::string& tag) {
  fs::path base = fs::path(TEST_BINARY_DIR) / "test_sites";
  std::error_code ignored;
  fs::create_directories(base, ignored);
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::string name = tag + "-" + std::to_string(platform::current_process_id()) + "-" +
                       std::to_string(dir_counter++) + "-" + std::to_string(stamp % 1000000);
    fs::path dir = base / name;
    if (fs::create_directory(dir, ignored)) return dir.string() + "/";
  }
}

// True when a listener could bind the port on every address right now.
bool port_is_free(uint16_t port) {
  platform::Socket s = platform::open_tcp_socket();
  bool free = s != platform::kNoSocket && platform::bind_ipv4(s, {platform::kAnyAddress, port}, true);
  platform::close_socket(s);
  return free;
}

// Ports below the system's ephemeral range (32768 and up): an outgoing connection of
// some other test never takes one of them as its local port between the choice and the
// server's bind.
uint16_t free_port() {
  constexpr uint32_t kLow = 20000;
  constexpr uint32_t kCount = 12000;
  static std::atomic<uint32_t> next{static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^
      (platform::current_process_id() * 7919u))};
  for (int attempt = 0; attempt < 200; ++attempt) {
    uint16_t port = static_cast<uint16_t>(kLow + (next.fetch_add(7) * 2654435761u >> 8) % kCount);
    if (port_is_free(port)) return port;
  }
  platform::Socket s = platform::open_tcp_socket();
  uint16_t port = 0;
  if (s != platform::kNoSocket && platform::bind_ipv4(s, {platform::kLoopbackAddress, 0}, false)) {
    if (auto local = platform::local_endpoint(s)) port = local->port;
  }
  platform::close_socket(s);
  return port;
}

std::string sha256_file(const std::string& path) { return sha256_hex(read_text_file(path)); }

// ---- Site ----

Site::Site(const std::string& tag) : root_(make_temp_dir(tag)) {
  fs::create_directory(root_ + "user");
  fs::create_directory(root_ + "home");
  ftp_port_ = free_port();
  do {
    admin_port_ = free_port();
  } while (admin_port_ == ftp_port_);
  set("System", "Port", std::to_string(ftp_port_));
  set("System", "FtpdCoreListenPort", std::to_string(admin_port_));
}

void Site::set(const std::string& section, const std::string& key, const std::string& value) {
  platform::profile_write_string(config_file(), section, key, value);
}

void Site::add_user(const std::string& name, Keys keys) {
  if (!keys.count("PassWord")) keys["PassWord"] = name;
  if (!keys.count("HomeDir")) keys["HomeDir"] = home();
  std::string file = root_ + "user/" + name + ".usr";
  for (const auto& [key, value] : keys) platform::profile_write_string(file, "UserInfo", key, value);
}

void Site::add_group(const std::string& name, Keys keys) {
  std::string file = root_ + "user/" + name + ".grp";
  for (const auto& [key, value] : keys) platform::profile_write_string(file, "UserInfo", key, value);
}

void Site::set_user_key(const std::string& name, const std::string& section,
                        const std::string& key, const std::string& value) {
  platform::profile_write_string(root_ + "user/" + name + ".usr", section, key, value);
}

std::string Site::user_key(const std::string& name, const std::string& key) {
  return platform::profile_read_string(root_ + "user/" + name + ".usr", "UserInfo", key);
}

void Site::write_file(const std::string& relative, const std::string& content) {
  fs::path target(root_ + relative);
  std::error_code ignored;
  fs::create_directories(target.parent_path(), ignored);
  write_text_file(target.string(), content);
}

std::string Site::read_file(const std::string& relative) const {
  return read_text_file(root_ + relative);
}

bool Site::exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::exists(root_ + relative, ignored);
}

void Site::make_dir(const std::string& relative) {
  std::error_code ignored;
  fs::create_directories(root_ + relative, ignored);
}

// ---- Server ----

Server::Server(const Site& site, std::vector<std::string> arguments,
               std::vector<std::string> environment, bool wait,
               std::vector<std::string> launcher)
    : site_(site) {
  environment.insert(environment.begin(), "VELMORAFTPD_HOME=" + site.root());
  std::string program = QUORSRV_PATH;
  if (!launcher.empty()) {
    arguments.insert(arguments.begin(), program);
    arguments.insert(arguments.begin(), launcher.begin() + 1, launcher.end());
    program = launcher.front();
  }
  auto child = platform::spawn_process(program, arguments, environment,
                                       site.root() + "quorsrv.out");
  if (child) child_ = *child;
  if (!child) exited_ = true;
  if (wait && child) wait_ready();
}

Server::~Server() {
  if (exited_ || child_.pid <= 0) return;
  platform::signal_process(child_, platform::kSignalTerminate);
  if (wait_exit(10000)) return;
  platform::signal_process(child_, platform::kSignalKill);
  wait_exit(5000);
}

bool Server::wait_ready(int timeout_ms) {
  uint32_t deadline = deadline_after(timeout_ms);
  while (!exited_) {
    platform::Socket s = connect_from(site_.ftp_port(), "127.0.0.1", 500);
    if (s != platform::kNoSocket) {
      // Let the probe's session end before the test begins: read its greeting or
      // refusal, say QUIT and wait until the Core has closed the connection.
      std::string ignored;
      receive_into(s, ignored, deadline_after(2000));
      platform::send_all(s, "QUIT\r\n", 6);
      uint32_t closing = deadline_after(2000);
      while (receive_into(s, ignored, closing) > 0) {
      }
      platform::close_socket(s);
      return true;
    }
    if (wait_exit(0)) return false;
    if (remaining_ms(deadline) == 0) return false;
    platform::sleep_ms(20);
  }
  return false;
}

std::optional<int> Server::wait_exit(int timeout_ms) {
  if (child_.pid <= 0) return std::nullopt;
  if (exited_) return exit_code_;
  auto code = platform::wait_process(child_, scaled_ms(timeout_ms));
  if (code) {
    exited_ = true;
    exit_code_ = *code;
  }
  return code;
}

void Server::signal(int signal_number) {
  if (!exited_ && child_.pid > 0) platform::signal_process(child_, signal_number);
}

std::string Server::output() const { return read_text_file(site_.root() + "quorsrv.out"); }

// ---- FtpClient ----

FtpClient::~FtpClient() { close(); }

bool FtpClient::connect(uint16_t port, const std::string& from, uint16_t from_port) {
  close();
  socket_ = connect_from(port, from, 5000, from_port);
  return socket_ != platform::kNoSocket;
}

void FtpClient::send_line(std::string_view line) {
  std::string text(line);
  text += "\r\n";
  send_raw(text);
}

void FtpClient::send_raw(std::string_view bytes) {
  if (socket_ == platform::kNoSocket) return;
  platform::send_all(socket_, bytes.data(), bytes.size());
}

std::string FtpClient::reply(int timeout_ms) {
  uint32_t deadline = deadline_after(timeout_ms);
  while (true) {
    size_t length = complete_reply_length(pending_);
    if (length > 0) {
      std::string one = pending_.substr(0, length);
      pending_.erase(0, length);
      return one;
    }
    if (socket_ == platform::kNoSocket) return "";
    if (receive_into(socket_, pending_, deadline) <= 0) return "";
  }
}

std::string FtpClient::command(std::string_view line, int timeout_ms) {
  send_line(line);
  return reply(timeout_ms);
}

std::string FtpClient::read_all(int timeout_ms) {
  uint32_t deadline = deadline_after(timeout_ms);
  std::string all;
  all.swap(pending_);
  if (socket_ == platform::kNoSocket) return all;
  while (receive_into(socket_, all, deadline) > 0) {
  }
  return all;
}

bool FtpClient::wait_closed(int timeout_ms) {
  pending_.clear();
  if (socket_ == platform::kNoSocket) return true;
  uint32_t deadline = deadline_after(timeout_ms);
  while (true) {
    std::string ignored;
    long n = receive_into(socket_, ignored, deadline);
    if (n == 0) return true;
    if (n == -2) return false;
  }
}

bool FtpClient::login(const std::string& user, const std::string& password) {
  if (reply().rfind("220", 0) != 0) return false;
  std::string answer = command("USER " + user);
  if (answer.rfind("230", 0) == 0) return true;
  if (answer.rfind("331", 0) != 0) return false;
  return command("PASS " + password).rfind("230", 0) == 0;
}

void FtpClient::close() {
  platform::close_socket(socket_);
  socket_ = platform::kNoSocket;
  pending_.clear();
}

std::optional<platform::Ipv4Endpoint> FtpClient::pasv() {
  std::string answer = command("PASV");
  if (answer.rfind("227", 0) != 0) return std::nullopt;
  size_t open = answer.find('(');
  if (open == std::string::npos) return std::nullopt;
  unsigned h1, h2, h3, h4, p1, p2;
  if (std::sscanf(answer.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) !=
      6) {
    return std::nullopt;
  }
  if (h1 > 255 || h2 > 255 || h3 > 255 || h4 > 255 || p1 > 255 || p2 > 255) return std::nullopt;
  return platform::Ipv4Endpoint{h1 << 24 | h2 << 16 | h3 << 8 | h4,
                                static_cast<uint16_t>(p1 * 256 + p2)};
}

platform::Socket FtpClient::passive_data(std::string_view command, std::string* preliminary) {
  if (preliminary) preliminary->clear();
  auto endpoint = pasv();
  if (!endpoint) return platform::kNoSocket;
  // Connect from the control connection's own address, to the announced address; when
  // that address is not reachable from here, to the same port on the loopback.
  uint32_t from = platform::kLoopbackAddress;
  if (auto local = platform::local_endpoint(socket_)) from = local->address;
  platform::Socket data = platform::kNoSocket;
  for (uint32_t target : {endpoint->address, platform::kLoopbackAddress}) {
    data = platform::open_tcp_socket();
    if (data != platform::kNoSocket && platform::bind_ipv4(data, {from, 0}, false) &&
        platform::connect_ipv4(data, {target, endpoint->port}, scaled_ms(3000))) {
      break;
    }
    platform::close_socket(data);
    data = platform::kNoSocket;
  }
  if (data == platform::kNoSocket) return data;
  send_line(command);
  std::string answer = reply();
  if (preliminary) *preliminary = answer;
  if (answer.rfind("150", 0) != 0 && answer.rfind("125", 0) != 0) {
    platform::close_socket(data);
    return platform::kNoSocket;
  }
  return data;
}

std::optional<std::string> FtpClient::download(std::string_view command, std::string* replies) {
  std::string preliminary;
  platform::Socket data = passive_data(command, &preliminary);
  if (replies) *replies = preliminary;
  if (data == platform::kNoSocket) return std::nullopt;
  std::string content = read_data(data);
  std::string closing = reply(10000);
  if (replies) *replies += closing;
  return content;
}

bool FtpClient::upload(std::string_view command, std::string_view data, std::string* replies) {
  std::string preliminary;
  platform::Socket s = passive_data(command, &preliminary);
  if (replies) *replies = preliminary;
  if (s == platform::kNoSocket) return false;
  platform::send_all(s, data.data(), data.size());
  platform::close_socket(s);
  std::string closing = reply(10000);
  if (replies) *replies += closing;
  return closing.rfind("226", 0) == 0;
}

std::string read_data(platform::Socket s, int timeout_ms) {
  std::string content;
  uint32_t deadline = deadline_after(timeout_ms);
  while (receive_into(s, content, deadline) > 0) {
  }
  platform::close_socket(s);
  return content;
}

// ---- AdminClient ----

AdminClient::~AdminClient() { close(); }

bool AdminClient::connect(uint16_t port, const std::string& from) {
  close();
  // The Core listens again a moment after a previous Manager left: retry for a while.
  uint32_t deadline = deadline_after(5000);
  while (true) {
    socket_ = connect_from(port, from, 1000);
    if (socket_ != platform::kNoSocket) break;
    if (remaining_ms(deadline) == 0) return false;
    platform::sleep_ms(50);
  }
  if (from == "127.0.0.1") wait_until_taken(port);
  return true;
}

void AdminClient::wait_until_taken(uint16_t port) {
  // The Core closes its admin listener once it has taken a Manager and sent the snapshot;
  // from then on every event reaches this connection. Probe until a connection attempt
  // is refused (at most two seconds). An attempt that only timed out met a full backlog
  // of a listener that is still open.
  uint32_t deadline = deadline_after(2000);
  while (remaining_ms(deadline) > 0) {
    uint32_t started = platform::tick_ms();
    platform::Socket probe = connect_from(port, "127.0.0.1", 1000);
    if (probe == platform::kNoSocket) {
      if (platform::tick_ms() - started < static_cast<uint32_t>(scaled_ms(500))) return;
      continue;
    }
    platform::close_socket(probe);
    platform::sleep_ms(10);
  }
}

std::optional<shared::AdminEvent> AdminClient::next_event(int timeout_ms) {
  return next_event_until(deadline_after(timeout_ms));
}

std::optional<shared::AdminEvent> AdminClient::next_event_until(uint32_t deadline) {
  if (socket_ == platform::kNoSocket) return std::nullopt;
  while (pending_.size() < shared::kAdminEventSize) {
    if (receive_into(socket_, pending_, deadline) <= 0) return std::nullopt;
  }
  shared::AdminEventBytes bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(pending_[i]);
  pending_.erase(0, shared::kAdminEventSize);
  return shared::decode_event(bytes);
}

std::optional<shared::AdminEvent> AdminClient::wait_for(uint32_t type, int timeout_ms,
                                                        const std::string& user) {
  uint32_t deadline = deadline_after(timeout_ms);
  while (true) {
    auto event = next_event_until(deadline);
    if (!event) return std::nullopt;
    if (event->type == type && (user.empty() || event->snapshot.user_name == user)) {
      return event;
    }
  }
}

void AdminClient::send(shared::AdminCommandCode command, uint32_t session_id) {
  if (socket_ == platform::kNoSocket) return;
  auto bytes = shared::encode_command({static_cast<uint8_t>(command), session_id});
  platform::send_all(socket_, bytes.data(), bytes.size());
}

bool AdminClient::wait_closed(int timeout_ms) {
  if (socket_ == platform::kNoSocket) return true;
  uint32_t deadline = deadline_after(timeout_ms);
  while (true) {
    long n = receive_into(socket_, pending_, deadline);
    if (n == 0) return true;
    if (n == -2) return false;
  }
}

void AdminClient::close() {
  platform::close_socket(socket_);
  socket_ = platform::kNoSocket;
  pending_.clear();
}

std::string pattern(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : out) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return out;
}

std::string read_at_least(platform::Socket s, size_t count) {
  std::string got;
  char buffer[65536];
  while (got.size() < count) {
    long n = platform::recv_some_timeout(s, buffer, sizeof buffer, 10000);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

}  // namespace harness
