// The Manager's plug-in table, the page "PlugIn" of the system settings (CSysPlugin), the
// chooser CSelPluginDlg and the user page, with real shared objects.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPlainTextEdit>
#include <QThread>
#include <thread>

#include "manager/editors/plugin_manager.h"
#include "manager/editors/select_plugin_dialog.h"
#include "manager/editors/sys_plugin_page.h"
#include "manager/editors/system_settings_dialog.h"
#include "manager/editors/user_plugin_page.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "tests/manager/editors_system_helpers.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using editors_test::child;
using editors_test::click;

std::string plugin(const std::string& name) {
  return std::string(TEST_BINARY_DIR) + "/test_plugins/" + name + ".so";
}

const std::string kLoaded = "⇒プラグインをロードしました。(";
const std::string kRefused = "⇒プラグインをロードできません。このプラグインは使用できません。(";

struct PluginSite {
  std::string dir = harness::make_temp_dir("plug");
  std::string ini = dir + "velmoraFTPd.ini";
  std::vector<std::string> log;

  void registered(const std::vector<std::string>& paths, int count) {
    for (size_t i = 0; i < paths.size(); ++i) {
      platform::profile_write_string(ini, "SysPlugIn", "Plugin" + std::to_string(i), paths[i]);
    }
    platform::profile_write_string(ini, "SysPlugIn", "SysPlugInNum", std::to_string(count));
  }
  void load() {
    manager::load_system_plugins(ini, [this](const std::string& line) { log.push_back(line); });
  }
  ~PluginSite() { manager::unload_system_plugins(); }
};

TEST(PluginValidation, TheThreeRequiredExportsMakeAPlugin) {
  EXPECT_TRUE(manager::validate_plugin(plugin("required_only")));
  EXPECT_TRUE(manager::validate_plugin(plugin("manager_info")));
  EXPECT_FALSE(manager::validate_plugin(plugin("no_exit")));
  EXPECT_FALSE(manager::validate_plugin(plugin("no_exports")));
  EXPECT_FALSE(manager::validate_plugin(plugin("missing")));
  EXPECT_FALSE(manager::validate_plugin(""));
}

TEST(PluginTable, ABrokenFirstEntryIsLoggedAndTheOthersTakeSlotsZeroAndOne) {
  PluginSite s;
  const std::string missing = s.dir + "gone.so";
  s.registered({missing, plugin("required_only"), plugin("manager_info")}, 3);
  s.load();
  const std::vector<std::string> expected_start = {
      kRefused + missing + ")", kLoaded + plugin("required_only") + ")"};
  ASSERT_GE(s.log.size(), 3u);
  EXPECT_EQ(s.log[0], expected_start[0]);
  EXPECT_EQ(s.log[1], expected_start[1]);
  EXPECT_EQ(s.log.back(), kLoaded + plugin("manager_info") + ")");
  EXPECT_EQ(manager::loaded_plugin_count(), 2);
  EXPECT_EQ(manager::find_loaded_plugin(plugin("required_only")), 0);
  EXPECT_EQ(manager::find_loaded_plugin(plugin("manager_info")), 1);
  EXPECT_EQ(manager::find_loaded_plugin(missing), -1);
}

TEST(PluginTable, OnlyTheCountedEntriesLoadWhileTheSystemPageListsThemAll) {
  PluginSite s;
  s.registered({plugin("required_only"), plugin("manager_info"), plugin("tag_alpha")}, 2);
  s.load();
  EXPECT_EQ(manager::loaded_plugin_count(), 2);
  EXPECT_EQ(manager::find_loaded_plugin(plugin("tag_alpha")), -1);
  manager::CSysPlugin page(s.ini);
  EXPECT_EQ(page.entries().size(), 3u);
}

TEST(PluginTable, APluginWithoutCallbackLoadsAndTheServicesOutliveTheCallback) {
  PluginSite s;
  s.registered({plugin("required_only"), plugin("manager_info")}, 2);
  s.load();
  // The plug-in that takes the services posted through them while being loaded.
  const std::vector<std::string> expected = {kLoaded + plugin("required_only") + ")",
                                             "manager_info: services received",
                                             kLoaded + plugin("manager_info") + ")"};
  EXPECT_EQ(s.log, expected);
  EXPECT_FALSE(manager::loaded_plugin_info(0).has_value());
  // Later calls use the pointer it kept: posting and string replacement still work.
  const std::optional<std::string> info = manager::loaded_plugin_info(1);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(*info, "manager_info inits=1 setprop=none");
  ASSERT_GE(s.log.size(), 5u);
  EXPECT_EQ(s.log[3], "manager_info: replace ok");
  EXPECT_EQ(s.log[4], "manager_info: info asked");
}

TEST(PluginTable, TextPostedFromAPluginThreadReachesTheLogOnTheInterfaceThread) {
  PluginSite s;
  s.registered({plugin("manager_info")}, 1);
  std::vector<bool> on_interface_thread;
  manager::load_system_plugins(s.ini, [&](const std::string& line) {
    s.log.push_back(line);
    on_interface_thread.push_back(QThread::currentThread() == qApp->thread());
  });
  void* library = platform::load_library(plugin("manager_info"));  // the same instance
  ASSERT_NE(library, nullptr);
  using Post = int (*)(const char*);
  auto post = reinterpret_cast<Post>(platform::find_symbol(library, "manager_info_post"));
  ASSERT_NE(post, nullptr);
  int result = 0;
  std::thread worker([&] { result = post("from a worker"); });
  worker.join();
  EXPECT_EQ(result, 1);
  ASSERT_TRUE(qt_test::wait_until([&] { return s.log.back() == "from a worker"; }));
  EXPECT_TRUE(on_interface_thread.back());
  platform::unload_library(library);
}

TEST(PluginTable, UnloadCallsExitOnceAndEmptiesTheTable) {
  PluginSite s;
  const std::string exit_log = s.dir + "exit.log";
  platform::set_environment_variable("MANAGER_PLUGIN_EXIT_LOG", exit_log);
  s.registered({plugin("manager_info")}, 1);
  s.load();
  EXPECT_FALSE(platform::path_exists(exit_log));
  manager::unload_system_plugins();
  platform::set_environment_variable("MANAGER_PLUGIN_EXIT_LOG", std::nullopt);
  EXPECT_EQ(editors_test::read_file(exit_log), "exit\n");
  EXPECT_EQ(manager::loaded_plugin_count(), 0);
  EXPECT_EQ(manager::find_loaded_plugin(plugin("manager_info")), -1);
}

TEST(PluginTable, LoadingAgainReplacesTheTable) {
  PluginSite s;
  s.registered({plugin("manager_info")}, 1);
  s.load();
  s.load();
  EXPECT_EQ(manager::loaded_plugin_count(), 1);
  // A fresh load: nfd_Init ran once on the library loaded this time.
  EXPECT_EQ(manager::loaded_plugin_info(0).value_or(""), "manager_info inits=1 setprop=none");
}

TEST(PluginTable, NoCountLoadsNothingAndLogsNothing) {
  PluginSite s;
  s.registered({plugin("manager_info")}, 0);
  s.load();
  EXPECT_EQ(manager::loaded_plugin_count(), 0);
  EXPECT_TRUE(s.log.empty());
}

TEST(SystemPluginPage, AddValidatesTheChosenFileAndRefusesAnInvalidOne) {
  PluginSite s;
  editors_test::Prompts prompts;
  prompts.files = {plugin("no_exit"), plugin("required_only"), plugin("required_only"),
                   std::nullopt};
  manager::CSysPlugin page(s.ini);
  click(&page, "add");
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"有効なプラグインではありません"});
  click(&page, "add");
  click(&page, "add");  // the same path twice is allowed
  click(&page, "add");  // cancelled
  EXPECT_EQ(page.entries(),
            (std::vector<std::string>{plugin("required_only"), plugin("required_only")}));
  ASSERT_FALSE(prompts.filters.empty());
  EXPECT_EQ(prompts.filters[0], "PlugIn (*.so);;すべてのﾌｧｲﾙ (*)");
  EXPECT_EQ(manager::loaded_plugin_count(), 0);  // validation loads nothing for good
}

TEST(SystemPluginPage, MovesAndRemovesTheSelectedEntryAndSavesTheList) {
  PluginSite s;
  s.registered({"/p/a.so", "/p/b.so", "/p/c.so", "/p/d.so"}, 4);
  manager::CSysPlugin page(s.ini);
  auto* list = child<QListWidget>(&page, "pluginList");
  click(&page, "remove");  // nothing selected
  EXPECT_EQ(page.entries().size(), 4u);
  list->setCurrentRow(0);
  click(&page, "up");  // not above the first
  click(&page, "down");
  click(&page, "down");
  EXPECT_EQ(page.entries(), (std::vector<std::string>{"/p/b.so", "/p/c.so", "/p/a.so", "/p/d.so"}));
  list->setCurrentRow(3);
  click(&page, "down");  // not below the last
  click(&page, "remove");
  EXPECT_EQ(page.entries(), (std::vector<std::string>{"/p/b.so", "/p/c.so", "/p/a.so"}));
  ASSERT_TRUE(page.save());
  auto get = [&](const char* key) {
    return platform::profile_read_string(s.ini, "SysPlugIn", key, "<absent>");
  };
  EXPECT_EQ(get("Plugin0"), "/p/b.so");
  EXPECT_EQ(get("Plugin2"), "/p/a.so");
  EXPECT_EQ(get("Plugin3"), "");
  EXPECT_EQ(get("SysPlugInNum"), "3");
}

TEST(SystemPluginPage, TheSettingsDialogSavesThePluginListOnOk) {
  PluginSite s;
  editors_test::Prompts prompts;
  prompts.files = {plugin("manager_info")};
  manager::CSystemSettingsDialog dialog(s.ini);
  click(child<manager::CSysPlugin>(&dialog, ""), "add");
  click(&dialog, "ok");
  EXPECT_EQ(platform::profile_read_string(s.ini, "SysPlugIn", "Plugin0"), plugin("manager_info"));
  EXPECT_EQ(platform::profile_read_string(s.ini, "SysPlugIn", "SysPlugInNum"), "1");
}

TEST(PluginChooser, OkWithoutASelectionAsksForOneAndStaysOpen) {
  PluginSite s;
  s.registered({"/p/a.so", "/p/b.so"}, 2);
  editors_test::Prompts prompts;
  manager::CSelPluginDlg chooser(s.ini);
  EXPECT_EQ(chooser.windowTitle().toStdString(), "ロード済みプラグイン選択");
  click(&chooser, "ok");
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"項目を選んでください。"});
  EXPECT_NE(chooser.result(), QDialog::Accepted);
  child<QListWidget>(&chooser, "pluginList")->setCurrentRow(1);
  click(&chooser, "ok");
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  EXPECT_EQ(chooser.selected(), "/p/b.so");
}

struct UserSite : PluginSite {
  std::string account = dir + "user.usr";
  std::string user(const char* key) const {
    return platform::profile_read_string(account, "UserPlugIn", key, "<absent>");
  }
};

TEST(UserPluginPage, AddPutsTheChosenPluginAtTheTopAndSaveWritesTheList) {
  UserSite s;
  s.registered({"/p/a.so", "/p/b.so"}, 2);
  editors_test::write_file(s.account, "[UserPlugIn]\r\nPlugInNum=1\r\nPlugin0=/p/x.so\r\n");
  manager::CUserPluginPage page(s.account, s.ini);
  EXPECT_EQ(page.entries(), std::vector<std::string>{"/p/x.so"});
  editors_test::on_next_modal([](QWidget* chooser) {
    child<QListWidget>(chooser, "pluginList")->setCurrentRow(1);
    click(chooser, "ok");
  });
  click(&page, "add");
  editors_test::on_next_modal([](QWidget* chooser) { click(chooser, "cancel"); });
  click(&page, "add");
  EXPECT_EQ(page.entries(), (std::vector<std::string>{"/p/b.so", "/p/x.so"}));
  const std::string target = s.dir + "target.usr";
  ASSERT_TRUE(page.save(target));
  auto get = [&](const char* key) {
    return platform::profile_read_string(target, "UserPlugIn", key, "<absent>");
  };
  EXPECT_EQ(get("Plugin0"), "/p/b.so");
  EXPECT_EQ(get("Plugin1"), "/p/x.so");
  EXPECT_EQ(get("Plugin2"), "");
  EXPECT_EQ(get("PlugInNum"), "2");
}

TEST(UserPluginPage, TheInformationFieldTellsLoadedFromUnloadedAndSilentPlugins) {
  UserSite s;
  s.registered({plugin("required_only"), plugin("manager_info")}, 2);
  s.load();
  std::string upper_case = plugin("manager_info");
  upper_case.replace(upper_case.find("manager_info"), 12, "MANAGER_INFO");
  manager::save_user_plugins(s.account, {plugin("manager_info"), plugin("required_only"),
                                         upper_case});
  manager::CUserPluginPage page(s.account, s.ini);
  auto* list = child<QListWidget>(&page, "pluginList");
  list->setCurrentRow(0);
  EXPECT_EQ(page.info_text(), "manager_info inits=1 setprop=none");
  list->setCurrentRow(1);
  EXPECT_EQ(page.info_text(), "Infomationが存在しません。");
  list->setCurrentRow(2);
  EXPECT_EQ(page.info_text(), "選択したプラグインは、システムで未ロード状態です。");
}

TEST(UserPluginPage, SettingsCallsThePluginWithTheAccountFileOrSaysItIsNotLoaded) {
  UserSite s;
  s.registered({plugin("manager_info")}, 1);
  s.load();
  manager::save_user_plugins(s.account, {plugin("manager_info"), "/p/unloaded.so"});
  editors_test::Prompts prompts;
  manager::CUserPluginPage page(s.account, s.ini);
  auto* list = child<QListWidget>(&page, "pluginList");
  click(&page, "settings");  // nothing selected: nothing happens
  EXPECT_TRUE(prompts.messages.empty());
  list->setCurrentRow(1);
  click(&page, "settings");
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"選択したプラグインは、システムで未ロード状態です。"});
  list->setCurrentRow(0);
  click(&page, "settings");
  EXPECT_EQ(manager::loaded_plugin_info(0).value_or(""),
            "manager_info inits=1 setprop=" + s.account);
}

TEST(UserPluginPage, AnUnloadedPluginCanStillBeAssignedAndSaved) {
  UserSite s;
  s.registered({"/p/never.so"}, 1);
  manager::CUserPluginPage page(s.account, s.ini);
  editors_test::on_next_modal([](QWidget* chooser) {
    child<QListWidget>(chooser, "pluginList")->setCurrentRow(0);
    click(chooser, "ok");
  });
  click(&page, "add");
  ASSERT_TRUE(page.save(s.account));
  EXPECT_EQ(s.user("Plugin0"), "/p/never.so");
  EXPECT_EQ(s.user("PlugInNum"), "1");
}

}  // namespace
