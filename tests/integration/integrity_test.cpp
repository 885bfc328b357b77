// Files go up and come back down byte for byte (SHA-256 for the resumed ones): every size around the buffer edges, in
// passive and active mode, through the kernel copy and through the block loop, many
// clients at once, and interrupted transfers resumed with REST or APPE.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"
#include "tests/support/sha256.h"

namespace {

using namespace replies;
using harness::FtpClient;
using harness::Keys;
using harness::Server;
using harness::Site;
using harness::pattern;

enum class Mode { Passive, Active };

const char* mode_name(Mode mode) { return mode == Mode::Passive ? "PASV" : "PORT"; }

// A listener for one active-mode data connection, announced with PORT.
class ActivePort {
 public:
  explicit ActivePort(FtpClient& client) {
    listener_ = platform::open_tcp_socket();
    if (listener_ == platform::kNoSocket) return;
    if (!platform::bind_ipv4(listener_, {platform::kLoopbackAddress, 0}, false) ||
        !platform::listen_socket(listener_, 1)) {
      return;
    }
    auto local = platform::local_endpoint(listener_);
    if (!local) return;
    std::string command = "PORT 127,0,0,1," + std::to_string(local->port >> 8) + "," +
                          std::to_string(local->port & 0xFF);
    ok_ = client.command(command).rfind("200 ", 0) == 0;
  }
  ~ActivePort() { platform::close_socket(listener_); }
  bool ok() const { return ok_; }
  // The server connects before it answers 150, so the connection is already waiting.
  platform::Socket accept() { return platform::accept_connection(listener_, nullptr); }

 private:
  platform::Socket listener_ = platform::kNoSocket;
  bool ok_ = false;
};

// Opens the data connection for command in the given mode; kNoSocket unless 150 came.
platform::Socket open_data(FtpClient& client, Mode mode, const std::string& command,
                           std::unique_ptr<ActivePort>& port) {
  if (mode == Mode::Passive) {
    std::string preliminary;
    return client.passive_data(command, &preliminary);
  }
  port = std::make_unique<ActivePort>(client);
  if (!port->ok()) return platform::kNoSocket;
  client.send_line(command);
  if (client.reply().rfind("150 ", 0) != 0) return platform::kNoSocket;
  return port->accept();
}

std::optional<std::string> download(FtpClient& client, Mode mode, const std::string& name) {
  std::unique_ptr<ActivePort> port;
  platform::Socket data = open_data(client, mode, "RETR " + name, port);
  if (data == platform::kNoSocket) return std::nullopt;
  std::string content = harness::read_data(data, 30000);
  if (client.reply(30000) != kComplete) return std::nullopt;
  return content;
}

bool upload(FtpClient& client, Mode mode, const std::string& command, const std::string& data) {
  std::unique_ptr<ActivePort> port;
  platform::Socket s = open_data(client, mode, command, port);
  if (s == platform::kNoSocket) return false;
  size_t sent = platform::send_all(s, data.data(), data.size());
  platform::close_socket(s);
  return sent == data.size() && client.reply(30000) == kComplete;
}

// BufferSize and a speed limit: 0 lets downloads go through the kernel copy, a limit
// too high to ever sleep keeps them in the read-and-send block loop.
struct Setting {
  int buffer_size;
  int limit_kbps;
};

class Integrity : public ::testing::TestWithParam<Setting> {
 protected:
  void start() {
    site.set("System", "BufferSize", std::to_string(GetParam().buffer_size));
    std::string limit = std::to_string(GetParam().limit_kbps);
    site.add_user("dave", Keys{{"UpBps", limit}, {"DownBps", limit}});
    server = std::make_unique<Server>(site);
  }

  std::unique_ptr<FtpClient> login() {
    auto client = std::make_unique<FtpClient>();
    if (!client->connect(site.ftp_port()) || !client->login("dave", "dave")) return nullptr;
    return client;
  }

  Site site{"integrity"};
  std::unique_ptr<Server> server;
};

// Contents are made once per size and shared by every setting. Files are compared byte
// for byte (the digest of a 64 MiB file costs seconds in a debug build).
const std::string& content_of_size(size_t size) {
  static std::map<size_t, std::string> contents;
  auto found = contents.find(size);
  if (found != contents.end()) return found->second;
  return contents.emplace(size, pattern(size, static_cast<uint32_t>(size) + 1)).first->second;
}

bool file_holds(const std::string& path, const std::string& content) {
  auto stored = platform::read_whole_file(path);
  return stored && *stored == content;
}

TEST_P(Integrity, FilesOfEverySizeGoUpAndComeDownUnchanged) {
  start();
  auto client = login();
  ASSERT_TRUE(client);
  size_t b = static_cast<size_t>(GetParam().buffer_size);
  constexpr size_t kMiB = 1024 * 1024;
  std::vector<size_t> sizes = {0, 1, b - 1, b, b + 1, kMiB - 1, kMiB, kMiB + 1, 64 * kMiB};
  for (Mode mode : {Mode::Passive, Mode::Active}) {
    for (size_t size : sizes) {
      SCOPED_TRACE(std::string(mode_name(mode)) + " size " + std::to_string(size));
      std::string name = std::string(mode_name(mode)) + "_" + std::to_string(size) + ".bin";
      const std::string& content = content_of_size(size);
      ASSERT_TRUE(upload(*client, mode, "STOR " + name, content));
      EXPECT_TRUE(file_holds(site.home() + name, content));
      auto back = download(*client, mode, name);
      ASSERT_TRUE(back);
      EXPECT_EQ(back->size(), size);
      EXPECT_TRUE(*back == content);
    }
  }
}

TEST_P(Integrity, TwentyClientsAtOnceKeepTheirFilesApart) {
  start();
  constexpr int kClients = 20;
  std::vector<std::string> outcome(kClients);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClients; ++i) {
    threads.emplace_back([this, i, &outcome] {
      Mode mode = i % 2 == 0 ? Mode::Passive : Mode::Active;
      std::string name = "client" + std::to_string(i) + ".bin";
      std::string content = pattern(2 * 1024 * 1024 + static_cast<size_t>(i) * 313,
                                    static_cast<uint32_t>(i) + 100);
      auto client = login();
      if (!client) { outcome[i] = "login failed"; return; }
      if (!upload(*client, mode, "STOR " + name, content)) { outcome[i] = "upload failed"; return; }
      auto back = download(*client, mode, name);
      if (!back) { outcome[i] = "download failed"; return; }
      outcome[i] = *back == content ? "ok" : "differs";
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(outcome[i], "ok") << "client " << i;
}

INSTANTIATE_TEST_SUITE_P(BufferAndLoop, Integrity,
                         ::testing::Values(Setting{1024, 0}, Setting{1024, 4000000},
                                           Setting{65536, 0}, Setting{65536, 4000000}),
                         [](const ::testing::TestParamInfo<Setting>& info) {
                           return "Buffer" + std::to_string(info.param.buffer_size) +
                                  (info.param.limit_kbps ? "BlockLoop" : "KernelCopy");
                         });

class Resume : public ::testing::Test {
 protected:
  void SetUp() override {
    site.add_user("erin");
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("erin", "erin"));
  }

  // Starts an upload, sends part of content and closes the data connection.
  void interrupted_upload(const std::string& command, const std::string& part) {
    std::string preliminary;
    platform::Socket data = client.passive_data(command, &preliminary);
    ASSERT_NE(data, platform::kNoSocket);
    platform::send_all(data, part.data(), part.size());
    platform::close_socket(data);
    EXPECT_EQ(client.reply(10000), kComplete);  // a closed upload counts as complete
  }

  Site site{"resume"};
  std::unique_ptr<Server> server;
  FtpClient client;
};

TEST_F(Resume, InterruptedDownloadResumedWithRestGivesTheOriginal) {
  std::string content = pattern(24 * 1024 * 1024, 5);
  site.write_file("home/big.bin", content);
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR big.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  std::string first;
  char buffer[65536];
  while (first.size() < 1024 * 1024) {
    long n = platform::recv_some_timeout(data, buffer, sizeof buffer, 10000);
    ASSERT_GT(n, 0);
    first.append(buffer, static_cast<size_t>(n));
  }
  platform::close_socket(data);
  EXPECT_EQ(client.reply(10000), "426 Connection closed transfer aborted.\r\n");
  EXPECT_EQ(client.command("REST " + std::to_string(first.size())).substr(0, 4), "350 ");
  auto rest = client.download("RETR big.bin");
  ASSERT_TRUE(rest);
  EXPECT_EQ(harness::sha256_hex(first + *rest), harness::sha256_hex(content));
}

TEST_F(Resume, InterruptedUploadResumedWithRestAndStorGivesTheOriginal) {
  std::string content = pattern(3 * 1024 * 1024 + 77, 6);
  size_t cut = 1024 * 1024 + 12345;
  interrupted_upload("STOR up.bin", content.substr(0, cut));
  ASSERT_EQ(site.read_file("home/up.bin").size(), cut);
  EXPECT_EQ(client.command("REST " + std::to_string(cut)).substr(0, 4), "350 ");
  ASSERT_TRUE(client.upload("STOR up.bin", content.substr(cut)));
  EXPECT_EQ(harness::sha256_file(site.home() + "up.bin"), harness::sha256_hex(content));
}

TEST_F(Resume, InterruptedUploadResumedWithAppeGivesTheOriginal) {
  std::string content = pattern(3 * 1024 * 1024 + 77, 7);
  size_t cut = 2 * 1024 * 1024 + 1;
  interrupted_upload("STOR up.bin", content.substr(0, cut));
  ASSERT_TRUE(client.upload("APPE up.bin", content.substr(cut)));
  EXPECT_EQ(harness::sha256_file(site.home() + "up.bin"), harness::sha256_hex(content));
}

TEST_F(Resume, RestartedDownloadInActiveModeSendsTheTail) {
  std::string content = pattern(100000, 8);
  site.write_file("home/h.bin", content);
  client.command("REST 99999");
  auto tail = download(client, Mode::Active, "h.bin");
  ASSERT_TRUE(tail);
  EXPECT_EQ(*tail, content.substr(99999));
}

// The reply that ends a transfer is the last thing the transfer does: a REST sent the
// moment it arrives belongs to the next transfer and is not cleared by the one ending.
TEST_F(Resume, ARestSentTheMomentATransferEndsAppliesToTheNextOne) {
  std::string content = pattern(4096, 9);
  site.write_file("home/small.bin", content);
  for (size_t offset = 1; offset <= 40; ++offset) {
    ASSERT_EQ(client.command("REST " + std::to_string(offset)).substr(0, 4), "350 ");
    auto tail = client.download("RETR small.bin");
    ASSERT_TRUE(tail);
    ASSERT_EQ(*tail, content.substr(offset)) << "round " << offset;
  }
}

}  // namespace
