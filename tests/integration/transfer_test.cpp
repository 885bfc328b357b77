// RETR, STOR, APPE and ABOR as a client sees them: replies, events, files on disk,
// restart offsets, speed limits, aborted transfers and the transfer log.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
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

constexpr const char* kBadOffset = "452 Requested action not taken. \r\n";

// The last line of a log file once it has one that matches, polling for a short while
// (the worker writes the line after its reply).
std::string wait_for_log_line(const std::string& path, const std::regex& line) {
  std::string last;
  for (int i = 0; i < 50; ++i) {
    if (auto text = platform::read_whole_file(path)) {
      size_t start = 0;
      while (start < text->size()) {
        size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        std::string one = text->substr(start, end - start + 1);
        if (std::regex_search(one, line)) return one;
        last = one;
        start = end + 1;
      }
    }
    platform::sleep_ms(100);
  }
  return last;
}

std::string regex_escape(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

class Transfers : public ::testing::Test {
 protected:
  void start(Keys user_keys = {}) {
    site.add_user("alice", user_keys);
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(admin.connect(site.admin_port()));
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("alice", "alice"));
  }

  // The message of the next event of this type.
  std::string event_message(uint32_t type) {
    auto event = admin.wait_for(type, 5000);
    return event ? event->snapshot.message : "<no event>";
  }

  Site site{"transfer"};
  std::unique_ptr<Server> server;
  AdminClient admin;
  FtpClient client;
};

TEST_F(Transfers, TransferCommandsBeforeLoginAreRefused) {
  site.add_user("alice");
  Server running(site);
  FtpClient c;
  ASSERT_TRUE(c.connect(site.ftp_port()));
  ASSERT_EQ(c.reply().substr(0, 3), "220");
  EXPECT_EQ(c.command("RETR a.txt"), kNotLoggedIn);
  EXPECT_EQ(c.command("STOR a.txt"), kNotLoggedIn);
  EXPECT_EQ(c.command("APPE a.txt"), kNotLoggedIn);
  EXPECT_EQ(c.command("ABOR"), kAborClosed);
  EXPECT_FALSE(site.exists("home/a.txt"));
}

TEST_F(Transfers, DownloadSendsTheFileAndReportsStartAndEnd) {
  std::string content = pattern(5000);
  site.write_file("home/a.txt", content);
  start();
  std::string replies;
  auto data = client.download("RETR a.txt", &replies);
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, content);
  EXPECT_EQ(replies, std::string(kOpening) + kComplete);
  EXPECT_EQ(event_message(4), "ファイル[a.txt]の送信を開始します");
  EXPECT_EQ(event_message(7), "ファイル[" + site.home() + "a.txt]の送信が完了しました");
}

TEST_F(Transfers, DownloadOfMissingFileIsRefusedAndReported) {
  start();
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR nothere.txt", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_EQ(event_message(24), "ファイルが無いため、[nothere.txt]の読み込みを拒否しました。");
}

TEST_F(Transfers, DownloadOfAFolderIsRefused) {
  site.make_dir("home/sub");
  start();
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR sub", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_EQ(event_message(24), "ファイルが無いため、[sub]の読み込みを拒否しました。");
}

TEST_F(Transfers, DownloadWithoutTheReadRightIsRefusedAndReported) {
  site.write_file("home/a.txt", "secret");
  start({{"UserKinshi", "32"}});
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR a.txt", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_EQ(event_message(24), "権限が無いため、[a.txt]の読み込みを拒否しました。");
}

TEST_F(Transfers, DownloadAboveTheHomeFolderIsRefused) {
  start();
  EXPECT_EQ(client.command("RETR ../velmoraFTPd.ini"), kNotTaken);
  EXPECT_EQ(event_message(24), "権限が無いため、[../velmoraFTPd.ini]の読み込みを拒否しました。");
}

TEST_F(Transfers, RestartAtTheFileSizeSendsNothingAndCompletes) {
  site.write_file("home/h.bin", pattern(100));
  start();
  EXPECT_EQ(client.command("REST 100").substr(0, 4), "350 ");
  std::string replies;
  auto data = client.download("RETR h.bin", &replies);
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, "");
  EXPECT_EQ(replies, std::string(kOpening) + kComplete);
}

TEST_F(Transfers, RestartBeyondTheFileSizeIsRefusedBeforeTheTransfer) {
  site.write_file("home/h.bin", pattern(100));
  start();
  client.command("REST 101");
  std::string preliminary;
  EXPECT_EQ(client.passive_data("RETR h.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
}

TEST_F(Transfers, RestartInTheMiddleSendsTheRestAndIsUsedOnce) {
  std::string content = pattern(100);
  site.write_file("home/h.bin", content);
  start();
  client.command("REST 40");
  auto tail = client.download("RETR h.bin");
  ASSERT_TRUE(tail);
  EXPECT_EQ(*tail, content.substr(40));
  auto whole = client.download("RETR h.bin");
  ASSERT_TRUE(whole);
  EXPECT_EQ(*whole, content);
}

TEST_F(Transfers, UploadStoresTheFileAndReportsStartAndEnd) {
  start();
  std::string content = pattern(3000);
  std::string replies;
  EXPECT_TRUE(client.upload("STOR new.bin", content, &replies));
  EXPECT_EQ(replies, std::string(kOpening) + kComplete);
  EXPECT_EQ(site.read_file("home/new.bin"), content);
  EXPECT_EQ(event_message(5), "ファイル[new.bin]の書き込みを開始します。");
  EXPECT_EQ(event_message(8), "ファイル[" + site.home() + "new.bin]の受信が完了しました");
}

TEST_F(Transfers, UploadReplacesAnExistingFileCompletely) {
  site.write_file("home/old.txt", pattern(500, 1));
  start();
  EXPECT_TRUE(client.upload("STOR old.txt", "short"));
  EXPECT_EQ(site.read_file("home/old.txt"), "short");
}

TEST_F(Transfers, UploadCreatesMissingFolders) {
  start();
  EXPECT_TRUE(client.upload("STOR a/b/c.txt", "deep"));
  EXPECT_EQ(site.read_file("home/a/b/c.txt"), "deep");
  EXPECT_TRUE(client.upload("STOR /x/y.txt", "rooted"));
  EXPECT_EQ(site.read_file("home/x/y.txt"), "rooted");
}

TEST_F(Transfers, UploadIntoMissingFoldersWithoutTheMakeRightIsRefused) {
  start({{"UserKinshi", "128"}});
  std::string preliminary;
  EXPECT_EQ(client.passive_data("STOR a/b/c.txt", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_FALSE(site.exists("home/a"));
  EXPECT_EQ(event_message(24), "[a/b/c.txt]への書き込みを拒否しました。");
}

TEST_F(Transfers, UploadWithoutTheWriteRightIsRefusedAndReported) {
  start({{"UserKinshi", "8"}});
  std::string preliminary;
  EXPECT_EQ(client.passive_data("STOR new.txt", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_FALSE(site.exists("home/new.txt"));
  EXPECT_EQ(event_message(24), "[new.txt]への書き込みを拒否しました。");
}

TEST_F(Transfers, UploadOverStoredBytesNeedsTheOverwriteRight) {
  std::string old = pattern(100, 3);
  site.write_file("home/old.bin", old);
  start({{"UserKinshi", "2"}});
  std::string preliminary;
  EXPECT_EQ(client.passive_data("STOR old.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_EQ(event_message(24), "[old.bin]への上書きを拒否しました。");
  EXPECT_EQ(site.read_file("home/old.bin"), old);

  client.command("REST 10");
  EXPECT_EQ(client.passive_data("STOR old.bin", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);

  // Writing at the end replaces nothing, and a new file has nothing to replace.
  client.command("REST 100");
  EXPECT_TRUE(client.upload("STOR old.bin", "tail"));
  EXPECT_EQ(site.read_file("home/old.bin"), old + "tail");
  EXPECT_TRUE(client.upload("STOR fresh.bin", "fresh"));
  EXPECT_EQ(site.read_file("home/fresh.bin"), "fresh");
}

TEST_F(Transfers, RestartedUploadKeepsTheBytesBeforeTheOffset) {
  std::string old = pattern(100, 3);
  site.write_file("home/old.bin", old);
  start();
  client.command("REST 10");
  std::string fresh = pattern(30, 9);
  EXPECT_TRUE(client.upload("STOR old.bin", fresh));
  EXPECT_EQ(site.read_file("home/old.bin"), old.substr(0, 10) + fresh);
}

TEST_F(Transfers, UploadWithAnOffsetBeyondTheFileEndIsRefusedWith452) {
  std::string old = pattern(100, 3);
  site.write_file("home/old.bin", old);
  start();
  client.command("REST 500");
  std::string preliminary;
  platform::Socket data = client.passive_data("STOR old.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(preliminary, kOpening);
  EXPECT_EQ(client.reply(), kBadOffset);
  platform::close_socket(data);
  EXPECT_EQ(site.read_file("home/old.bin"), old);
  EXPECT_EQ(event_message(8), "ファイルサイズ指定に問題があるため、[" + site.home() +
                                  "old.bin]の受信を拒否しました。");
  // The offset was used up: the next upload starts at 0.
  EXPECT_TRUE(client.upload("STOR old.bin", "again"));
  EXPECT_EQ(site.read_file("home/old.bin"), "again");
}

TEST_F(Transfers, AppendToAMissingFileCreatesIt) {
  start();
  EXPECT_TRUE(client.upload("APPE log.txt", "first"));
  EXPECT_EQ(site.read_file("home/log.txt"), "first");
  EXPECT_EQ(event_message(5), "ファイル[log.txt]の受信を開始します。");
}

TEST_F(Transfers, AppendToAnExistingFileAddsAtItsEndWithoutTheOverwriteRight) {
  site.write_file("home/log.txt", "first");
  start({{"UserKinshi", "2"}});
  EXPECT_TRUE(client.upload("APPE log.txt", "+second"));
  EXPECT_EQ(site.read_file("home/log.txt"), "first+second");
}

TEST_F(Transfers, AppendWithoutTheAppendRightIsRefusedAndReported) {
  site.write_file("home/log.txt", "first");
  start({{"UserKinshi", "1"}});
  std::string preliminary;
  EXPECT_EQ(client.passive_data("APPE log.txt", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_EQ(event_message(24), "[log.txt]への追記を拒否しました。");
  EXPECT_EQ(site.read_file("home/log.txt"), "first");
}

TEST_F(Transfers, AppendDoesNotCreateFolders) {
  start();
  std::string preliminary;
  EXPECT_EQ(client.passive_data("APPE none/log.txt", &preliminary), platform::kNoSocket);
  EXPECT_EQ(preliminary, kNotTaken);
  EXPECT_FALSE(site.exists("home/none"));
}

TEST_F(Transfers, DownloadSpeedLimitSendsAboutOneBlockPerSecond) {
  std::string content = pattern(3 * 1024);
  site.write_file("home/slow.bin", content);
  start({{"UpBps", "8"}});
  uint32_t begin = platform::tick_ms();
  auto data = client.download("RETR slow.bin");
  uint32_t elapsed = platform::tick_ms() - begin;
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, content);
  EXPECT_GE(elapsed, 2000u);  // three blocks of 1024 bytes at 8 kbit/s
  int progress = 0;
  while (auto event = admin.next_event(500)) {
    if (event->type == 9) {
      ++progress;
      EXPECT_EQ(event->snapshot.transferring, 1u);
      EXPECT_LE(event->snapshot.transferred, 3u * 1024);
    }
    if (event->type == 7) break;
  }
  EXPECT_GE(progress, 2);
}

TEST_F(Transfers, UploadSpeedLimitReceivesAboutOneBlockPerSecond) {
  start({{"DownBps", "8"}});
  std::string content = pattern(3 * 1024);
  uint32_t begin = platform::tick_ms();
  EXPECT_TRUE(client.upload("STOR slow.bin", content));
  EXPECT_GE(platform::tick_ms() - begin, 2000u);
  EXPECT_EQ(site.read_file("home/slow.bin"), content);
}

TEST_F(Transfers, AbortDuringDownloadAnswers426Then226AndTheNextTransferWorks) {
  std::string content = pattern(20 * 1024);
  site.write_file("home/slow.bin", content);
  start({{"UpBps", "8"}});
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR slow.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(preliminary, kOpening);
  std::string first = read_at_least(data, 1024);
  EXPECT_EQ(first, content.substr(0, first.size()));
  client.send_line("ABOR");
  EXPECT_EQ(client.reply(), kAborted);
  EXPECT_EQ(client.reply(), kAborClosed);
  platform::close_socket(data);
  EXPECT_EQ(event_message(7), "ファイル送信が停止しました。");

  site.write_file("home/small.txt", "small");
  std::string replies;
  auto again = client.download("RETR small.txt", &replies);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, "small");
  EXPECT_EQ(replies, std::string(kOpening) + kComplete);
}

TEST_F(Transfers, AbortDuringUploadEndsTheUploadAsComplete) {
  start();
  std::string preliminary;
  platform::Socket data = client.passive_data("STOR up.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(preliminary, kOpening);
  std::string part = pattern(5000);
  ASSERT_EQ(platform::send_all(data, part.data(), part.size()), part.size());
  for (int i = 0; i < 100 && site.read_file("home/up.bin").size() < part.size(); ++i) {
    platform::sleep_ms(20);
  }
  client.send_line("ABOR");
  EXPECT_EQ(client.reply(), kComplete);
  EXPECT_EQ(client.reply(), kAborClosed);
  platform::close_socket(data);
  EXPECT_EQ(site.read_file("home/up.bin"), part);
  EXPECT_TRUE(client.upload("STOR next.bin", "next"));
  EXPECT_EQ(site.read_file("home/next.bin"), "next");
}

TEST_F(Transfers, ClientThatClosesTheDataConnectionMidDownloadGets426) {
  std::string content = pattern(32 * 1024 * 1024);
  site.write_file("home/big.bin", content);
  start();
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR big.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(preliminary, kOpening);
  std::string first = read_at_least(data, 65536);
  EXPECT_EQ(first, content.substr(0, first.size()));
  platform::close_socket(data);
  EXPECT_EQ(client.reply(10000), kAborted);
  EXPECT_EQ(event_message(7), "ファイル送信が停止しました。");

  auto again = client.download("RETR big.bin");
  ASSERT_TRUE(again);
  EXPECT_TRUE(*again == content);
}

TEST_F(Transfers, DownloadLineInTheTransferLogStarsTheBlanksOfThePath) {
  site.write_file("home/my file.txt", pattern(1000));
  start();
  ASSERT_TRUE(client.download("RETR my file.txt"));
  std::regex line("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d 1 \\d+ 1000 0 " +
                  regex_escape(site.home() + "my*file.txt") + "\\r?\\n$");
  std::string found = wait_for_log_line(site.path("user/alice.flg"), line);
  EXPECT_TRUE(std::regex_search(found, line)) << found;
}

TEST_F(Transfers, TransferLogRecordsDirectionBytesAndStartOffset) {
  site.write_file("home/h.bin", pattern(100));
  start();
  client.command("REST 40");
  ASSERT_TRUE(client.download("RETR h.bin"));
  std::regex sent(" 1 \\d+ 60 40 " + regex_escape(site.home() + "h.bin") + "\\r?\\n$");
  EXPECT_TRUE(std::regex_search(wait_for_log_line(site.path("user/alice.flg"), sent), sent));
  ASSERT_TRUE(client.upload("STOR up load.bin", pattern(77)));
  std::regex received(" 0 \\d+ 77 0 " + regex_escape(site.home() + "up*load.bin") + "\\r?\\n$");
  EXPECT_TRUE(
      std::regex_search(wait_for_log_line(site.path("user/alice.flg"), received), received));
}

TEST_F(Transfers, TransferLogIsNotWrittenWhenSwitchedOff) {
  site.set("Log", "LogAllFile", "0");
  site.write_file("home/h.bin", pattern(100));
  start();
  ASSERT_TRUE(client.download("RETR h.bin"));
  ASSERT_TRUE(client.upload("STOR u.bin", "u"));
  EXPECT_EQ(client.command("NOOP").substr(0, 3), "200");
  EXPECT_FALSE(site.exists("user/alice.flg"));
}

// Above 4 GiB: the client gets the whole file and the transfer log the whole count.
TEST_F(Transfers, DownloadAboveFourGibibytesSendsTheWholeFile) {
  const uint64_t size = (uint64_t{1} << 32) + 100;
  {
    platform::File file = platform::File::open_write(site.home() + "huge.bin");
    ASSERT_TRUE(file.is_open());
    ASSERT_TRUE(file.truncate_at(size));  // sparse: reads back as zeros
  }
  site.set("System", "BufferSize", "1048576");
  start();
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR huge.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket);
  std::vector<char> buffer(1 << 20);
  uint64_t received = 0;
  bool all_zero = true;
  for (;;) {
    long n = platform::recv_some_timeout(data, buffer.data(), buffer.size(), 20000);
    if (n <= 0) break;
    if (received % (256u << 20) < static_cast<uint64_t>(n)) {
      for (long i = 0; i < n; ++i) all_zero = all_zero && buffer[static_cast<size_t>(i)] == 0;
    }
    received += static_cast<uint64_t>(n);
  }
  platform::close_socket(data);
  EXPECT_EQ(received, size);
  EXPECT_TRUE(all_zero);
  EXPECT_EQ(client.reply(20000), kComplete);
  std::regex line(" 1 \\d+ 4294967396 0 " + regex_escape(site.home() + "huge.bin") + "\\r?\\n$");
  EXPECT_TRUE(std::regex_search(wait_for_log_line(site.path("user/alice.flg"), line), line));
  platform::remove_file(site.home() + "huge.bin");
}

}  // namespace
