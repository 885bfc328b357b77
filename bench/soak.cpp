// Soak test of quorsrv: hundreds of clients for minutes on end (logins good and bad,
// listings, downloads, uploads, aborted downloads, clients that go idle until the idle
// limit kicks them) while a Manager kicks random sessions. At the end every session must
// be gone, every file intact, the Core's descriptors and memory back near their start
// values, and the Core still serving. Each client has its own loopback address; a 451 to
// PASV is a server-busy reply that the client answers with another PASV, counted and
// bounded on its own rather than as an error.
//
//   soak QUORSRV [SECONDS] [CLIENTS] [WORK_DIR]
//
// Defaults: 600 seconds, 500 clients, a fresh folder under /tmp (removed when all checks
// pass). Prints the figures as key=value lines; exit code 0 when every check passes.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bench/ftp_reply.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "shared/admin_record.h"
#include "tests/support/sha256.h"

namespace {

namespace fs = std::filesystem;

constexpr int kReplyTimeoutMs = 30000;
constexpr int kIdleMinutes = 1;
constexpr int kIdleWaitMs = 150000;        // an idle session must be gone well before this
constexpr int kIdleStartMarginMs = 125000;  // no idle session starts later than this before the end
constexpr long kRssGrowthBoundKib = 64 * 1024;
constexpr int kDescriptorBound = 8;
constexpr int kKickPeriodMs = 500;
// A PASV answered 451 is the Core telling the client it could not open a listener in time
// (its worker had no processor for 5 s, or no port was free): a real client asks again.
// Each client tries this often before it counts an error, and such answers must stay
// below one in a thousand PASV commands.
constexpr const char* kPasvBusy = "451 Requested action aborted. Local error in processing.\r\n";
constexpr int kPasvAttempts = 3;
constexpr int kPasvRetryPauseMs = 200;
constexpr uint64_t kPasvBusyPerThousand = 1;
constexpr uint32_t kPasvWaitBoundMs = 5000;

// ---- figures ----

struct Figures {
  std::atomic<uint64_t> sessions{0};
  std::atomic<uint64_t> bad_logins{0};
  std::atomic<uint64_t> listings{0};
  std::atomic<uint64_t> downloads{0};
  std::atomic<uint64_t> uploads{0};
  std::atomic<uint64_t> aborts{0};
  std::atomic<uint64_t> bytes_down{0};
  std::atomic<uint64_t> bytes_up{0};
  std::atomic<uint64_t> kicks_sent{0};
  std::atomic<uint64_t> kicks_done{0};  // kicked sessions that then ended (event 15)
  std::atomic<uint64_t> kicked_seen{0};
  std::atomic<uint64_t> kicks_untracked{0};     // kicked before the Core dropped the Manager
  std::atomic<uint64_t> manager_reconnects{0};  // the Core dropped a Manager that fell behind
  std::atomic<uint64_t> idle_sessions{0};
  std::atomic<uint64_t> idle_kicks{0};
  std::atomic<uint64_t> errors{0};
  std::atomic<uint64_t> pasv_commands{0};
  std::atomic<uint64_t> pasv_busy{0};            // PASV answered 451
  std::atomic<uint64_t> pasv_busy_waited{0};     // ... after the Core's whole wait for its worker
  std::atomic<uint32_t> pasv_busy_slowest_ms{0};
  std::atomic<uint32_t> pasv_slowest_ms{0};      // slowest answer of any kind
  std::atomic<uint64_t> pasv_over_1s{0};         // answers that took a second or more
  std::atomic<long> rss_peak_kib{0};
  std::atomic<int> fd_peak{0};
};

Figures figures;
std::mutex error_lock;
std::vector<std::string> error_samples;

// A 451 to PASV, with the time the answer took: about 5 s means the Core's worker did not
// get to listen within the Core's wait; less means the listen itself failed.
void raise_to(std::atomic<uint32_t>& slowest, uint32_t value) {
  uint32_t now = slowest;
  while (value > now && !slowest.compare_exchange_weak(now, value)) {
  }
}

void note_pasv_busy(uint32_t took_ms) {
  ++figures.pasv_busy;
  if (took_ms + 100 >= kPasvWaitBoundMs) ++figures.pasv_busy_waited;
  raise_to(figures.pasv_busy_slowest_ms, took_ms);
}

// Every PASV answer's time: how close the 227s come to the Core's wait shows whether
// the 451s are the tail of the same delay.
void note_pasv_time(uint32_t took_ms) {
  raise_to(figures.pasv_slowest_ms, took_ms);
  if (took_ms >= 1000) ++figures.pasv_over_1s;
}

void error(const std::string& what) {
  ++figures.errors;
  std::lock_guard<std::mutex> guard(error_lock);
  if (error_samples.size() < 20) error_samples.push_back(what);
}

// ---- the site ----

struct ServedFile {
  std::string name;  // relative to the home folder
  std::string content;
  std::string sha256;
};

struct Site {
  std::string root;  // ends with '/'
  uint16_t ftp_port = 0;
  uint16_t admin_port = 0;
  std::vector<ServedFile> files;  // files[0] is the big one that aborted downloads use
  std::string home() const { return root + "home/"; }
};

// Working accounts soak0, soak1, ...: four unless SOAK_ACCOUNTS says otherwise. Every
// logout writes into the account file under its inter-process lock, so few accounts
// means many sessions queueing on the same lock.
std::vector<std::string> kUsers;
constexpr const char* kIdleUsers[] = {"idle0", "idle1"};

void choose_accounts() {
  const char* given = std::getenv("SOAK_ACCOUNTS");
  int count = given ? std::max(1, std::atoi(given)) : 4;
  for (int i = 0; i < count; ++i) kUsers.push_back("soak" + std::to_string(i));
}

const std::string& any_user(std::mt19937& random) { return kUsers[random() % kUsers.size()]; }

std::string random_bytes(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  std::mt19937 generator(seed);
  for (char& c : out) c = static_cast<char>(generator());
  return out;
}

// A port free on every address, as quorsrv binds it: one that only 127.0.0.1 leaves free
// may still be the local port of a connection from another loopback address.
uint16_t free_port() {
  platform::Socket s = platform::open_listener("", 0);
  uint16_t port = 0;
  if (auto local = platform::local_endpoint(s)) port = local->port;
  platform::close_socket(s);
  return port;
}

bool write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

std::optional<std::string> read_file(const std::string& path) { return platform::read_whole_file(path); }

void add_user(const Site& site, const std::string& name, bool idle) {
  std::string file = site.root + "user/" + name + ".usr";
  platform::profile_write_string(file, "UserInfo", "PassWord", "pw-" + name);
  platform::profile_write_string(file, "UserInfo", "HomeDir", site.home());
  platform::profile_write_string(file, "UserInfo", "UserInfoVer", "100");
  if (idle) platform::profile_write_string(file, "UserInfo", "IdleTime", std::to_string(kIdleMinutes));
}

bool build_site(Site& site) {
  fs::create_directories(site.root + "user");
  fs::create_directories(site.home() + "pub");
  fs::create_directories(site.home() + "up");
  site.ftp_port = free_port();
  do site.admin_port = free_port(); while (site.admin_port == site.ftp_port);
  std::string ini = site.root + "velmoraFTPd.ini";
  platform::profile_write_string(ini, "System", "Port", std::to_string(site.ftp_port));
  platform::profile_write_string(ini, "System", "FtpdCoreListenPort", std::to_string(site.admin_port));
  platform::profile_write_string(ini, "System", "BufferSize", "16384");
  // Every client makes wrong logins from its one address, more of them than the default
  // limit of ten in ten minutes over a long run: the failures are counted, the lock is
  // never reached (a locked client would only hammer the refusal at connect).
  platform::profile_write_string(ini, "System", "LoginFailLimit", "1000000");
  for (const std::string& user : kUsers) add_user(site, user, false);
  for (const char* user : kIdleUsers) add_user(site, user, true);
  const size_t sizes[] = {32u << 20, 0, 1, 1000, 65543, 1u << 20, 3u << 20};
  for (size_t i = 0; i < std::size(sizes); ++i) {
    ServedFile f;
    f.name = "pub/f" + std::to_string(i) + ".bin";
    f.content = random_bytes(sizes[i], static_cast<uint32_t>(1000 + i));
    f.sha256 = harness::sha256_hex(f.content);
    if (!write_file(site.home() + f.name, f.content)) return false;
    site.files.push_back(std::move(f));
  }
  return true;
}

// ---- a raw FTP client ----

class Ftp {
 public:
  ~Ftp() { close(); }

  // Connects from the given loopback address; the data connections come from it too.
  bool connect(uint16_t port, uint32_t source = platform::kLoopbackAddress) {
    source_ = source;
    socket_ = open_from_source();
    return socket_ != platform::kNoSocket &&
           platform::connect_ipv4(socket_, {platform::kLoopbackAddress, port}, 10000);
  }
  // True once the server has ended the connection (a kick).
  bool closed() const { return closed_; }

  std::string reply(int timeout_ms = kReplyTimeoutMs) {
    for (;;) {
      if (size_t length = complete_length()) {
        std::string one = pending_.substr(0, length);
        pending_.erase(0, length);
        return one;
      }
      char buffer[4096];
      long n = platform::recv_some_timeout(socket_, buffer, sizeof buffer, timeout_ms);
      if (n == -2) return "";
      if (n <= 0) {
        closed_ = true;
        return "";
      }
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }

  void send_line(const std::string& line) {
    std::string text = line + "\r\n";
    if (platform::send_all(socket_, text.data(), text.size()) != text.size()) closed_ = true;
  }

  std::string command(const std::string& line) {
    send_line(line);
    return closed_ ? "" : reply();
  }

  // PASV and a data connection to the announced port; kNoSocket on failure, with the
  // reason in *failure. A 451 (the Core busy) is counted and PASV sent again.
  platform::Socket passive(std::string* failure) {
    std::string answer;
    for (int attempt = 1; attempt <= kPasvAttempts; ++attempt) {
      ++figures.pasv_commands;
      uint32_t start = platform::tick_ms();
      answer = command("PASV");
      uint32_t took = platform::tick_ms() - start;
      note_pasv_time(took);
      if (answer != kPasvBusy) break;
      note_pasv_busy(took);
      if (attempt < kPasvAttempts) std::this_thread::sleep_for(std::chrono::milliseconds(kPasvRetryPauseMs));
    }
    std::optional<uint16_t> announced = bench::passive_port(answer);
    if (!announced) {
      *failure = answer == kPasvBusy ? "reply " + answer + " to " + std::to_string(kPasvAttempts) + " PASV in a row"
                                     : "reply " + answer;
      return platform::kNoSocket;
    }
    platform::Socket data = open_from_source();
    uint16_t port = *announced;
    uint32_t start = platform::tick_ms();
    if (!platform::connect_ipv4(data, {platform::kLoopbackAddress, port}, 10000)) {
      platform::close_socket(data);
      *failure = "no connection to port " + std::to_string(port) + " (failed after " +
                 std::to_string(platform::tick_ms() - start) + " ms)";
      return platform::kNoSocket;
    }
    return data;
  }

  void close() {
    platform::close_socket(socket_);
    socket_ = platform::kNoSocket;
  }

 private:
  size_t complete_length() const { return bench::complete_reply_length(pending_); }

  // A socket bound to this client's own address (any free port).
  platform::Socket open_from_source() const {
    platform::Socket s = platform::open_tcp_socket();
    if (s != platform::kNoSocket && !platform::bind_ipv4(s, {source_, 0}, false)) {
      platform::close_socket(s);
      return platform::kNoSocket;
    }
    return s;
  }

  uint32_t source_ = platform::kLoopbackAddress;
  platform::Socket socket_ = platform::kNoSocket;
  std::string pending_;
  bool closed_ = false;
};

bool starts(const std::string& reply, const char* code) { return reply.rfind(code, 0) == 0; }

// Every client has its own loopback address (127.1.x.y), as clients on different hosts
// would. The Core takes a passive data connection only from the address of the session's
// control connection; were all clients on 127.0.0.1, a client that connects late to the
// port of a session just kicked could land on another session's listener when the
// system hands that port out again (it does so at once when the ports are scarce),
// and that session would send its file to the wrong client.
uint32_t client_address(int index) {
  uint32_t i = static_cast<uint32_t>(index);
  return 0x7F010000u | ((i / 250 % 250) << 8) | (i % 250 + 1);
}

// ---- one client ----

// What a session step ended in: done, the server ended the session (kick), or a fault.
enum class Step { Done, Kicked, Failed };

struct Client {
  int index = 0;
  const Site* site = nullptr;
  std::mt19937 random;
  uint32_t deadline = 0;
  // Uploads that completed, by name: the SHA-256 of what was sent.
  std::map<std::string, std::string> uploaded;
  std::vector<uint32_t> upload_generation = std::vector<uint32_t>(3, 0);

  int pick(int n) { return static_cast<int>(random() % static_cast<uint32_t>(n)); }
  bool time_left(uint32_t margin = 0) const {
    return static_cast<int32_t>(deadline - platform::tick_ms()) > static_cast<int32_t>(margin);
  }
};

std::vector<std::string> kick_samples;

Step unexpected(Ftp& ftp, Client& c, const std::string& what, const std::string& reply) {
  // A kick may show on the data connection before the control connection: look again.
  if (!ftp.closed()) ftp.reply(1000);
  if (ftp.closed()) {
    std::lock_guard<std::mutex> guard(error_lock);
    if (kick_samples.size() < 30) kick_samples.push_back(what + " [" + reply + "]");
    return Step::Kicked;
  }
  error("client " + std::to_string(c.index) + ": " + what + ": [" + reply + "]");
  return Step::Failed;
}

// Compares a download against the original as it arrives; bytes received, or -1 on a
// difference.
long long receive_and_compare(platform::Socket data, const std::string& original, size_t stop_after) {
  char buffer[65536];
  size_t offset = 0;
  for (;;) {
    long n = platform::recv_some_timeout(data, buffer, sizeof buffer, kReplyTimeoutMs);
    if (n <= 0) break;
    size_t got = static_cast<size_t>(n);
    if (offset + got > original.size() || original.compare(offset, got, buffer, got) != 0) return -1;
    offset += got;
    if (offset >= stop_after) break;
  }
  return static_cast<long long>(offset);
}

Step do_list(Ftp& ftp, Client& c) {
  std::string failure;
  platform::Socket data = ftp.passive(&failure);
  if (data == platform::kNoSocket) return unexpected(ftp, c, "PASV for LIST", failure);
  std::string r = ftp.command("LIST /pub/*");
  if (!starts(r, "150")) {
    platform::close_socket(data);
    return unexpected(ftp, c, "LIST", r);
  }
  std::string listing;
  char buffer[8192];
  for (long n; (n = platform::recv_some_timeout(data, buffer, sizeof buffer, kReplyTimeoutMs)) > 0;)
    listing.append(buffer, static_cast<size_t>(n));
  platform::close_socket(data);
  r = ftp.reply();
  if (!starts(r, "226")) return unexpected(ftp, c, "LIST end", r);
  if (listing.find("f3.bin") == std::string::npos) return unexpected(ftp, c, "listing lacks f3.bin", listing.substr(0, 200));
  ++figures.listings;
  return Step::Done;
}

Step do_retr(Ftp& ftp, Client& c, bool abort) {
  const ServedFile& f = abort ? c.site->files[0] : c.site->files[1 + c.pick(static_cast<int>(c.site->files.size()) - 1)];
  std::string failure;
  platform::Socket data = ftp.passive(&failure);
  if (data == platform::kNoSocket) return unexpected(ftp, c, "PASV for RETR", failure);
  std::string r = ftp.command("RETR /" + f.name);
  if (!starts(r, "150")) {
    platform::close_socket(data);
    return unexpected(ftp, c, "RETR " + f.name, r);
  }
  size_t stop_after = abort ? 65536 + static_cast<size_t>(c.pick(1 << 20)) : f.content.size() + 1;
  long long got = receive_and_compare(data, f.content, stop_after);
  if (got < 0) {
    platform::close_socket(data);
    if (ftp.closed()) return Step::Kicked;
    error("client " + std::to_string(c.index) + ": download of " + f.name + " differs from the file");
    return Step::Failed;
  }
  figures.bytes_down += static_cast<uint64_t>(got);
  if (abort) {
    ftp.send_line("ABOR");
    platform::close_socket(data);
    for (int i = 0; i < 3; ++i) {
      r = ftp.reply();
      if (r == "226 Closed data connection.\r\n") {
        ++figures.aborts;
        return Step::Done;
      }
      if (!starts(r, "426") && !starts(r, "226")) break;
    }
    return unexpected(ftp, c, "ABOR", r);
  }
  platform::close_socket(data);
  r = ftp.reply();
  if (!starts(r, "226")) return unexpected(ftp, c, "RETR end", r);
  if (static_cast<size_t>(got) != f.content.size()) {
    error("client " + std::to_string(c.index) + ": short download of " + f.name + " with 226: " +
          std::to_string(got) + " of " + std::to_string(f.content.size()) + " bytes");
    return Step::Failed;
  }
  ++figures.downloads;
  return Step::Done;
}

Step do_stor(Ftp& ftp, Client& c) {
  int slot = c.pick(3);
  std::string name = "up/c" + std::to_string(c.index) + "_" + std::to_string(slot) + "_" +
                     std::to_string(c.upload_generation[static_cast<size_t>(slot)]) + ".bin";
  std::string content = random_bytes(static_cast<size_t>(c.pick(256 * 1024)), c.random());
  // Until it completes, the file holds something unknown; a later upload uses a new name.
  c.uploaded.erase(name);
  ++c.upload_generation[static_cast<size_t>(slot)];
  std::string failure;
  platform::Socket data = ftp.passive(&failure);
  if (data == platform::kNoSocket) return unexpected(ftp, c, "PASV for STOR", failure);
  std::string r = ftp.command("STOR /" + name);
  if (!starts(r, "150")) {
    platform::close_socket(data);
    return unexpected(ftp, c, "STOR " + name, r);
  }
  size_t sent = platform::send_all(data, content.data(), content.size());
  platform::close_socket(data);
  r = ftp.reply();
  if (!starts(r, "226")) return unexpected(ftp, c, "STOR end", r);
  if (sent != content.size()) return unexpected(ftp, c, "STOR send cut short", r);
  --c.upload_generation[static_cast<size_t>(slot)];  // complete: the name may be reused
  c.uploaded[name] = harness::sha256_hex(content);
  figures.bytes_up += sent;
  ++figures.uploads;
  return Step::Done;
}

Step do_small(Ftp& ftp, Client& c) {
  const char* lines[] = {"NOOP", "PWD", "CWD /pub", "CWD /", "TYPE I", "SYST"};
  std::string line = lines[c.pick(6)];
  std::string r = ftp.command(line);
  if (r.empty() || r[0] == '5' || r[0] == '4') return unexpected(ftp, c, line, r);
  return Step::Done;
}

Step login(Ftp& ftp, Client& c, const std::string& user, const std::string& password) {
  std::string r = ftp.reply();
  if (!starts(r, "220")) return unexpected(ftp, c, "greeting", r);
  r = ftp.command("USER " + user);
  if (!starts(r, "331")) return unexpected(ftp, c, "USER", r);
  r = ftp.command("PASS " + password);
  if (!starts(r, "230")) return unexpected(ftp, c, "PASS", r);
  return Step::Done;
}

void note_end(Step step) {
  if (step == Step::Kicked) ++figures.kicked_seen;
}

// A client with a wrong password: refused, then hangs up.
void bad_login_session(Ftp& ftp, Client& c) {
  std::string r = ftp.reply();
  if (!starts(r, "220")) return note_end(unexpected(ftp, c, "greeting", r));
  r = ftp.command("USER " + any_user(c.random));
  if (!starts(r, "331")) return note_end(unexpected(ftp, c, "USER", r));
  r = ftp.command("PASS wrong");
  if (!starts(r, "530")) return note_end(unexpected(ftp, c, "wrong PASS", r));
  ++figures.bad_logins;
}

// Logs in with an idle-limited account and waits, silent, until the Core ends the session.
void idle_session(Ftp& ftp, Client& c) {
  const char* user = kIdleUsers[c.pick(2)];
  Step step = login(ftp, c, user, std::string("pw-") + user);
  if (step != Step::Done) return note_end(step);
  ++figures.idle_sessions;
  uint32_t start = platform::tick_ms();
  std::string r = ftp.reply(kIdleWaitMs);
  uint32_t waited = platform::tick_ms() - start;
  if (!ftp.closed()) {
    error("client " + std::to_string(c.index) + ": idle session not ended after " +
          std::to_string(waited) + " ms [" + r + "]");
    return;
  }
  // Ended before the idle limit: the Manager's kick came first.
  if (waited + 1000 < static_cast<uint32_t>(kIdleMinutes) * 60000) ++figures.kicked_seen;
  else ++figures.idle_kicks;
}

void working_session(Ftp& ftp, Client& c) {
  const std::string& user = any_user(c.random);
  Step step = login(ftp, c, user, "pw-" + user);
  for (int steps = 1 + c.pick(8); step == Step::Done && steps > 0 && c.time_left(); --steps) {
    int kind = c.pick(100);
    if (kind < 30) step = do_list(ftp, c);
    else if (kind < 62) step = do_retr(ftp, c, false);
    else if (kind < 82) step = do_stor(ftp, c);
    else if (kind < 90) step = do_retr(ftp, c, true);
    else step = do_small(ftp, c);
    if (step == Step::Done) std::this_thread::sleep_for(std::chrono::milliseconds(c.pick(300)));
  }
  if (step != Step::Done) return note_end(step);
  if (c.pick(10) == 0) return;  // hangs up without QUIT
  std::string r = ftp.command("QUIT");
  if (!starts(r, "221")) note_end(unexpected(ftp, c, "QUIT", r));
}

void run_client(Client& c) {
  while (c.time_left()) {
    Ftp ftp;
    if (!ftp.connect(c.site->ftp_port, client_address(c.index))) {
      error("client " + std::to_string(c.index) + ": cannot connect");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      continue;
    }
    ++figures.sessions;
    int kind = c.pick(100);
    if (kind < 5) bad_login_session(ftp, c);
    else if (kind < 8 && c.time_left(kIdleStartMarginMs)) idle_session(ftp, c);
    else working_session(ftp, c);
  }
}

// ---- the Manager ----

class Manager {
 public:
  ~Manager() { close(); }
  bool connect(uint16_t port) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      socket_ = platform::open_tcp_socket();
      if (platform::connect_ipv4(socket_, {platform::kLoopbackAddress, port}, 1000)) return true;
      close();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  // The next event, or none when nothing came within timeout_ms or the connection ended.
  std::optional<shared::AdminEvent> next_event(int timeout_ms) {
    while (pending_.size() < shared::kAdminEventSize) {
      char buffer[65536];
      long n = platform::recv_some_timeout(socket_, buffer, sizeof buffer, timeout_ms);
      if (n == 0 || n == -1) ended_ = true;
      if (n <= 0) return std::nullopt;
      pending_.append(buffer, static_cast<size_t>(n));
    }
    shared::AdminEventBytes bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(pending_[i]);
    pending_.erase(0, shared::kAdminEventSize);
    return shared::decode_event(bytes);
  }
  void send(shared::AdminCommandCode code, uint32_t id) {
    shared::AdminCommand command;
    command.command = static_cast<uint8_t>(code);
    command.session_id = id;
    shared::AdminCommandBytes bytes = shared::encode_command(command);
    platform::send_all(socket_, bytes.data(), bytes.size());
  }
  void close() {
    platform::close_socket(socket_);
    socket_ = platform::kNoSocket;
    pending_.clear();
    ended_ = false;
  }
  // True once the Core has closed the connection (it drops a Manager that falls too far
  // behind, as one starved of processor time under the soak's load does).
  bool ended() const { return ended_; }

 private:
  platform::Socket socket_ = platform::kNoSocket;
  bool ended_ = false;
  std::string pending_;
};

// Reads events, keeps the set of live session ids and kicks a random one now and then.
void run_manager(Manager& manager, uint16_t port, const std::atomic<bool>& stop) {
  std::set<uint32_t> live, kicked;
  std::mt19937 random(4242);
  uint32_t next_kick = platform::tick_ms() + kKickPeriodMs;
  while (!stop) {
    if (manager.ended()) {
      // Connect again, as an operator would; the snapshot brings the live sessions back.
      manager.close();
      if (!manager.connect(port)) return;
      ++figures.manager_reconnects;
      figures.kicks_untracked += kicked.size();
      live.clear();
      kicked.clear();
    }
    if (auto event = manager.next_event(50)) {
      if (event->type == shared::kEventConnected) live.insert(event->session_id);
      if (event->type == shared::kEventDisconnected) {
        live.erase(event->session_id);
        if (kicked.erase(event->session_id)) ++figures.kicks_done;
      }
    }
    if (static_cast<int32_t>(platform::tick_ms() - next_kick) >= 0 && !live.empty()) {
      auto it = live.begin();
      std::advance(it, random() % live.size());
      manager.send(shared::AdminCommandCode::Kick, *it);
      kicked.insert(*it);
      live.erase(it);
      ++figures.kicks_sent;
      next_kick = platform::tick_ms() + kKickPeriodMs;
    }
  }
}

// ---- the Core's resources ----

int descriptor_count(int pid) {
  std::error_code failed;
  fs::directory_iterator entries("/proc/" + std::to_string(pid) + "/fd", failed);
  if (failed) return -1;
  int count = 0;
  for (const auto& entry : entries) {
    (void)entry;
    ++count;
  }
  return count;
}

// What each descriptor of the Core refers to ("socket:[123]", a path), by number.
std::map<std::string, std::string> descriptor_targets(int pid) {
  std::map<std::string, std::string> out;
  std::error_code failed;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", failed)) {
    std::error_code unreadable;
    out[entry.path().filename().string()] = fs::read_symlink(entry.path(), unreadable).string();
  }
  return out;
}

void sample_resources(int pid, const std::atomic<bool>& stop) {
  while (!stop) {
    long rss = platform::resident_kib(pid);
    int fds = descriptor_count(pid);
    if (rss > figures.rss_peak_kib) figures.rss_peak_kib = rss;
    if (fds > figures.fd_peak) figures.fd_peak = fds;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}

// ---- checks at the end ----

// A fresh Manager sees no session: its snapshot is empty. Retries while sessions end.
bool snapshot_empty(uint16_t admin_port) {
  for (int attempt = 0; attempt < 30; ++attempt) {
    Manager fresh;
    if (!fresh.connect(admin_port)) return false;
    if (!fresh.next_event(1000)) return true;
    fresh.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  }
  return false;
}

bool files_intact(const Site& site, const std::vector<Client>& clients, uint64_t& checked) {
  bool ok = true;
  for (const ServedFile& f : site.files) {
    auto now = read_file(site.home() + f.name);
    if (!now || harness::sha256_hex(*now) != f.sha256) {
      error("served file changed: " + f.name);
      ok = false;
    }
    ++checked;
  }
  for (const Client& c : clients) {
    for (const auto& [name, sha] : c.uploaded) {
      auto stored = read_file(site.home() + name);
      if (!stored || harness::sha256_hex(*stored) != sha) {
        error("upload differs from what was sent: " + name);
        ok = false;
      }
      ++checked;
    }
  }
  return ok;
}

// A final login, LIST and RETR on a quiet server.
bool still_serving(const Site& site) {
  Client c;
  c.site = &site;
  c.random.seed(7);
  Ftp ftp;
  if (!ftp.connect(site.ftp_port)) return false;
  uint64_t errors_before = figures.errors;
  bool ok = login(ftp, c, kUsers[0], "pw-" + kUsers[0]) == Step::Done &&
            do_list(ftp, c) == Step::Done && do_retr(ftp, c, false) == Step::Done &&
            starts(ftp.command("QUIT"), "221");
  return ok && figures.errors == errors_before;
}

bool wait_for_port(uint16_t port) {
  for (int i = 0; i < 200; ++i) {
    platform::Socket s = platform::open_tcp_socket();
    bool up = platform::connect_ipv4(s, {platform::kLoopbackAddress, port}, 500);
    platform::close_socket(s);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Waits up to 30 s until the Core's descriptor count is down to target (sessions end a
// moment after their clients); the last count.
int settled_descriptors(int pid, int target) {
  int now = descriptor_count(pid);
  for (int i = 0; i < 300 && now > target; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    now = descriptor_count(pid);
  }
  return now;
}

bool check(bool ok, const char* what) {
  std::printf("check %-44s %s\n", what, ok ? "ok" : "FAILED");
  return ok;
}

std::string make_work_dir(const char* given) {
  if (given) {
    fs::create_directories(given);
    std::string dir = given;
    return dir.back() == '/' ? dir : dir + "/";
  }
  for (int i = 0;; ++i) {
    fs::path dir = fs::temp_directory_path() /
                   ("velmora-soak-" + std::to_string(platform::current_process_id()) + "-" + std::to_string(i));
    if (fs::create_directory(dir)) return dir.string() + "/";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak QUORSRV [SECONDS] [CLIENTS] [WORK_DIR]\n");
    return 2;
  }
  const std::string quorsrv = argv[1];
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 600;
  const int client_count = argc > 3 ? std::atoi(argv[3]) : 500;
  choose_accounts();
  Site site;
  site.root = make_work_dir(argc > 4 ? argv[4] : nullptr);
  if (seconds <= 0 || client_count <= 0 || !build_site(site)) {
    std::fprintf(stderr, "bad arguments or the site cannot be written under %s\n", site.root.c_str());
    return 2;
  }
  auto core = platform::spawn_process(quorsrv, {"-ns"}, {"VELMORAFTPD_HOME=" + site.root}, site.root + "quorsrv.out");
  if (!core || !wait_for_port(site.ftp_port)) {
    std::fprintf(stderr, "quorsrv did not start (%s)\n", (site.root + "quorsrv.out").c_str());
    return 2;
  }
  std::printf("site=%s seconds=%d clients=%d accounts=%zu quorsrv_pid=%d\n", site.root.c_str(), seconds,
              client_count, kUsers.size(), core->pid);
  std::fflush(stdout);

  // Start values: the Manager connected and one session served, so that what a first
  // session sets up once (log files, caches) is part of the baseline.
  Manager manager;
  bool ok = check(manager.connect(site.admin_port), "Manager connects");
  ok = check(still_serving(site), "warm-up session served") && ok;
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const int fd_start = descriptor_count(core->pid);
  const std::map<std::string, std::string> fds_at_start = descriptor_targets(core->pid);
  const long rss_start = platform::resident_kib(core->pid);
  figures.rss_peak_kib = rss_start;
  figures.fd_peak = fd_start;

  std::atomic<bool> stop_manager{false}, stop_sampler{false};
  std::thread manager_thread([&] { run_manager(manager, site.admin_port, stop_manager); });
  std::thread sampler([&] { sample_resources(core->pid, stop_sampler); });
  const uint32_t start_tick = platform::tick_ms();
  std::vector<Client> clients(static_cast<size_t>(client_count));
  std::vector<std::thread> threads;
  for (int i = 0; i < client_count; ++i) {
    Client& c = clients[static_cast<size_t>(i)];
    c.index = i;
    c.site = &site;
    c.random.seed(static_cast<uint32_t>(i) * 7919u + 1);
    c.deadline = start_tick + static_cast<uint32_t>(seconds) * 1000u;
    threads.emplace_back([&c] { run_client(c); });
  }
  for (std::thread& t : threads) t.join();
  const double ran_seconds = (platform::tick_ms() - start_tick) / 1000.0;
  stop_manager = true;
  manager_thread.join();
  manager.close();

  ok = check(snapshot_empty(site.admin_port), "every session gone (fresh snapshot empty)") && ok;
  // Counted, like the start value, with one Manager connected.
  Manager last;
  ok = check(last.connect(site.admin_port), "Manager connects at the end") && ok;
  const int fd_end = settled_descriptors(core->pid, fd_start);
  for (const auto& [number, target] : descriptor_targets(core->pid)) {
    auto before = fds_at_start.find(number);
    if (before == fds_at_start.end() || before->second != target)
      std::printf("descriptor %s at the end: %s\n", number.c_str(), target.c_str());
  }
  stop_sampler = true;
  sampler.join();
  const long rss_end = platform::resident_kib(core->pid);
  uint64_t files_checked = 0;
  ok = check(files_intact(site, clients, files_checked), "served files and uploads intact") && ok;
  ok = check(fd_end >= 0 && fd_end <= fd_start + kDescriptorBound, "descriptors back to start (+8)") && ok;
  ok = check(rss_end - rss_start <= kRssGrowthBoundKib, "RSS growth at most 64 MiB") && ok;
  ok = check(still_serving(site), "still serving (login, LIST, RETR)") && ok;
  ok = check(figures.errors == 0, "no client errors") && ok;
  ok = check(figures.pasv_busy * 1000 <= figures.pasv_commands * kPasvBusyPerThousand,
             "server-busy PASV replies (451) at most 0.1 %") && ok;
  last.send(shared::AdminCommandCode::StopServer, 0);
  auto code = platform::wait_process(*core, 30000);
  ok = check(code.has_value(), "Core stops on the Manager's command") && ok;
  if (!code) {
    platform::signal_process(*core, platform::kSignalKill);
    platform::wait_process(*core, -1);
  }

  std::printf("seconds_run=%.0f\nsessions=%llu\nbad_logins=%llu\nlistings=%llu\ndownloads=%llu\nuploads=%llu\n"
              "aborted_downloads=%llu\ntransfers=%llu\nmib_down=%.0f\nmib_up=%.0f\nkicks_sent=%llu\nkicked_sessions_ended=%llu\n"
              "kicks_untracked=%llu\nmanager_reconnects=%llu\nkicks_seen_by_clients=%llu\nidle_sessions=%llu\nidle_kicks=%llu\nfiles_checked=%llu\nerrors=%llu\n"
              "fd_start=%d\nfd_peak=%d\nfd_end=%d\nrss_start_kib=%ld\nrss_peak_kib=%ld\nrss_end_kib=%ld\n",
              ran_seconds, (unsigned long long)figures.sessions.load(), (unsigned long long)figures.bad_logins.load(),
              (unsigned long long)figures.listings.load(), (unsigned long long)figures.downloads.load(),
              (unsigned long long)figures.uploads.load(), (unsigned long long)figures.aborts.load(),
              (unsigned long long)(figures.downloads + figures.uploads + figures.aborts + figures.listings),
              figures.bytes_down / 1048576.0, figures.bytes_up / 1048576.0,
              (unsigned long long)figures.kicks_sent.load(), (unsigned long long)figures.kicks_done.load(),
              (unsigned long long)figures.kicks_untracked.load(),
              (unsigned long long)figures.manager_reconnects.load(),
              (unsigned long long)figures.kicked_seen.load(),
              (unsigned long long)figures.idle_sessions.load(), (unsigned long long)figures.idle_kicks.load(),
              (unsigned long long)files_checked, (unsigned long long)figures.errors.load(), fd_start,
              figures.fd_peak.load(), fd_end, rss_start, figures.rss_peak_kib.load(), rss_end);
  std::printf("pasv_commands=%llu\npasv_answers_over_1s=%llu\npasv_slowest_ms=%u\npasv_busy=%llu\n"
              "pasv_busy_after_the_wait_bound=%llu\npasv_busy_slowest_ms=%u\n",
              (unsigned long long)figures.pasv_commands.load(), (unsigned long long)figures.pasv_over_1s.load(),
              figures.pasv_slowest_ms.load(), (unsigned long long)figures.pasv_busy.load(),
              (unsigned long long)figures.pasv_busy_waited.load(), figures.pasv_busy_slowest_ms.load());
  for (const std::string& sample : error_samples) std::printf("error: %s\n", sample.c_str());
  for (const std::string& sample : kick_samples) std::printf("kick seen: %s\n", sample.c_str());
  std::printf("result=%s\n", ok ? "pass" : "FAIL");
  if (ok && argc <= 4) fs::remove_all(site.root);
  return ok ? 0 : 1;
}
