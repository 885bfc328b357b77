// Plug-ins as clients and the Manager see them: which shared objects load, the order of
// the per-account and all-users hooks, answers and refusals, texts posted to the
// Manager, control and data traffic that plug-ins feed or rewrite.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/socket.h"
#include "tests/support/harness.h"

namespace {

using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr const char* kCoreNoop = "200 OK\r\n";

std::string test_plugin(const std::string& name) {
  return std::string(TEST_BINARY_DIR) + "/test_plugins/" + name + ".so";
}
std::string example_plugin(const std::string& name) {
  return std::string(TEST_BINARY_DIR) + "/plugins/" + name + ".so";
}

void set_system_plugins(Site& site, const std::vector<std::string>& paths) {
  site.set("SysPlugIn", "SysPlugInNum", std::to_string(paths.size()));
  for (size_t i = 0; i < paths.size(); ++i)
    site.set("SysPlugIn", "Plugin" + std::to_string(i), paths[i]);
}

void set_user_plugins(Site& site, const std::string& user, const std::vector<std::string>& paths) {
  site.set_user_key(user, "UserPlugIn", "PlugInNum", std::to_string(paths.size()));
  for (size_t i = 0; i < paths.size(); ++i)
    site.set_user_key(user, "UserPlugIn", "Plugin" + std::to_string(i), paths[i]);
}

// The text of the next event 26 (empty when none comes).
std::string next_posted_text(AdminClient& admin, int timeout_ms = 5000) {
  auto event = admin.wait_for(shared::kEventPluginText, timeout_ms);
  return event ? event->text : "";
}

TEST(PluginLoading, PluginWithOnlyTheRequiredExportsAnswersForItsAccounts) {
  Site site("plug-required");
  set_system_plugins(site, {test_plugin("required_only")});
  site.add_user("bob");
  site.add_user("carol");
  set_user_plugins(site, "bob", {test_plugin("required_only")});
  Server server(site);

  FtpClient bob;
  ASSERT_TRUE(bob.connect(site.ftp_port()));
  ASSERT_TRUE(bob.login("bob", "bob"));
  EXPECT_EQ(bob.command("NOOP"), "200 required_only answered NOOP.\r\n");

  FtpClient carol;  // does not list the plug-in: the Core answers
  ASSERT_TRUE(carol.connect(site.ftp_port()));
  ASSERT_TRUE(carol.login("carol", "carol"));
  EXPECT_EQ(carol.command("NOOP"), kCoreNoop);
}

TEST(PluginLoading, PluginWithoutExitIsRefused) {
  Site site("plug-noexit");
  set_system_plugins(site, {test_plugin("no_exit")});
  site.add_user("bob");
  set_user_plugins(site, "bob", {test_plugin("no_exit")});
  Server server(site);
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  EXPECT_EQ(client.command("NOOP"), kCoreNoop);
}

TEST(PluginLoading, BrokenFirstEntryLeavesTheOthersNumberedZeroAndOne) {
  Site site("plug-broken-first");
  set_system_plugins(site, {site.path("missing/nothing.so"), test_plugin("tag_alpha"),
                            test_plugin("tag_beta")});
  site.add_user("bob");
  site.add_user("carol");
  set_user_plugins(site, "bob", {test_plugin("tag_beta")});
  set_user_plugins(site, "carol", {test_plugin("tag_beta"), test_plugin("tag_alpha")});
  Server server(site, {"-ns"}, {"VELMORA_TEST_TAG_LAST=beta"});

  FtpClient bob;
  ASSERT_TRUE(bob.connect(site.ftp_port()));
  ASSERT_TRUE(bob.login("bob", "bob"));
  EXPECT_EQ(bob.command("SITE TAGS"), "200 tags: user:beta all:alpha all:beta\r\n");

  FtpClient carol;  // the account's own order first, then the table order
  ASSERT_TRUE(carol.connect(site.ftp_port()));
  ASSERT_TRUE(carol.login("carol", "carol"));
  EXPECT_EQ(carol.command("SITE TAGS"),
            "200 tags: user:beta user:alpha all:alpha all:beta\r\n");
}

TEST(PluginLoading, AccountPathInOtherLetterCaseGetsNoPerAccountCalls) {
  Site site("plug-case");
  set_system_plugins(site, {test_plugin("tag_alpha")});
  site.add_user("bob");
  set_user_plugins(site, "bob", {test_plugin("TAG_ALPHA")});
  Server server(site, {"-ns"}, {"VELMORA_TEST_TAG_LAST=alpha"});
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  EXPECT_EQ(client.command("SITE TAGS"), "200 tags: all:alpha\r\n");
}

TEST(PluginLoading, UnloadableEntriesNeverStopTheServer) {
  Site site("plug-unloadable");
  site.write_file("fake.so", "this is a text file, not a shared object\n");
  set_system_plugins(site, {site.path("no/such/plugin.so"), site.path("fake.so"),
                            test_plugin("no_exports"), "", test_plugin("required_only")});
  site.add_user("bob");
  set_user_plugins(site, "bob", {test_plugin("required_only")});
  Server server(site);
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  // The one good entry after the broken ones still loads.
  EXPECT_EQ(client.command("NOOP"), "200 required_only answered NOOP.\r\n");
  EXPECT_EQ(client.command("PWD").substr(0, 4), "257 ");
}

TEST(PluginAnswers, RefusalAtConnectReplacesTheGreeting) {
  Site site("plug-refuse");
  set_system_plugins(site, {test_plugin("scripted")});
  Server server(site, {"-ns"}, {"VELMORA_TEST_REFUSE_CONNECT=421 plug-in says no"});
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  EXPECT_EQ(client.read_all(5000), "421 plug-in says no\r\n");
}

TEST(PluginAnswers, HooksSeeTheSessionStepByStep) {
  Site site("plug-record");
  set_system_plugins(site, {test_plugin("scripted")});
  site.add_user("bob");
  Server server(site, {"-ns"}, {"VELMORA_TEST_RECORD=1"});
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  client.command("QUIT");
  // Other sessions (the harness's readiness probe) post their records too: take bob's.
  std::string record;
  for (int i = 0; i < 5 && record.find("(bob)") == std::string::npos; ++i)
    record = next_posted_text(admin);
  EXPECT_EQ(record, "record: 8(127.0.0.1,id) 1:0 3(bob) 1:1 4(230,bob,2,dir) 1:6 s5 5");
}

TEST(PluginPostText, LongTextIsCutTo4170Characters) {
  Site site("plug-post");
  set_system_plugins(site, {test_plugin("scripted")});
  site.add_user("bob");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  EXPECT_EQ(client.command("SITE POST 5000"), "200 posted.\r\n");
  std::string text = next_posted_text(admin);
  ASSERT_EQ(text.size(), 4170u);
  for (size_t i = 0; i < text.size(); ++i) ASSERT_EQ(text[i], static_cast<char>('a' + i % 26));
}

TEST(PluginPostText, ShortTextArrivesWhole) {
  Site site("plug-post-short");
  set_system_plugins(site, {test_plugin("scripted")});
  site.add_user("bob");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  EXPECT_EQ(client.command("SITE POST 4170"), "200 posted.\r\n");
  EXPECT_EQ(next_posted_text(admin).size(), 4170u);
  EXPECT_EQ(client.command("SITE POST 3"), "200 posted.\r\n");
  EXPECT_EQ(next_posted_text(admin), "abc");
}

TEST(PluginPostText, ReplaceStringCopiesFreesAndAcceptsItsOwnText) {
  Site site("plug-replace");
  set_system_plugins(site, {test_plugin("scripted")});
  site.add_user("bob");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  EXPECT_EQ(client.command("SITE REPLACE"), "200 replaced.\r\n");
  EXPECT_EQ(next_posted_text(admin), "text");
}

TEST(PluginSockets, ControlReceiveTakenOverFeedsACommand) {
  Site site("plug-feed");
  set_system_plugins(site, {test_plugin("scripted")});
  Server server(site, {"-ns"}, {"VELMORA_TEST_FEED=NOOP"});
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  EXPECT_EQ(client.reply().substr(0, 4), "220-");
  // Nothing was sent: the plug-in delivered the NOOP line.
  EXPECT_EQ(client.reply(), kCoreNoop);
  // Later reads come from the connection again.
  EXPECT_EQ(client.command("NOOP"), kCoreNoop);
}

class RewritingPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    set_system_plugins(site_, {test_plugin("scripted")});
    site_.set("System", "BufferSize", "1000");
    site_.add_user("bob");
    server_.emplace(site_, std::vector<std::string>{"-ns"},
                    std::vector<std::string>{"VELMORA_TEST_REWRITE=1"});
    ASSERT_TRUE(admin_.connect(site_.admin_port()));
    ASSERT_TRUE(client_.connect(site_.ftp_port()));
    ASSERT_TRUE(client_.login("bob", "bob"));
  }
  // The counts the plug-in posts when a routine ends.
  std::string counts() {
    for (int i = 0; i < 20; ++i) {
      std::string text = next_posted_text(admin_);
      if (text.rfind("rewrite:", 0) == 0 || text.empty()) return text;
    }
    return "";
  }
  Site site_{"plug-rewrite"};
  std::optional<Server> server_;
  AdminClient admin_;
  FtpClient client_;
};

std::string lower_text(size_t size) {
  std::string text;
  while (text.size() < size) text += "the quick brown fox jumps over the lazy dog\n";
  return text.substr(0, size);
}

TEST_F(RewritingPlugin, DownloadArrivesAsThePluginRewroteEveryBlock) {
  std::string content = lower_text(3500);
  site_.write_file("home/story.txt", content);
  auto got = client_.download("RETR story.txt");
  ASSERT_TRUE(got);
  std::string upper = content;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(*got, upper);
  EXPECT_EQ(counts(), "rewrite: sent 3500 bytes in 4 blocks, received 0 bytes in 0 blocks");
}

TEST_F(RewritingPlugin, ListingLinesPassThroughThePlugin) {
  site_.write_file("home/lower-name.txt", "x");
  auto got = client_.download("LIST");
  ASSERT_TRUE(got);
  EXPECT_NE(got->find("LOWER-NAME.TXT"), std::string::npos) << *got;
  EXPECT_EQ(got->find("lower-name.txt"), std::string::npos) << *got;
  EXPECT_EQ(counts(), "rewrite: sent " + std::to_string(got->size()) +
                          " bytes in " + std::to_string(std::count(got->begin(), got->end(), '\n')) +
                          " blocks, received 0 bytes in 0 blocks");
}

TEST_F(RewritingPlugin, UploadReceivedByThePluginReachesTheFileWhole) {
  std::string content = lower_text(7000);
  ASSERT_TRUE(client_.upload("STOR up.txt", content));
  EXPECT_EQ(site_.read_file("home/up.txt"), content);
  std::string text = counts();
  EXPECT_EQ(text.rfind("rewrite: sent 0 bytes in 0 blocks, received 7000 bytes in ", 0), 0u) << text;
}

TEST(ExamplePlugins, CommandLoggerPostsEveryLineWithPasswordsMasked) {
  Site site("plug-example-logger");
  set_system_plugins(site, {example_plugin("command_logger")});
  site.add_user("bob");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("bob", "bob"));
  client.command("NOOP");
  // Keep the lines of bob's session (other sessions, such as the harness's readiness
  // probe, are logged too): they carry the id of the one that sent USER bob.
  std::vector<std::string> texts;
  std::string prefix;
  for (int i = 0; i < 10 && texts.size() < 3; ++i) {
    std::string text = next_posted_text(admin);
    if (text.empty()) break;
    if (prefix.empty() && text.find("USER bob") != std::string::npos)
      prefix = text.substr(0, text.find(']') + 1);
    if (!prefix.empty() && text.rfind(prefix, 0) == 0) texts.push_back(text);
  }
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], prefix + " UnKnown: USER bob");
  EXPECT_EQ(texts[1], prefix + " bob: PASS ****");
  EXPECT_EQ(texts[2], prefix + " bob: NOOP");
}

TEST(ExamplePlugins, CommandFilterRefusesTheConfiguredCommandForItsAccounts) {
  Site site("plug-example-filter");
  // The filter reads its list from the folder it is loaded from.
  auto library = platform::read_whole_file(example_plugin("command_filter"));
  ASSERT_TRUE(library);
  site.make_dir("plugins");
  site.write_file("plugins/command_filter.so", *library);
  site.write_file("plugins/command_filter.txt",
                  "# word reply\nDELE 550 Deleting is switched off here.\nmkd 550 No new folders.\n");
  set_system_plugins(site, {site.path("plugins/command_filter.so")});
  site.add_user("bob");
  site.add_user("carol");
  set_user_plugins(site, "bob", {site.path("plugins/command_filter.so")});
  site.write_file("home/keep.txt", "k");
  Server server(site);

  FtpClient bob;
  ASSERT_TRUE(bob.connect(site.ftp_port()));
  ASSERT_TRUE(bob.login("bob", "bob"));
  EXPECT_EQ(bob.command("DELE keep.txt"), "550 Deleting is switched off here.\r\n");
  EXPECT_EQ(bob.command("MKD new"), "550 No new folders.\r\n");
  EXPECT_TRUE(site.exists("home/keep.txt"));
  EXPECT_FALSE(site.exists("home/new"));

  FtpClient carol;  // not on the plug-in's accounts: the Core handles DELE
  ASSERT_TRUE(carol.connect(site.ftp_port()));
  ASSERT_TRUE(carol.login("carol", "carol"));
  EXPECT_EQ(carol.command("DELE keep.txt").substr(0, 4), "250 ");
  EXPECT_FALSE(site.exists("home/keep.txt"));
}

}  // namespace
