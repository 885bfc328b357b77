// Settings files read and written through the profile functions, on real files.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

std::string read(const std::string& path) { return read_whole_file(path).value_or("<missing>"); }

void write(const std::string& path, const std::string& content) {
  ASSERT_TRUE(write_file_atomically(path, content));
}

TEST(ProfileRead, SectionsAndKeysMatchWhateverTheirCase) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "[System]\r\nPort=2121\r\n");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "system", "PORT"), "2121");
  EXPECT_EQ(profile_read_int(dir / "a.ini", "SYSTEM", "port", 21), 2121);
  EXPECT_TRUE(profile_has_key(dir / "a.ini", "sYsTeM", "pOrT"));
}

TEST(ProfileRead, BlanksAroundKeysAndValuesAreTrimmedAndQuotesRemoved) {
  unit::TempDir dir("profile");
  write(dir / "a.ini",
        "  [ S ]  \r\n  Name  =  two words  \r\nQuoted=\"  padded  \"\r\nHalf=\"open\r\n"
        "Tab=\tx\t\r\nEmpty=\r\nEmptyQuotes=\"\"\r\n");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "Name"), "two words");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "Quoted"), "  padded  ");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "Half"), "\"open");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "Tab"), "x");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "Empty", "fallback"), "");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "EmptyQuotes", "fallback"), "");
}

TEST(ProfileRead, CommentLinesAndLinesWithoutEqualsAreNotKeys) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "[S]\r\n;Hidden=1\r\n  ; Also=2\r\nLonely\r\nReal=3\r\n");
  EXPECT_FALSE(profile_has_key(dir / "a.ini", "S", "Hidden"));
  EXPECT_FALSE(profile_has_key(dir / "a.ini", "S", "Also"));
  EXPECT_FALSE(profile_has_key(dir / "a.ini", "S", "Lonely"));
  EXPECT_EQ(profile_read_int(dir / "a.ini", "S", "Real", 0), 3);
  EXPECT_EQ(profile_key_names(dir / "a.ini", "S"), std::vector<std::string>{"Real"});
}

TEST(ProfileRead, FirstOfDuplicateKeysAndSectionsWins) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "[S]\r\nK=first\r\nk=second\r\n[T]\r\nX=1\r\n[s]\r\nK=third\r\nOnly=4\r\n");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "K"), "first");
  EXPECT_FALSE(profile_has_key(dir / "a.ini", "S", "Only"));
  EXPECT_EQ(profile_section_names(dir / "a.ini"), (std::vector<std::string>{"S", "T"}));
}

TEST(ProfileRead, KeysBeforeAnySectionBelongToNone) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "K=loose\r\n[S]\r\nJ=1\r\n");
  EXPECT_FALSE(profile_has_key(dir / "a.ini", "S", "K"));
  EXPECT_FALSE(profile_has_key(dir / "a.ini", "", "K"));
}

TEST(ProfileRead, LfAndCrLfLinesReadAlike) {
  unit::TempDir dir("profile");
  write(dir / "lf.ini", "[S]\nA=1\nB=two\n");
  write(dir / "crlf.ini", "[S]\r\nA=1\r\nB=two");
  for (const char* name : {"lf.ini", "crlf.ini"}) {
    EXPECT_EQ(profile_read_int(dir / name, "S", "A", 0), 1) << name;
    EXPECT_EQ(profile_read_string(dir / name, "S", "B"), "two") << name;
  }
}

TEST(ProfileRead, MissingFileSectionOrKeyGivesTheFallback) {
  unit::TempDir dir("profile");
  EXPECT_EQ(profile_read_string(dir / "none.ini", "S", "K", "dflt"), "dflt");
  EXPECT_EQ(profile_read_int(dir / "none.ini", "S", "K", 42), 42);
  EXPECT_TRUE(profile_section_names(dir / "none.ini").empty());
  write(dir / "a.ini", "[S]\r\nK=1\r\n");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "T", "K", "d"), "d");
  EXPECT_EQ(profile_read_string(dir / "a.ini", "S", "J", "d"), "d");
  EXPECT_FALSE(path_exists(dir / "none.ini"));
}

TEST(ProfileRead, IntegersTakeSignAndLeadingDigits) {
  unit::TempDir dir("profile");
  write(dir / "a.ini",
        "[S]\r\nA=12abc\r\nB=-5\r\nC= +7\r\nD=abc\r\nE=\r\nF=\"33\"\r\nG=99999999999\r\n"
        "H=-\r\nI=0x1F\r\n");
  const std::string f = dir / "a.ini";
  EXPECT_EQ(profile_read_int(f, "S", "A", -1), 12);
  EXPECT_EQ(profile_read_int(f, "S", "B", -1), -5);
  EXPECT_EQ(profile_read_int(f, "S", "C", -1), 7);
  EXPECT_EQ(profile_read_int(f, "S", "D", -1), -1);
  EXPECT_EQ(profile_read_int(f, "S", "E", -1), -1);
  EXPECT_EQ(profile_read_int(f, "S", "F", -1), 33);
  EXPECT_EQ(profile_read_int(f, "S", "G", -1), 2147483647);
  EXPECT_EQ(profile_read_int(f, "S", "H", -1), -1);
  EXPECT_EQ(profile_read_int(f, "S", "I", -1), 0);
  EXPECT_EQ(profile_read_int(f, "S", "Missing", 77), 77);
}

TEST(ProfileIntRule, ParsesLikeTheSettingsReader) {
  EXPECT_EQ(parse_profile_int("  -12x", 9), -12);
  EXPECT_EQ(parse_profile_int("+", 9), 9);
  EXPECT_EQ(parse_profile_int("", 9), 9);
  EXPECT_EQ(parse_profile_int("-99999999999", 9), -2147483647 - 1);
  EXPECT_EQ(parse_profile_int("- 5", 9), 9);
}

TEST(ProfileWrite, ChangingAKeyKeepsEveryOtherLineExactly) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "; top comment\r\n[System]\r\n; about port\r\nPort = 21 \r\nOther=x\r\n\r\n"
           "[User]\r\nName=a\r\n");
  ASSERT_TRUE(profile_write_string(f, "system", "PORT", "2121"));
  EXPECT_EQ(read(f), "; top comment\r\n[System]\r\n; about port\r\nPort=2121\r\nOther=x\r\n\r\n"
                     "[User]\r\nName=a\r\n");
  EXPECT_EQ(profile_read_int(f, "System", "Port", 0), 2121);
}

TEST(ProfileWrite, NewKeyGoesAtTheEndOfItsSection) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n");
  ASSERT_TRUE(profile_write_string(f, "a", "New", "v"));
  EXPECT_EQ(read(f), "[A]\r\nX=1\r\nNew=v\r\n\r\n[B]\r\nY=2\r\n");
}

TEST(ProfileWrite, NewSectionGoesAtTheEnd) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[A]\nX=1\n");
  ASSERT_TRUE(profile_write_string(f, "C", "Z", "3"));
  EXPECT_EQ(read(f), "[A]\r\nX=1\r\n\r\n[C]\r\nZ=3\r\n");
  EXPECT_EQ(profile_section_names(f), (std::vector<std::string>{"A", "C"}));
}

TEST(ProfileWrite, WritingIntoAMissingFileCreatesIt) {
  unit::TempDir dir("profile");
  const std::string f = dir / "new.ini";
  ASSERT_TRUE(profile_write_string(f, "S", "K", "v"));
  EXPECT_EQ(read(f), "[S]\r\nK=v\r\n");
}

TEST(ProfileWrite, WritingNoValueDeletesTheKeyAndItsDuplicates) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[S]\r\nK=1\r\nJ=2\r\nk=3\r\n[T]\r\nK=4\r\n");
  ASSERT_TRUE(profile_write_string(f, "S", "K", std::nullopt));
  EXPECT_FALSE(profile_has_key(f, "S", "K"));
  EXPECT_EQ(read(f), "[S]\r\nJ=2\r\n[T]\r\nK=4\r\n");
  // Deleting what is not there changes nothing and creates nothing.
  EXPECT_TRUE(profile_write_string(f, "S", "Gone", std::nullopt));
  EXPECT_TRUE(profile_write_string(dir / "none.ini", "S", "K", std::nullopt));
  EXPECT_FALSE(path_exists(dir / "none.ini"));
}

TEST(ProfileWrite, SeveralKeysChangeInOneReplacement) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "[UserInfo]\r\nPassWord=x\r\nEmail=old@example\r\n[Other]\r\nEmail=keep\r\n");
  ASSERT_TRUE(profile_write_strings(dir / "a.ini", "userinfo",
                                    {{"LastConnect", "26/12/07"}, {"Email", std::nullopt}, {"NowCredit", "5.000000"}}));
  EXPECT_EQ(read(dir / "a.ini"),
            "[UserInfo]\r\nPassWord=x\r\nLastConnect=26/12/07\r\nNowCredit=5.000000\r\n[Other]\r\nEmail=keep\r\n");
}

TEST(ProfileWrite, ValuesAlreadyThereLeaveTheFileAlone) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "[UserInfo]\r\nLastConnect=26/12/07\r\nEmail=a@b\r\n");
  auto before = file_info(dir / "a.ini");
  ASSERT_TRUE(before);
  EXPECT_TRUE(profile_write_strings(dir / "a.ini", "UserInfo", {{"LastConnect", "26/12/07"}, {"Email", "a@b"}}));
  EXPECT_TRUE(profile_write_string(dir / "a.ini", "UserInfo", "Email", "a@b"));
  EXPECT_EQ(file_info(dir / "a.ini")->inode, before->inode);  // not replaced
  EXPECT_TRUE(profile_write_strings(dir / "a.ini", "UserInfo", {{"LastConnect", "26/12/08"}}));
  EXPECT_NE(file_info(dir / "a.ini")->inode, before->inode);
  EXPECT_EQ(read(dir / "a.ini"), "[UserInfo]\r\nLastConnect=26/12/08\r\nEmail=a@b\r\n");
}

TEST(ProfileWrite, SeveralKeysWithOneUnsafeValueWriteNothing) {
  unit::TempDir dir("profile");
  write(dir / "a.ini", "[UserInfo]\r\nPassWord=x\r\n");
  EXPECT_FALSE(profile_write_strings(dir / "a.ini", "UserInfo", {{"A", "1"}, {"Email", "a\r\nRefuse=0"}}));
  EXPECT_EQ(read(dir / "a.ini"), "[UserInfo]\r\nPassWord=x\r\n");
}

TEST(ProfileWrite, DeleteSectionRemovesItsLinesOnly) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[A]\r\nX=1\r\n[B]\r\n;c\r\nY=2\r\n[C]\r\nZ=3\r\n");
  ASSERT_TRUE(profile_delete_section(f, "b"));
  EXPECT_EQ(read(f), "[A]\r\nX=1\r\n[C]\r\nZ=3\r\n");
}

TEST(ProfileWrite, ValuesThatWouldBreakTheLineStructureAreRefused) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[S]\r\nK=1\r\n");
  EXPECT_FALSE(profile_write_string(f, "S", "K", "x\r\nRefuse=0"));
  EXPECT_FALSE(profile_write_string(f, "S", "K", "x\nY=1"));
  EXPECT_FALSE(profile_write_string(f, "S", "A=B", "1"));
  EXPECT_FALSE(profile_write_string(f, "S", "", "1"));
  EXPECT_FALSE(profile_write_string(f, "S]x", "K", "1"));
  EXPECT_FALSE(profile_write_string(f, "S", ";K", "1"));
  EXPECT_EQ(read(f), "[S]\r\nK=1\r\n");
}

TEST(ProfileWrite, AValueIsReadBackAsWritten) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  const std::string japanese = "ログインしました。";
  ASSERT_TRUE(profile_write_string(f, "S", "Msg", japanese));
  ASSERT_TRUE(profile_write_string(f, "S", "Path", "/srv/ftp/pub/"));
  EXPECT_EQ(profile_read_string(f, "S", "Msg"), japanese);
  EXPECT_EQ(profile_read_string(f, "S", "Path"), "/srv/ftp/pub/");
}

TEST(ProfileWrite, FailsWhenTheFolderDoesNotExist) {
  unit::TempDir dir("profile");
  EXPECT_FALSE(profile_write_string(dir / "no/such/a.ini", "S", "K", "v"));
}

TEST(ProfileCache, SeesARewriteByAnotherProcessOfTheSameSize) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[S]\r\nK=aaa\r\n");
  // An old stamp makes the first read trustworthy enough to be cached.
  ASSERT_TRUE(set_modified_time(f, unix_time_now() - 3600));
  EXPECT_EQ(profile_read_string(f, "S", "K"), "aaa");
  EXPECT_EQ(profile_read_string(f, "S", "K"), "aaa");

  auto child = spawn_process(PLATFORM_HELPER_PATH, {"set", f, "S", "K", "bbb"}, {});
  ASSERT_TRUE(child);
  ASSERT_EQ(wait_process(*child, 10000), std::optional<int>(0));
  ASSERT_EQ(read(f), "[S]\r\nK=bbb\r\n");
  EXPECT_EQ(profile_read_string(f, "S", "K"), "bbb");

  // Even with the old modification time put back, the file is another one.
  ASSERT_TRUE(set_modified_time(f, unix_time_now() - 3600));
  EXPECT_EQ(profile_read_string(f, "S", "K"), "bbb");
  auto again = spawn_process(PLATFORM_HELPER_PATH, {"set", f, "S", "K", "ccc"}, {});
  ASSERT_TRUE(again);
  ASSERT_EQ(wait_process(*again, 10000), std::optional<int>(0));
  ASSERT_TRUE(set_modified_time(f, unix_time_now() - 3600));
  EXPECT_EQ(profile_read_string(f, "S", "K"), "ccc");
}

TEST(ProfileCache, SeesAnInPlaceChangeOfSize) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  write(f, "[S]\r\nK=aaa\r\n");
  ASSERT_TRUE(set_modified_time(f, unix_time_now() - 3600));
  EXPECT_EQ(profile_read_string(f, "S", "K"), "aaa");
  {
    File out = File::open_write(f);
    ASSERT_TRUE(out.is_open());
    std::string longer = "[S]\r\nK=abcd\r\n";
    ASSERT_EQ(out.write_all(longer.data(), longer.size()), longer.size());
  }
  ASSERT_TRUE(set_modified_time(f, unix_time_now() - 3600));
  EXPECT_EQ(profile_read_string(f, "S", "K"), "abcd");
}

TEST(ProfileCache, AFileJustWrittenIsNeverServedStale) {
  unit::TempDir dir("profile");
  const std::string f = dir / "a.ini";
  // Same size, same inode, written within one clock tick: only the timestamp could tell.
  for (int i = 0; i < 50; ++i) {
    std::string value = std::to_string(100 + i);
    {
      File out = File::open_write(f);
      ASSERT_TRUE(out.is_open());
      std::string content = "[S]\r\nK=" + value + "\r\n";
      ASSERT_EQ(out.write_all(content.data(), content.size()), content.size());
    }
    ASSERT_EQ(profile_read_string(f, "S", "K"), value);
  }
}

}  // namespace
