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
