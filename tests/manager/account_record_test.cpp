// Account, group and template files as the account editor reads and writes them.
#include <gtest/gtest.h>

#include "manager/editors/account_record.h"
#include "manager/editors/prohibition_bits.h"
#include "platform/files.h"
#include "tests/manager/account_editor_support.h"

namespace {

using account_test::has_key;
using account_test::key;
using account_test::keys;
using manager::AccountRecord;
using manager::load_account_record;
using manager::save_account_record;

class AccountRecordTest : public ::testing::Test {
 protected:
  std::string dir_ = harness::make_temp_dir("account_record");
  std::string file(const std::string& name) const { return dir_ + name; }
  void write(const std::string& name, const std::string& content) {
    platform::write_file_atomically(file(name), content);
  }
};

TEST_F(AccountRecordTest, AMissingFileGivesEveryDefault) {
  const AccountRecord r = load_account_record(file("none.usr"), true);
  EXPECT_EQ(r.name, "anonymous");
  EXPECT_TRUE(r.need_password);
  EXPECT_FALSE(r.need_email);
  EXPECT_EQ(r.home_dir, "/");
  EXPECT_EQ(r.now_credit, 0.0);
  EXPECT_TRUE(r.folders.empty());
  EXPECT_TRUE(r.prohibited_hosts.empty());
  EXPECT_EQ(r.info_version, 0);
}

TEST_F(AccountRecordTest, IdentityKeysAreReadOnlyWhenAsked) {
  write("bob.usr",
        "[UserInfo]\r\nName=bob\r\nPassWord=pw\r\nEmail=b@x\r\nRefuseUser=1\r\nSavedCredit=1\r\n"
        "NowCredit=1000.5\r\nMaxConPerIP=4\r\n");
  const AccountRecord with = load_account_record(file("bob.usr"), true);
  EXPECT_EQ(with.name, "bob");
  EXPECT_EQ(with.password, "pw");
  EXPECT_EQ(with.email, "b@x");
  EXPECT_TRUE(with.refuse_user);
  EXPECT_TRUE(with.saved_credit);
  EXPECT_DOUBLE_EQ(with.now_credit, 1000.5);
  const AccountRecord without = load_account_record(file("bob.usr"), false);
  EXPECT_EQ(without.name, "anonymous");
  EXPECT_EQ(without.password, "");
  EXPECT_EQ(without.email, "");
  EXPECT_FALSE(without.refuse_user);
  EXPECT_FALSE(without.saved_credit);
  EXPECT_EQ(without.max_con_per_ip, 4);
}

TEST_F(AccountRecordTest, AnOldFileWithIdolTimeIsSavedWithIdleTimeAndVersion100) {
  write("old.usr", "[UserInfo]\r\nIdolTime=7\r\nIdleTime=99\r\n");
  AccountRecord r = load_account_record(file("old.usr"), true);
  EXPECT_EQ(r.idle_time, 7);
  ASSERT_TRUE(save_account_record(file("old.usr"), r, false));
  EXPECT_EQ(key(file("old.usr"), "IdleTime"), "7");
  EXPECT_EQ(key(file("old.usr"), "UserInfoVer"), "100");
  // Read again, the new key counts.
  EXPECT_EQ(load_account_record(file("old.usr"), true).idle_time, 7);
}

TEST_F(AccountRecordTest, AVersionedFileReadsIdleTime) {
  write("new.usr", "[UserInfo]\r\nUserInfoVer=100\r\nIdolTime=7\r\nIdleTime=12\r\n");
  EXPECT_EQ(load_account_record(file("new.usr"), true).idle_time, 12);
}

TEST_F(AccountRecordTest, CreditIsShownInWholeKilobytesAndSavedBackAsBytes) {
  write("c.usr", "[UserInfo]\r\nCredit=1500000\r\n");
  AccountRecord r = load_account_record(file("c.usr"), true);
  EXPECT_EQ(r.credit_kb, 1464u);
  ASSERT_TRUE(save_account_record(file("c.usr"), r, false));
  EXPECT_EQ(key(file("c.usr"), "Credit"), "1499136");
}

TEST_F(AccountRecordTest, TheHighestCreditReadsBackWholeThroughTheSignedKey) {
  AccountRecord r;
  r.credit_kb = manager::kMaxCreditKb;
  ASSERT_TRUE(save_account_record(file("big.usr"), r, false));
  // The Core reads the key as a signed integer and takes it as unsigned 32 bits.
  const int raw = shared::IniFile(file("big.usr")).get_int("UserInfo", "Credit", 0);
  EXPECT_EQ(static_cast<uint32_t>(raw), 4294966272u);
  EXPECT_EQ(load_account_record(file("big.usr"), true).credit_kb, manager::kMaxCreditKb);
}

TEST_F(AccountRecordTest, AFolderWithNothingPermittedIsStoredAs63487WithAnEndMark) {
  AccountRecord r;
  r.folders.push_back({"/srv/pub/", 0});
  ASSERT_TRUE(save_account_record(file("f.usr"), r, false));
  EXPECT_EQ(key(file("f.usr"), "Dir0"), "/srv/pub/");
  EXPECT_EQ(key(file("f.usr"), "Prhb0"), "63487");
  EXPECT_EQ(key(file("f.usr"), "Dir1"), "");
  EXPECT_EQ(key(file("f.usr"), "Prhb1"), "");
}

TEST_F(AccountRecordTest, FolderMasksAreInvertedExceptRateFreeAndRoundTrip) {
  AccountRecord r;
  r.folders.push_back({"/a/", 0x0020 | manager::kRateFree});
  r.folders.push_back({"/b/", 0xF7FF});
  ASSERT_TRUE(save_account_record(file("m.usr"), r, false));
  EXPECT_EQ(key(file("m.usr"), "Prhb0"), std::to_string((0xF7FF ^ 0x0020) | 0x0800));
  EXPECT_EQ(key(file("m.usr"), "Prhb1"), "0");
  const AccountRecord back = load_account_record(file("m.usr"), true);
  ASSERT_EQ(back.folders.size(), 2u);
  EXPECT_EQ(back.folders[0].mask, 0x0020u | manager::kRateFree);
  EXPECT_EQ(back.folders[1].mask, 0xF7FFu);
}

TEST_F(AccountRecordTest, AMissingPrhbPermitsEverythingButRateFree) {
  write("p.usr", "[UserInfo]\r\nDir0=/x/\r\nDir1=/y/\r\nPrhb1=63487\r\n");
  const AccountRecord r = load_account_record(file("p.usr"), true);
  ASSERT_EQ(r.folders.size(), 2u);
  EXPECT_EQ(r.folders[0].mask, 0xF7FFu);
  EXPECT_EQ(r.folders[1].mask, 0u);
}

TEST_F(AccountRecordTest, ListsStopAtTheFirstEmptyEntry) {
  write("l.usr", "[UserInfo]\r\nDir0=/x/\r\nDir1=\r\nDir2=/z/\r\nProhIP0=10.*\r\nProhIP1=\r\n"
                 "ProhIP2=11.*\r\nProhMail0=a@b\r\n");
  const AccountRecord r = load_account_record(file("l.usr"), true);
  EXPECT_EQ(r.folders.size(), 1u);
  EXPECT_EQ(r.prohibited_hosts, std::vector<std::string>{"10.*"});
  EXPECT_EQ(r.prohibited_mails, std::vector<std::string>{"a@b"});
}

TEST_F(AccountRecordTest, AShorterListLeavesNoOldEntriesBehindItsEndMark) {
  write("s.usr", "[UserInfo]\r\nProhIP0=a\r\nProhIP1=b\r\nProhIP2=c\r\nProhIP3=d\r\nProhIP4=e\r\n"
                 "ProhIP5=f\r\nDir0=/1/\r\nPrhb0=1\r\nDir1=/2/\r\nPrhb1=2\r\nDir2=/3/\r\nPrhb2=3\r\n");
  AccountRecord r = load_account_record(file("s.usr"), true);
  r.prohibited_hosts.resize(3);
  r.folders.resize(1);
  ASSERT_TRUE(save_account_record(file("s.usr"), r, false));
  EXPECT_EQ(key(file("s.usr"), "ProhIP2"), "c");
  EXPECT_EQ(key(file("s.usr"), "ProhIP3"), "");
  // The Core sizes this list by probing even numbers: ProhIP4 must not survive.
  EXPECT_FALSE(has_key(file("s.usr"), "ProhIP4"));
  EXPECT_FALSE(has_key(file("s.usr"), "ProhIP5"));
  EXPECT_EQ(key(file("s.usr"), "Dir1"), "");
  EXPECT_FALSE(has_key(file("s.usr"), "Dir2"));
  EXPECT_FALSE(has_key(file("s.usr"), "Prhb2"));
}

TEST_F(AccountRecordTest, MailListIsWrittenBeforeTheHostList) {
  AccountRecord r;
  r.prohibited_mails = {"m@x"};
  r.prohibited_hosts = {"10.0.0.1", "10.0.0.2"};
  ASSERT_TRUE(save_account_record(file("h.usr"), r, false));
  const std::vector<std::string> k = keys(file("h.usr"));
  const auto at = [&](const std::string& name) { return std::find(k.begin(), k.end(), name) - k.begin(); };
  EXPECT_LT(at("ProhMail1"), at("ProhIP0"));
  EXPECT_EQ(key(file("h.usr"), "ProhMail0"), "m@x");
  EXPECT_EQ(key(file("h.usr"), "ProhMail1"), "");
  EXPECT_EQ(key(file("h.usr"), "ProhIP1"), "10.0.0.2");
  EXPECT_EQ(key(file("h.usr"), "ProhIP2"), "");
}

TEST_F(AccountRecordTest, KeysAreWrittenInTheEditorsOrder) {
  AccountRecord r;
  r.group = "staff";
  r.use_group = true;
  r.saved_credit = true;
  r.now_credit = 12.5;
  r.folders.push_back({"/x/", 0});
  ASSERT_TRUE(save_account_record(file("o.usr"), r, false));
  const std::vector<std::string> expected = {
      "UserInfoVer", "Name", "PassWord", "SavedCredit", "NowCredit", "RefuseUser", "UseGroup",
      "Group", "Email", "UserHomeDir", "NeedPassWord", "NeedEmailAddr", "Dir0", "Prhb0", "Dir1",
      "Prhb1", "HomeDir", "MaxConPerUser", "MaxConPerIP", "UseRate", "UseLmitCapacity",
      "SaveCredit", "ConnectTime", "IdleTime", "RateUp", "RateDown", "Credit", "UpBps", "DownBps",
      "ProhMail0", "ProhIP0", "PASV", "UserKinshi", "UseKnownIDMessage", "UseCompleteMessage",
      "UseLogOnMessage"};
  std::vector<std::string> written = keys(file("o.usr"));
  written.resize(std::min(written.size(), expected.size()));
  EXPECT_EQ(written, expected);
  EXPECT_EQ(key(file("o.usr"), "NowCredit"), "12.500000");
  EXPECT_EQ(key(file("o.usr"), "UseGroup"), "1");
  EXPECT_EQ(key(file("o.usr"), "Group"), "staff");
}

TEST_F(AccountRecordTest, NowCreditIsWrittenOnlyWhenACreditIsSaved) {
  AccountRecord r;
  r.now_credit = 77;
  ASSERT_TRUE(save_account_record(file("n.usr"), r, false));
  EXPECT_FALSE(has_key(file("n.usr"), "NowCredit"));
  EXPECT_EQ(key(file("n.usr"), "SavedCredit"), "0");
}

TEST_F(AccountRecordTest, WithoutAGroupNameUseGroupIsZeroAndGroupIsNotWritten) {
  AccountRecord r;
  r.use_group = true;
  ASSERT_TRUE(save_account_record(file("g.usr"), r, false));
  EXPECT_EQ(key(file("g.usr"), "UseGroup"), "0");
  EXPECT_FALSE(has_key(file("g.usr"), "Group"));
}

TEST_F(AccountRecordTest, AGroupFileGetsNeitherUseGroupNorGroupNorEmail) {
  AccountRecord r;
  r.group = "staff";
  r.use_group = true;
  r.email = "x@y";
  ASSERT_TRUE(save_account_record(file("staff.grp"), r, true));
  EXPECT_FALSE(has_key(file("staff.grp"), "UseGroup"));
  EXPECT_FALSE(has_key(file("staff.grp"), "Group"));
  EXPECT_FALSE(has_key(file("staff.grp"), "Email"));
  EXPECT_EQ(key(file("staff.grp"), "UserInfoVer"), "100");
}

TEST_F(AccountRecordTest, TheFiveMessagesAreKeptThroughLoadAndSave) {
  write("msg.usr", "[UserInfo]\r\nMessage220_0=hello\r\nMessage220_1=_____endofline_____\r\n"
                   "Message3311_0=who\r\nMessage3311_1=_____endofline_____\r\n");
  AccountRecord r = load_account_record(file("msg.usr"), true);
  r.message_226 = "done\r\n\r\nbye\r\n";
  ASSERT_TRUE(save_account_record(file("msg.usr"), r, false));
  const AccountRecord back = load_account_record(file("msg.usr"), true);
  EXPECT_EQ(back.message_220, "hello\r\n");
  EXPECT_EQ(back.message_3311, "who\r\n");
  EXPECT_EQ(back.message_226, "done\r\n\r\nbye\r\n");
  EXPECT_EQ(key(file("msg.usr"), "Message230_0"), "_____endofline_____");
}

TEST_F(AccountRecordTest, AValueThatWouldBreakTheFileIsRefusedAndNothingIsWritten) {
  AccountRecord r;
  r.password = "two\nlines";
  EXPECT_FALSE(save_account_record(file("bad.usr"), r, false));
  EXPECT_FALSE(platform::path_exists(file("bad.usr")));
}

TEST(AccountNames, OnlyNamesTheCoreWouldReadAreAcceptable) {
  EXPECT_TRUE(manager::acceptable_account_name("alice"));
  EXPECT_TRUE(manager::acceptable_account_name("山田"));
  EXPECT_TRUE(manager::acceptable_account_name(std::string(200, 'a')));
  EXPECT_FALSE(manager::acceptable_account_name(std::string(201, 'a')));
  EXPECT_FALSE(manager::acceptable_account_name(""));
  EXPECT_FALSE(manager::acceptable_account_name(".hidden"));
  EXPECT_FALSE(manager::acceptable_account_name("a/b"));
  EXPECT_FALSE(manager::acceptable_account_name("a\\b"));
  EXPECT_FALSE(manager::acceptable_account_name("tab\tname"));
  EXPECT_FALSE(manager::acceptable_account_name("del\x7f"));
  EXPECT_FALSE(manager::acceptable_account_name("\xff\xfe"));
}

TEST(PermissionText, ShowsOneLetterPerPermittedAction) {
  EXPECT_EQ(manager::permission_text(0), "---- -------");
  EXPECT_EQ(manager::permission_text(0xFFFF), "VCDM WRODRFA");
  EXPECT_EQ(manager::permission_text(0x0100 | 0x0020), "V--- -R-----");
  // Resume has no letter.
  EXPECT_EQ(manager::permission_text(0x0001), "---- -------");
}

TEST(KinshiBoxes, TheWriteBoxStandsForAppendAndStoreTogether) {
  const manager::BitBox* write = nullptr;
  for (const manager::BitBox& box : manager::kinshi_boxes()) {
    if (std::string(box.caption) == "write") write = &box;
  }
  ASSERT_NE(write, nullptr);
  EXPECT_TRUE(manager::box_checked(*write, 0x0001));
  EXPECT_TRUE(manager::box_checked(*write, 0x0008));
  EXPECT_EQ(manager::apply_box(*write, 0x0001, true), 0x0009u);
  EXPECT_EQ(manager::apply_box(*write, 0x2009, false), 0x2000u);
  EXPECT_EQ(manager::kinshi_boxes().size(), 12u);
}

}  // namespace
