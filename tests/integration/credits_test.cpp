// Credits, ratio and the capacity limit as a client sees them. The remaining credit is
// read from the transfer-complete reply, set up to show the CREDIT variable.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>

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

std::string bytes(size_t size, char fill = 'c') { return std::string(size, fill); }

// The CREDIT value shown by the 226 reply in replies, or "<none>".
std::string shown_credit(const std::string& replies) {
  std::smatch match;
  static const std::regex credit("226-credit ([^\\r]*)\\r\\n226 \\r\\n");
  return std::regex_search(replies, match, credit) ? match[1].str() : "<none> in " + replies;
}

class Credits : public ::testing::Test {
 protected:
  void start(Keys keys) {
    keys.emplace("UseCompleteMessage", "1");
    keys.emplace("Message226_0", "credit $CREDIT$");
    keys.emplace("Message226_1", "_____endofline_____");
    site.add_user("carol", keys);
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(admin.connect(site.admin_port()));
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("carol", "carol"));
  }

  // Downloads and returns the credit shown afterwards; "" when the download failed.
  std::string credit_after_download(const std::string& command, std::string* data = nullptr) {
    std::string replies;
    auto got = client.download(command, &replies);
    if (!got) return "";
    if (data) *data = *got;
    return shown_credit(replies);
  }

  std::string credit_after_upload(const std::string& command, const std::string& data) {
    std::string replies;
    if (!client.upload(command, data, &replies)) return "upload failed: " + replies;
    return shown_credit(replies);
  }

  std::string event_message(uint32_t type) {
    auto event = admin.wait_for(type, 5000);
    return event ? event->snapshot.message : "<no event>";
  }

  Site site{"credits"};
  std::unique_ptr<Server> server;
  AdminClient admin;
  FtpClient client;
};

Keys ratio(const std::string& up, const std::string& down, const std::string& credit) {
  return {{"UseRate", "1"}, {"RateUp", up}, {"RateDown", down}, {"Credit", credit}};
}

TEST_F(Credits, RatioRefusesADownloadThatNeedsMoreThanTheCredit) {
  site.write_file("home/big.bin", bytes(1001));
  start(ratio("1", "1", "1000"));
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR big.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary,
            "550-Sorry You Need more credit.\r\n"
            "550 You have 1000(1000B) credit.You need 1001(1001B) credit to read this file.\r\n");
  EXPECT_EQ(event_message(24), "クレジット不足のため[big.bin]の読み込みを拒否しました。");
}

TEST_F(Credits, RatioAllowsADownloadThatNeedsExactlyTheCreditAndChargesIt) {
  site.write_file("home/even.bin", bytes(1000));
  site.write_file("home/one.bin", bytes(1));
  start(ratio("1", "1", "1000"));
  EXPECT_EQ(credit_after_download("RETR even.bin"), "0(0B)");
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR one.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary,
            "550-Sorry You Need more credit.\r\n"
            "550 You have 0(0B) credit.You need 1(1B) credit to read this file.\r\n");
}

TEST_F(Credits, RefusalShowsLargeCreditsAsSizeTexts) {
  site.write_file("home/big.bin", bytes(2 * 1024 * 1024));
  start(ratio("1", "1", "1536"));
  std::string preliminary;
  client.passive_data("RETR big.bin", &preliminary);
  EXPECT_EQ(preliminary,
            "550-Sorry You Need more credit.\r\n"
            "550 You have 1536(1.50KB) credit.You need 2097152(2.00MB) credit to read this "
            "file.\r\n");
}

TEST_F(Credits, RestartOffsetLowersTheCreditADownloadNeeds) {
  std::string content = bytes(500, 'a') + bytes(1000, 'b');
  site.write_file("home/part.bin", content);
  start(ratio("1", "1", "1000"));
  client.command("REST 500");
  std::string data;
  EXPECT_EQ(credit_after_download("RETR part.bin", &data), "0(0B)");
  EXPECT_EQ(data, bytes(1000, 'b'));
}

TEST_F(Credits, FreeFolderDownloadsWithoutTestAndWithoutCharge) {
  site.make_dir("home/free");
  site.write_file("home/free/gift.bin", bytes(5000));
  site.write_file("home/paid.bin", bytes(5000));
  Keys keys = ratio("1", "1", "1000");
  keys.emplace("Dir0", site.home() + "free/");
  keys.emplace("Prhb0", "2048");
  start(keys);
  EXPECT_EQ(credit_after_download("RETR free/gift.bin"), "1000(1000B)");
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR paid.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary.substr(0, 4), "550-");
}

TEST_F(Credits, AccountWithTheFreeBitDownloadsEverythingFree) {
  site.write_file("home/paid.bin", bytes(5000));
  Keys keys = ratio("1", "1", "1000");
  keys.emplace("UserKinshi", "2048");
  start(keys);
  EXPECT_EQ(credit_after_download("RETR paid.bin"), "1000(1000B)");
}

TEST_F(Credits, RatioOneToTwoEarnsTwiceTheUploadedBytes) {
  start(ratio("1", "2", "0"));
  EXPECT_EQ(credit_after_upload("STOR up.bin", bytes(10000)), "20000(19.5KB)");
  EXPECT_EQ(site.read_file("home/up.bin"), bytes(10000));
}

TEST_F(Credits, RatioWithZeroUploadShareEarnsNothing) {
  site.write_file("home/one.bin", bytes(1));
  start(ratio("0", "5", "0"));
  EXPECT_EQ(credit_after_upload("STOR up.bin", bytes(1000)), "0(0B)");
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR one.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary.substr(0, 4), "550-");
}

TEST_F(Credits, DownloadWithoutRatioIsNotTestedButStillLowersTheCapacity) {
  site.write_file("home/big.bin", bytes(1500));
  start({{"UseLmitCapacity", "1"}, {"Credit", "1000"}});
  EXPECT_EQ(credit_after_download("RETR big.bin"), "-500(-500B)");
  std::string preliminary;
  EXPECT_EQ(client.passive_data("STOR up.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, "550 Capacity limit.\r\n");
}

TEST_F(Credits, CapacityLimitRefusesAnUploadWhenNoCreditIsLeft) {
  start({{"UseLmitCapacity", "1"}, {"Credit", "0"}});
  std::string preliminary;
  EXPECT_EQ(client.passive_data("STOR up.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, "550 Capacity limit.\r\n");
  EXPECT_EQ(event_message(24), "[up.bin]への書き込みを拒否しました。");
  EXPECT_FALSE(site.exists("home/up.bin"));
}

TEST_F(Credits, CapacityLimitStopsAnAppendAfterItsFirstBlock) {
  start({{"UseLmitCapacity", "1"}, {"Credit", "0"}});
  std::string preliminary;
  platform::Socket data = client.passive_data("APPE up.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(preliminary, kOpening);
  std::string payload = bytes(5000);
  platform::send_all(data, payload.data(), payload.size());
  EXPECT_EQ(client.reply(), "426 Capacity limit.\r\n");
  platform::close_socket(data);
  std::string stored = site.read_file("home/up.bin");
  EXPECT_GT(stored.size(), 0u);
  EXPECT_LE(stored.size(), 1024u);
  EXPECT_EQ(event_message(8), "容量制限のため、受信拒否しました。");
}

TEST_F(Credits, CapacityLimitUploadsConsumeTheCreditUntilItIsUsedUp) {
  start({{"UseLmitCapacity", "1"}, {"Credit", "5000"}});
  EXPECT_EQ(credit_after_upload("STOR a.bin", bytes(3000)), "2000(1.95KB)");
  std::string preliminary;
  platform::Socket data = client.passive_data("STOR b.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  std::string payload = bytes(3000);
  platform::send_all(data, payload.data(), payload.size());
  EXPECT_EQ(client.reply(), "426 Capacity limit.\r\n");
  platform::close_socket(data);
  size_t stored = site.read_file("home/b.bin").size();
  EXPECT_GE(stored, 2000u);
  EXPECT_LE(stored, 3000u);
}

TEST_F(Credits, UploadOverStoredBytesGivesTheirSizeBackFirst) {
  site.write_file("home/old.bin", bytes(4096));
  start({{"UseLmitCapacity", "1"}, {"Credit", "0"}});
  EXPECT_EQ(credit_after_upload("STOR old.bin", bytes(1000)), "3096(3.02KB)");
  client.command("REST 96");  // replaces 904 of the 1000 stored bytes
  EXPECT_EQ(credit_after_upload("STOR old.bin", bytes(100)), "3900(3.80KB)");
  EXPECT_EQ(site.read_file("home/old.bin").size(), 196u);
}

TEST_F(Credits, DeletionGivesTheFileSizeBack) {
  site.write_file("home/gone.bin", bytes(4096));
  start({{"UseLmitCapacity", "1"}, {"Credit", "0"}});
  EXPECT_EQ(client.command("DELE gone.bin").substr(0, 4), "250 ");
  EXPECT_EQ(credit_after_upload("STOR new.bin", bytes(96)), "4000(3.90KB)");
}

TEST_F(Credits, RatioAndCapacityTogetherChangeTheCreditByTheDifference) {
  Keys keys = ratio("1", "3", "100");
  keys.emplace("UseLmitCapacity", "1");
  start(keys);
  // Each uploaded byte earns 3 and uses 1.
  EXPECT_EQ(credit_after_upload("STOR up.bin", bytes(1000)), "2100(2.05KB)");
}

}  // namespace
