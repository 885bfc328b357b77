// What a local user who can write into a home can put there: named pipes, sockets and
// devices, very deep folder chains, and folders swapped for links while the server works.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

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
  // x/<fits>/ still fits a session path of 258 bytes wherever the site lies; the folder
  // below it, x/<fits>/<long>/, does not.
  std::string fits(258 - site.home().size() - 3 - 8, 'f');
  std::string long_name(20, 'n');
  fs::create_directories(site.home() + "x/" + fits + "/" + long_name);
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
    // home/x/<fits>/<long>/ is longer than a session path: named, not entered.
    EXPECT_NE(data->find("\r\nx/" + fits + "/:\r\n"), std::string::npos) << command;
    std::string too_long = "\r\nx/" + fits + "/" + long_name + "/:\r\n" + cut;
    EXPECT_NE(data->find(too_long), std::string::npos) << command;
  }
  EXPECT_EQ(client.command("NOOP").substr(0, 3), "200");
}

// Links that stay inside the home work; a link that leads outside is listed as itself;
// and a folder swapped for such a link again and again while RETR, STOR and LIST run
// never lets one of them read, write or list outside.
TEST(SymbolicLinks, NeverLeadOutsideEvenWhenSwappedDuringCommands) {
  Site site{"links"};
  std::string home = site.home();
  site.write_file("outside/f.txt", "OUTSIDE");
  site.write_file("outside/outside-only.txt", "x");
  site.write_file("home/real/f.txt", "inside");
  fs::create_directory_symlink("real", home + "rel-link");
  fs::create_directory_symlink(home + "real", home + "abs-link");
  fs::create_directory_symlink(site.path("outside"), home + "out-link");
  fs::create_directory(home + "sw");
  site.write_file("home/sw/f.txt", "inside");
  fs::create_directory_symlink(site.path("outside"), home + "lk");
  site.add_user("alice");
  Server server(site);
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("alice", "alice"));
  for (const char* folder : {"rel-link", "abs-link"}) {
    EXPECT_EQ(client.download(std::string("RETR ") + folder + "/f.txt"), "inside") << folder;
    EXPECT_TRUE(client.upload(std::string("STOR ") + folder + "/up.txt", "up")) << folder;
    EXPECT_EQ(client.download(std::string("NLST ") + folder + "/up.txt"), "up.txt\r\n");
  }
  auto listing = client.download("LIST -R");
  ASSERT_TRUE(listing);
  EXPECT_NE(listing->find("lrwxrw-rw- "), std::string::npos) << *listing;
  EXPECT_NE(listing->find(" out-link\r\n"), std::string::npos) << *listing;
  EXPECT_EQ(listing->find("outside-only"), std::string::npos) << *listing;
  EXPECT_EQ(client.passive_data("STOR out-link/up.txt", nullptr), platform::kNoSocket);

  // sw and lk trade places: a real folder one moment, a link to outside/ the next.
  std::atomic<bool> stop{false};
  std::atomic<int> swaps{0};
  std::thread swapper([&] {
    std::error_code ec;
    while (!stop.load()) {
      fs::rename(home + "sw", home + "tmp", ec);
      fs::rename(home + "lk", home + "sw", ec);
      fs::rename(home + "tmp", home + "lk", ec);
      ++swaps;
    }
  });
  for (int round = 0; round < 3000 && (round < 300 || swaps.load() < 1000); ++round) {
    auto got = client.download("RETR sw/f.txt");
    if (got) EXPECT_EQ(*got, "inside");
    client.upload("STOR sw/up" + std::to_string(round) + ".txt", "up");
    auto names = client.download("NLST sw/");
    if (names) EXPECT_EQ(names->find("outside-only"), std::string::npos) << *names;
  }
  int swaps_during = swaps.load();
  stop = true;
  swapper.join();
  EXPECT_GE(swaps_during, 1000);
  EXPECT_EQ(site.read_file("outside/f.txt"), "OUTSIDE");
  size_t outside_names = 0;
  for (const auto& entry : fs::directory_iterator(site.path("outside"))) {
    ++outside_names;
    EXPECT_EQ(entry.path().filename().string().rfind("up", 0), std::string::npos);
  }
  EXPECT_EQ(outside_names, 2u);
}

}  // namespace
