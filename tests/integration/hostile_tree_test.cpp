// What a local user who can write into a home can put there: named pipes, sockets and
// devices, very deep folder chains, and folders swapped for links while the server works.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/files.h"
#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;
namespace fs = std::filesystem;

constexpr const char* kCannotOpenFile = "550 Can't Open File Handle.\r\n";

// A FIFO, a UNIX socket and (through a virtual folder onto /dev) character devices: a
// transfer of any of them is refused at once, and the session stays free for kick and
// stop.
TEST(SpecialFiles, AreRefusedAtOnceAndNeverHoldASession) {
  Site site{"special"};
  ASSERT_TRUE(platform::make_fifo(site.home() + "pipe"));
  std::string bind = "python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('" +
                     site.home() + "sock')\"";
  ASSERT_EQ(std::system(bind.c_str()), 0);
  site.set("VirtualDir", "Vir0", site.home() + "dev/");
  site.set("VirtualDir", "Dir0", "/dev/");
  site.add_user("alice");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("alice", "alice"));
  for (const char* name : {"pipe", "sock", "dev/zero", "dev/null"}) {
    std::string preliminary;
    EXPECT_EQ(client.passive_data(std::string("RETR ") + name, &preliminary), platform::kNoSocket);
    EXPECT_EQ(preliminary, kNotTaken) << name;
    EXPECT_EQ(client.passive_data(std::string("STOR ") + name, &preliminary), platform::kNoSocket);
    EXPECT_EQ(preliminary, kCannotOpenFile) << name;
    EXPECT_EQ(client.passive_data(std::string("APPE ") + name, &preliminary), platform::kNoSocket);
    EXPECT_EQ(preliminary, kCannotOpenFile) << name;
    EXPECT_EQ(client.command("ABOR"), kAborClosed) << name;
  }
  EXPECT_TRUE(fs::is_fifo(site.home() + "pipe"));
  auto listing = client.download("NLST");
  ASSERT_TRUE(listing);
  EXPECT_NE(listing->find("pipe\r\n"), std::string::npos) << *listing;
  auto refused = admin.wait_for(shared::kEventRefused);
  ASSERT_TRUE(refused);
  admin.send(shared::AdminCommandCode::Kick, refused->session_id);
  EXPECT_TRUE(client.wait_closed(5000));

  // A second client leaves a refused FIFO upload behind; stop still ends at once.
  FtpClient second;
  ASSERT_TRUE(second.connect(site.ftp_port()));
  ASSERT_TRUE(second.login("alice", "alice"));
  std::string preliminary;
  second.passive_data("STOR pipe", &preliminary);
  EXPECT_EQ(preliminary, kCannotOpenFile);
  server.signal(SIGTERM);
  EXPECT_EQ(server.wait_exit(harness::scaled_ms(15000)), std::optional<int>(0));
}

// A chain of 70 nested folders, and one with a long name: LIST -R goes 64 levels down (or
// as far as a path can be held) and names the first folder it leaves out.
TEST(DeepTrees, RecursiveListingsStopAtTheLimitAndShowTheCut) {
  Site site{"deep"};
  std::string chain;
  for (int level = 0; level < 70; ++level) chain += "d/";
  fs::create_directories(site.home() + chain);
  std::string long_name(200, 'n');
  fs::create_directories(site.home() + "x/" + long_name + "/" + long_name);
  site.add_user("alice");
  Server server(site);
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("alice", "alice"));
  for (const char* command : {"LIST -R", "NLST -R"}) {
    auto data = client.download(command);
    ASSERT_TRUE(data) << command;
    const std::string cut = "(not listed: deeper than 64 levels or path too long)";
    std::string shown;
    bool cut_seen = false;
    for (int level = 1; level <= 70; ++level) {
      shown += "d/";
      bool listed = level <= 64 && site.home().size() + shown.size() <= 258;
      size_t header = data->find("\r\n" + shown + ":\r\n");
      if (!listed && !cut_seen) {
        ASSERT_NE(header, std::string::npos) << command << " level " << level;
        EXPECT_EQ(data->find(cut, header), header + shown.size() + 5) << command;
        cut_seen = true;
      } else {
        EXPECT_EQ(header != std::string::npos, listed) << command << " level " << level;
      }
    }
    EXPECT_TRUE(cut_seen) << command;
    // home/x/<200 bytes>/ is longer than a session path: named, not entered.
    std::string too_long = "\r\nx/" + long_name + "/:\r\n" + cut;
    EXPECT_NE(data->find(too_long), std::string::npos) << command;
  }
  EXPECT_EQ(client.command("NOOP").substr(0, 3), "200");
}

}  // namespace
