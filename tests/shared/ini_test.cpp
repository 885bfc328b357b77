// The settings-file wrapper both programs use.
#include "shared/ini.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/platform/temp_dir.h"

namespace {

TEST(IniFile, WritesAndReadsStringsAndNumbers) {
  unit::TempDir dir("ini");
  shared::IniFile ini(dir / "velmoraFTPd.ini");
  EXPECT_FALSE(ini.has("System", "Port"));
  EXPECT_EQ(ini.get_int("System", "Port", 21), 21);
  ASSERT_TRUE(ini.set_int("System", "Port", 2121));
  ASSERT_TRUE(ini.set("System", "Name", "velmora"));
  ASSERT_TRUE(ini.set_int("UserInfo", "Credit", -1234567890123LL));
  EXPECT_TRUE(ini.has("system", "port"));
  EXPECT_EQ(ini.get_int("System", "Port", 21), 2121);
  EXPECT_EQ(ini.get("System", "Name"), "velmora");
  EXPECT_EQ(ini.get("UserInfo", "Credit"), "-1234567890123");
  EXPECT_EQ(platform::read_whole_file(ini.path()),
            std::optional<std::string>("[System]\r\nPort=2121\r\nName=velmora\r\n\r\n"
                                       "[UserInfo]\r\nCredit=-1234567890123\r\n"));
}

TEST(IniFile, LongValuesAreCutToTheAskedLength) {
  unit::TempDir dir("ini");
  shared::IniFile ini(dir / "a.ini");
  ASSERT_TRUE(ini.set("S", "Long", std::string(5000, 'x')));
  EXPECT_EQ(ini.get("S", "Long").size(), 4095u);
  EXPECT_EQ(ini.get("S", "Long", "", 259).size(), 259u);
  EXPECT_EQ(ini.get("S", "Missing", "fallback"), "fallback");
}

TEST(IniFile, RemoveDeletesTheKey) {
  unit::TempDir dir("ini");
  shared::IniFile ini(dir / "a.ini");
  ASSERT_TRUE(ini.set("S", "K", "v"));
  ASSERT_TRUE(ini.set("S", "J", "w"));
  ASSERT_TRUE(ini.remove("s", "k"));
  EXPECT_FALSE(ini.has("S", "K"));
  EXPECT_EQ(ini.get("S", "J"), "w");
}

}  // namespace

namespace {

// A file read once answers every key from that reading, as the file-backed reader would
// have answered then; later changes reach a new reading only.
TEST(IniFile, ReadOnceAnswersFromOneReading) {
  unit::TempDir dir("ini");
  const std::string path = dir / "a.usr";
  ASSERT_TRUE(platform::write_file_atomically(
      path, "[UserInfo]\r\nPassWord = \"secret\"\r\nCredit=12abc\r\nLong=abcdef\r\n"));
  const shared::IniFile once = shared::IniFile::read_once(path);
  const shared::IniFile live(path);
  for (const shared::IniFile* ini : {&once, &live}) {
    EXPECT_EQ(ini->get("userinfo", "password"), "secret");
    EXPECT_EQ(ini->get_int("UserInfo", "Credit", 7), 12);
    EXPECT_EQ(ini->get_int("UserInfo", "Missing", 7), 7);
    EXPECT_EQ(ini->get("UserInfo", "Long", "", 3), "abc");
    EXPECT_EQ(ini->get("UserInfo", "Missing", "none"), "none");
    EXPECT_TRUE(ini->has("UserInfo", "Credit"));
    EXPECT_FALSE(ini->has("Other", "Credit"));
  }
  ASSERT_TRUE(live.set("UserInfo", "Credit", "99"));
  EXPECT_EQ(once.get_int("UserInfo", "Credit", 7), 12);
  EXPECT_EQ(shared::IniFile::read_once(path).get_int("UserInfo", "Credit", 7), 99);
  EXPECT_FALSE(shared::IniFile::read_once(dir / "missing.ini").has("UserInfo", "Credit"));
}

}  // namespace
