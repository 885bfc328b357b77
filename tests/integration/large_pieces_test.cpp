// Transfers that nobody watches block by block move in large pieces; these tests pin what
// must not change because of that: aborts, credit and ratio totals, and the exact blocks
// that a speed limit still gets. (Sizes and resumes are in integrity_test.cpp.)
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Keys;
using harness::Server;
using harness::Site;
using harness::pattern;
using harness::read_at_least;

constexpr size_t kMiB = 1024 * 1024;
constexpr uint32_t kEventDownloadEnded = 7;
constexpr uint32_t kEventUploadEnded = 8;
constexpr uint32_t kEventProgress = 9;

class LargePieces : public ::testing::Test {
 protected:
  void start(Keys keys = {}) {
    site.add_user("lena", keys);
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(admin.connect(site.admin_port()));
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("lena", "lena"));
  }
  Site site{"large-pieces"};
  std::unique_ptr<Server> server;
  AdminClient admin;
  FtpClient client;
};

// ABOR and a kick stop a download within one piece: the client is told at once, the
// session goes on (ABOR) or ends (kick), and the next transfer is whole.
TEST_F(LargePieces, AbortAndKickStopADownloadWithinOnePiece) {
  std::string content = pattern(64 * kMiB, 3);
  site.write_file("home/big.bin", content);
  start();
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR big.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(preliminary, kOpening);
  std::string first = read_at_least(data, 2 * kMiB);
  EXPECT_EQ(first, content.substr(0, first.size()));
  client.send_line("ABOR");
  EXPECT_EQ(client.reply(10000), kAborted);
  EXPECT_EQ(client.reply(10000), kAborClosed);
  platform::close_socket(data);
  auto event = admin.wait_for(kEventDownloadEnded, 10000);
  ASSERT_TRUE(event);
  EXPECT_LT(event->snapshot.transferred, content.size());

  site.write_file("home/small.bin", content.substr(0, kMiB + 1));
  auto again = client.download("RETR small.bin");
  ASSERT_TRUE(again);
  EXPECT_TRUE(*again == content.substr(0, kMiB + 1));

  data = client.passive_data("RETR big.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  read_at_least(data, kMiB);
  auto started = admin.wait_for(kEventProgress, 10000, "lena");
  ASSERT_TRUE(started);
  admin.send(shared::AdminCommandCode::Kick, started->snapshot.session_id);
  EXPECT_TRUE(client.wait_closed(10000));
  event = admin.wait_for(kEventDownloadEnded, 10000);
  ASSERT_TRUE(event);
  EXPECT_LT(event->snapshot.transferred, content.size());
  platform::close_socket(data);
}

// The same upload and download leave the same saved credit whether they move in large
// pieces or in blocks of the setting: ratio 1:3 and the capacity limit together change
// it by 3n - n for the upload and -n for the download.
TEST(LargePieceCredits, RatioAndCapacityTotalsEqualTheBlockLoops) {
  const std::string content = pattern(3 * kMiB + 7, 4);
  auto saved_credit = [&](const std::string& limit) {
    Site site("large-credits");
    site.add_user("max", Keys{{"UseRate", "1"}, {"RateUp", "1"}, {"RateDown", "3"},
                              {"UseLmitCapacity", "1"}, {"Credit", "100000000"},
                              {"SaveCredit", "1"}, {"UpBps", limit}, {"DownBps", limit}});
    Server server(site);
    FtpClient client;
    if (!client.connect(site.ftp_port()) || !client.login("max", "max")) return std::string("login");
    if (!client.upload("STOR up.bin", content)) return std::string("upload");
    auto back = client.download("RETR up.bin");
    if (!back || *back != content) return std::string("download");
    client.command("QUIT");
    const std::string file = site.path("user/max.usr");
    for (int i = 0; i < 100 && !platform::profile_has_key(file, "UserInfo", "Email"); ++i) {
      platform::sleep_ms(50);
    }
    return site.user_key("max", "NowCredit");
  };
  const std::string expected = std::to_string(100000000 + content.size()) + ".000000";
  EXPECT_EQ(saved_credit("0"), expected);          // large pieces
  EXPECT_EQ(saved_credit("4000000"), expected);    // blocks: a limit too high to wait
}

// A speed limit keeps the blocks of BufferSize in both directions: progress shows the
// transfer part-way, in whole blocks, where a large piece would have moved it all at once.
TEST_F(LargePieces, SpeedLimitKeepsBlocksOfTheSetting) {
  site.set("System", "BufferSize", "1000");
  std::string content = pattern(25000, 5);
  site.write_file("home/paced.bin", content);
  start({{"UpBps", "80"}, {"DownBps", "80"}});  // 1000 bytes per 100 ms
  for (const char* command : {"RETR paced.bin", "STOR paced-up.bin"}) {
    SCOPED_TRACE(command);
    bool upload = command[0] == 'S';
    std::string preliminary;
    platform::Socket data = client.passive_data(command, &preliminary);
    ASSERT_NE(data, platform::kNoSocket);
    if (upload) {
      platform::send_all(data, content.data(), content.size());
      platform::shutdown_send(data);
    }
    auto progress = admin.wait_for(kEventProgress, 10000, "lena");
    ASSERT_TRUE(progress);
    uint32_t part = progress->snapshot.transferred;
    EXPECT_GT(part, 0u);
    EXPECT_LT(part, content.size());
    EXPECT_EQ(part % 1000, 0u);
    std::string got = harness::read_data(data, 30000);
    EXPECT_EQ(client.reply(30000), kComplete);
    if (!upload) {
      EXPECT_TRUE(got == content);
    }
    auto ended = admin.wait_for(upload ? kEventUploadEnded : kEventDownloadEnded, 10000);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->snapshot.transferred, content.size());
  }
  EXPECT_TRUE(site.read_file("home/paced-up.bin") == content);
}

}  // namespace
