// The plug-in table in this process: which files load, their numbers, the per-account
// matching, and the out-of-memory path of replace_string.
#include "fileservice/plugin_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/session_fault.h"
#include "tests/support/harness.h"

namespace fileservice {
namespace {

std::string test_plugin(const std::string& name) {
  return std::string(TEST_BINARY_DIR) + "/test_plugins/" + name + ".so";
}

std::string write_config(const std::vector<std::string>& paths, int count = -1000) {
  std::string folder = harness::make_temp_dir("plugin-host");
  if (count == -1000) count = static_cast<int>(paths.size());
  std::string text = "[SysPlugIn]\r\nSysPlugInNum=" + std::to_string(count) + "\r\n";
  for (size_t i = 0; i < paths.size(); ++i)
    text += "Plugin" + std::to_string(i) + "=" + paths[i] + "\r\n";
  std::string config = folder + "velmoraFTPd.ini";
  FILE* file = std::fopen(config.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  std::string fake = folder + "fake.so";
  file = std::fopen(fake.c_str(), "wb");
  std::fputs("not a library\n", file);
  std::fclose(file);
  return config;
}

class PluginTable : public ::testing::Test {
 protected:
  void TearDown() override {
    set_plugin_allocator_for_tests(nullptr);
    unload_plugins();
  }
};

TEST_F(PluginTable, OnlyCompletePluginsLoadAndKeepTheListOrder) {
  // write_config leaves a text file named fake.so beside the settings file.
  std::string first = write_config({});
  std::string fake = first.substr(0, first.rfind('/') + 1) + "fake.so";
  std::string config = write_config({"/no/such/file.so", fake, "", test_plugin("no_exports"),
                         test_plugin("no_exit"), test_plugin("tag_beta"),
                         test_plugin("required_only")});
  load_system_plugins(config);
  ASSERT_EQ(loaded_plugin_count(), 2);
  EXPECT_EQ(loaded_plugin_path(0), test_plugin("tag_beta"));
  EXPECT_EQ(loaded_plugin_path(1), test_plugin("required_only"));
  EXPECT_FALSE(any_socket_plugins());
}

TEST_F(PluginTable, AccountPathsMatchExactlyOrGetMinusOne) {
  load_system_plugins(write_config({test_plugin("tag_alpha"), test_plugin("tag_beta")}));
  std::string upper = test_plugin("TAG_BETA");
  EXPECT_EQ(match_user_plugins({test_plugin("tag_beta"), upper, test_plugin("tag_alpha"), ""}),
            (std::vector<int>{1, -1, 0, -1}));
}

TEST_F(PluginTable, SocketHookMakesTheTableReportSocketPlugins) {
  load_system_plugins(write_config({test_plugin("required_only"), test_plugin("scripted")}));
  EXPECT_TRUE(any_socket_plugins());
  unload_plugins();
  EXPECT_FALSE(any_socket_plugins());
  EXPECT_EQ(loaded_plugin_count(), 0);
}

TEST_F(PluginTable, CountDecidesHowManyEntriesAreTried) {
  load_system_plugins(write_config({test_plugin("tag_alpha")}, 0));
  EXPECT_EQ(loaded_plugin_count(), 0);
  load_system_plugins(write_config({test_plugin("tag_alpha")}, -3));
  EXPECT_EQ(loaded_plugin_count(), 0);
  load_system_plugins(write_config({test_plugin("tag_alpha"), test_plugin("tag_beta")}, 1));
  EXPECT_EQ(loaded_plugin_count(), 1);
  load_system_plugins(write_config({test_plugin("tag_alpha")}, 5));  // missing keys skipped
  EXPECT_EQ(loaded_plugin_count(), 1);
}

void* no_memory(size_t) { return nullptr; }

TEST_F(PluginTable, ReplaceStringOutOfMemoryInAMessageHookEndsTheSession) {
  load_system_plugins(write_config({test_plugin("scripted")}));
  core::Session s;
  s.id = 7;
  set_plugin_allocator_for_tests(no_memory);
  try {
    plugin_message(s, kMessageCommand, 28, "SITE REPLACE");
    FAIL() << "no session fault";
  } catch (const core::SessionFault& fault) {
    EXPECT_EQ(fault.reply, "330 Internal Server Error\r\n");
  }
  // The next hook call starts clean.
  set_plugin_allocator_for_tests(nullptr);
  EXPECT_EQ(plugin_message(s, kMessageCommand, 28, "SITE REPLACE"), 1);
  EXPECT_STREQ(s.view.message, "200 replaced.\r\n");
}

TEST_F(PluginTable, ReplaceStringOutsideHooksReturnsNullWithoutFault) {
  const nfd_host_services* services = plugin_host_services();
  char* copy = services->replace_string(nullptr, "abc");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  copy = services->replace_string(copy, copy + 1);
  EXPECT_STREQ(copy, "bc");
  set_plugin_allocator_for_tests(no_memory);
  EXPECT_EQ(services->replace_string(copy, "x"), nullptr);  // copy freed all the same
}

TEST_F(PluginTable, HooksSeeTheSessionFields) {
  load_system_plugins(write_config({test_plugin("required_only")}));
  core::Session s;
  s.id = 42;
  s.user_plugins = match_user_plugins({test_plugin("required_only")});
  s.user_name = "bob";
  s.address_text = "127.0.0.9";
  EXPECT_EQ(plugin_message(s, kMessageCommand, 32, "NOOP"), 1);
  EXPECT_STREQ(s.view.message, "200 required_only answered NOOP.\r\n");
  EXPECT_EQ(s.view.session_id, 42u);
  EXPECT_STREQ(s.view.user_name, "bob");
  EXPECT_STREQ(s.view.address_text, "127.0.0.9");
  EXPECT_EQ(plugin_message(s, kMessageCommand, 25, "PWD"), 0);
}

}  // namespace
}  // namespace fileservice
