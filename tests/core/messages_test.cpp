// Message slots built from INI files on disk, and the variables expanded in them.
#include <gtest/gtest.h>

#include <string>

#include "core/messages.h"
#include "core/server.h"
#include "platform/profile.h"
#include "tests/support/harness.h"

namespace {

using core::Slot;

const char* kDefault230 =
    "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230-      Welcome!!!\r\n"
    "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230 Login OK!!!\r\n";

class SlotFile : public ::testing::Test {
 protected:
  std::string file_ = harness::make_temp_dir("slots") + "velmoraFTPd.ini";
  void set(const std::string& key, const std::string& value) {
    ASSERT_TRUE(platform::profile_write_string(file_, "UserInfo", key, value));
  }
};

TEST_F(SlotFile, MissingSwitchGivesEachSlotItsDefault) {
  set("Message220_0", "not used without the switch");
  EXPECT_EQ(core::build_slot(Slot::Welcome220, file_, 2048),
            "220-Welcome To velmoraFTP !!!\r\n220 Enter Your ID\r\n");
  EXPECT_EQ(core::build_slot(Slot::Unknown3311, file_, 512), "331 Enter Password\r\n");
  EXPECT_EQ(core::build_slot(Slot::Known3310, file_, 512), "331 Enter Your Password\r\n");
  EXPECT_EQ(core::build_slot(Slot::Complete226, file_, 512), "226 Transfer complete.\r\n");
  EXPECT_EQ(core::build_slot(Slot::Logon230, file_, 512), kDefault230);
}

TEST_F(SlotFile, SwitchZeroGivesTheDefault) {
  set("UseLogOnMessage", "0");
  set("Message230_0", "custom");
  EXPECT_EQ(core::build_slot(Slot::Logon230, file_, 512), kDefault230);
}

TEST_F(SlotFile, LinesStopAtTheEndMarker) {
  set("UseWelcomeMessage", "1");
  set("Message220_0", "Hello");
  set("Message220_1", "_____endofline_____");
  set("Message220_2", "after the marker");
  EXPECT_EQ(core::build_slot(Slot::Welcome220, file_, 2048), "220-Hello\r\n220 \r\n");
}

TEST_F(SlotFile, SwitchOnWithoutLinesGivesTheClosingLineOnly) {
  set("UseWelcomeMessage", "1");
  EXPECT_EQ(core::build_slot(Slot::Welcome220, file_, 2048), "220 \r\n");
}

TEST_F(SlotFile, LinesStopAtTheFirstMissingKey) {
  set("UseCompleteMessage", "1");
  set("Message226_0", "first");
  set("Message226_2", "third");
  EXPECT_EQ(core::build_slot(Slot::Complete226, file_, 512), "226-first\r\n226 \r\n");
}

TEST_F(SlotFile, PasswordPromptsUseReplyCode331) {
  set("UseUnKnownMessage", "1");
  set("Message3311_0", "who are you?");
  set("UseKnownIDMessage", "1");
  set("Message3310_0", "password please");
  EXPECT_EQ(core::build_slot(Slot::Unknown3311, file_, 512), "331-who are you?\r\n331 \r\n");
  EXPECT_EQ(core::build_slot(Slot::Known3310, file_, 512), "331-password please\r\n331 \r\n");
}

TEST_F(SlotFile, LinesBeyondTheBufferAreDroppedAndTheClosingLineStays) {
  set("UseLogOnMessage", "1");
  const std::string line(100, 'x');
  for (int n = 0; n < 10; ++n) set("Message230_" + std::to_string(n), line);
  // 112 bytes are counted per line; the fifth line reaches 512 - 7.
  std::string expected;
  for (int n = 0; n < 4; ++n) expected += "230-" + line + "\r\n";
  expected += "230 \r\n";
  EXPECT_EQ(core::build_slot(Slot::Logon230, file_, 512), expected);
}

TEST_F(SlotFile, LongLinesAreCutTo255Characters) {
  set("UseLogOnMessage", "1");
  set("Message230_0", std::string(300, 'y'));
  EXPECT_EQ(core::build_slot(Slot::Logon230, file_, 2048),
            "230-" + std::string(255, 'y') + "\r\n230 \r\n");
}

TEST_F(SlotFile, MissingFileGivesTheDefault) {
  EXPECT_EQ(core::build_slot(Slot::Complete226, file_ + ".absent", 512),
            "226 Transfer complete.\r\n");
}

class Variables : public ::testing::Test {
 protected:
  core::Session s;
  core::CoreState& state = core::core_state();

  void SetUp() override {
    state.table.live_count = 3;
    state.config.max_connect = 0;
    state.totals.uploading = 0;
    state.totals.downloading = 0;
    state.totals.upload_bps = 0;
    state.totals.download_bps = 0;
    s.rate = core::kNoRatio;
    s.capacity_limit = 0;
  }
  void TearDown() override { state.table.live_count = 0; }
  std::string expand(const std::string& text, size_t size = 2048) {
    return core::expand_variables(s, text, size);
  }
};

TEST_F(Variables, ConnectionCountAndNoLimit) {
  EXPECT_EQ(expand("Now $NOW_CON$/$MAX_CON$"), "Now 3/制限なし");
  state.config.max_connect = 25;
  EXPECT_EQ(expand("$MAX_CON$"), "25");
}

TEST_F(Variables, CreditWithoutRatioOrCapacityNeedsNothing) {
  s.credit = 5000;
  EXPECT_EQ(expand("$CREDIT$"), "no need");
}

TEST_F(Variables, CreditShowsBytesAndSizeText) {
  s.rate = 0x0102;
  s.credit = 1536;
  EXPECT_EQ(expand("$CREDIT$"), "1536(1.50KB)");
  s.credit = 1048576;
  EXPECT_EQ(expand("$CREDIT$"), "1048576(1.00MB)");
  s.credit = 1000.9;
  EXPECT_EQ(expand("$CREDIT$"), "1000(1000B)");
}

TEST_F(Variables, CapacityLimitAloneShowsTheCredit) {
  s.capacity_limit = 1;
  s.credit = 512;
  EXPECT_EQ(expand("$CREDIT$"), "512(512B)");
}

TEST_F(Variables, RateIsUpColonDownOrFree) {
  s.rate = 0x0305;
  EXPECT_EQ(expand("$RATE$"), "3:5");
  s.rate = core::kNoRatio;
  EXPECT_EQ(expand("$RATE$"), "free");
  s.rate = 0;
  EXPECT_EQ(expand("$RATE$"), "free");
}

TEST_F(Variables, UserAndPasswordOrTheirNamesWhenEmpty) {
  EXPECT_EQ(expand("[$USER$|$PASS$]"), "[USER|PASS]");
  core::write_field(s, &core::Session::user_name, "bob");
  core::write_field(s, &core::Session::password, "secret");
  EXPECT_EQ(expand("[$USER$|$PASS$]"), "[bob|secret]");
}

TEST_F(Variables, TransferTotalsOfTheLastWatchdogPass) {
  state.table.live_count = 7;
  state.totals.uploading = 2;
  state.totals.downloading = 1;
  state.totals.upload_bps = 12288;
  state.totals.download_bps = 500;
  EXPECT_EQ(expand("$UP_CON$ $DOWN_CON$ $IDLE_CON$ $IDOL_CON$"), "2 1 4 4");
  EXPECT_EQ(expand("$UP_BPS$ $DOWN_BPS$"), "12.0Kbps 500bps");
}

TEST_F(Variables, UnknownNamesAndEmptyNames) {
  EXPECT_EQ(expand("a$FOO$b"), "aFOOb");
  EXPECT_EQ(expand("a$$b"), "ab");
  EXPECT_EQ(expand("$now_con$"), "now_con");  // names are case-sensitive
}

TEST_F(Variables, LoneDollarDropsTheRest) {
  EXPECT_EQ(expand("cost 5$12 more"), "cost 5");
  EXPECT_EQ(expand("$NOW_CON$ left $"), "3 left ");
}

TEST_F(Variables, NamesAreCutTo127Characters) {
  const std::string long_name(140, 'N');
  EXPECT_EQ(expand("<$" + long_name + "$>"), "<" + std::string(127, 'N') + ">");
}

TEST_F(Variables, ResultFitsTheBuffer) {
  core::write_field(s, &core::Session::user_name, std::string(100, 'u'));
  const std::string out = expand("$USER$$USER$", 64);
  EXPECT_EQ(out, std::string(63, 'u'));
  EXPECT_EQ(expand("abcdef", 4), "ab");  // input is cut to N - 2 first
  EXPECT_EQ(expand("abc", 1), "");
}

TEST(SlotReply, AccountSlotsOfASessionWithoutAccountAreRefused) {
  core::Session s;
  EXPECT_EQ(core::slot_reply(s, Slot::Logon230, 2048), "550 Requested action not taken.\r\n");
  EXPECT_EQ(core::slot_reply(s, Slot::Complete226, 2048), "550 Requested action not taken.\r\n");
  EXPECT_EQ(core::slot_reply(s, Slot::Known3310, 2048), "550 Requested action not taken.\r\n");
}

TEST(SlotReply, StoredSlotIsExpanded) {
  core::Session s;
  s.account_loaded = true;
  s.message_226 = "226-$USER$ done\r\n226 \r\n";
  core::write_field(s, &core::Session::user_name, "carol");
  EXPECT_EQ(core::slot_reply(s, Slot::Complete226, 2048), "226-carol done\r\n226 \r\n");
}

}  // namespace
