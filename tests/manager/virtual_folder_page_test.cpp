// The page "仮想フォルダ": rows made from two folder choices, their order in
// [VirtualDir], and the real Core serving a folder the page wrote.
#include <gtest/gtest.h>

#include <QTreeWidget>

#include "manager/editors/system_settings_dialog.h"
#include "manager/editors/virtual_folder_page.h"
#include "platform/profile.h"
#include "tests/manager/editors_system_helpers.h"
#include "tests/support/harness.h"

namespace {

using editors_test::child;
using editors_test::click;

struct Folder {
  std::string dir = harness::make_temp_dir("virt");
  std::string ini = dir + "velmoraFTPd.ini";
  std::string get(const std::string& key) const {
    return platform::profile_read_string(ini, "VirtualDir", key, "<absent>");
  }
};

TEST(VirtualFolderRow, TheNameIsTheLastPartOfTheRealFolder) {
  const manager::VirtualFolder row = manager::make_virtual_folder("/data/music/", "/srv/ftp/pub/");
  EXPECT_EQ(row.virtual_path, "/srv/ftp/pub/music/");
  EXPECT_EQ(row.real_path, "/data/music/");
  const manager::VirtualFolder bare = manager::make_virtual_folder("/data/music", "/srv/ftp/pub");
  EXPECT_EQ(bare.virtual_path, "/srv/ftp/pub/music/");
  EXPECT_EQ(bare.real_path, "/data/music/");
}

TEST(VirtualFolderRow, TheFileSystemRootGetsANameOfItsOwn) {
  const manager::VirtualFolder row = manager::make_virtual_folder("/", "/srv/ftp/pub/");
  EXPECT_EQ(row.virtual_path, "/srv/ftp/pub/root/");
  EXPECT_EQ(row.real_path, "/");
}

TEST(VirtualFolderPage, AddAsksForTheRealFolderThenThePlaceAndAppendsARow) {
  Folder f;
  editors_test::write_file(f.ini, "[VirtualDir]\r\nVir0=/srv/a/x/\r\nDir0=/x/\r\n");
  editors_test::Prompts prompts;
  prompts.folders = {"/data/music/", "/srv/ftp/"};
  manager::CVirtualFolderPage page(f.ini);
  auto* list = child<QTreeWidget>(&page, "virtualList");
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->headerItem()->text(0).toStdString(), "仮想フォルダ名");
  EXPECT_EQ(list->headerItem()->text(1).toStdString(), "実際のフォルダ");
  click(&page, "add");
  ASSERT_EQ(list->topLevelItemCount(), 2);
  EXPECT_EQ(list->topLevelItem(1)->text(0).toStdString(), "/srv/ftp/music/");
  EXPECT_EQ(list->topLevelItem(1)->text(1).toStdString(), "/data/music/");
}

TEST(VirtualFolderPage, CancellingEitherChooserAddsNothing) {
  Folder f;
  editors_test::Prompts prompts;
  prompts.folders = {std::nullopt};
  manager::CVirtualFolderPage page(f.ini);
  click(&page, "add");
  prompts.folders = {std::string("/data/"), std::nullopt};
  click(&page, "add");
  EXPECT_EQ(child<QTreeWidget>(&page, "virtualList")->topLevelItemCount(), 0);
  EXPECT_TRUE(prompts.folders.empty());
}

TEST(VirtualFolderPage, DeletingARowRenumbersTheRestAndEndsTheListWithAnEmptyEntry) {
  Folder f;
  editors_test::write_file(f.ini,
                           "[VirtualDir]\r\nVir0=/s/a/\r\nDir0=/a/\r\nVir1=/s/b/\r\nDir1=/b/\r\n"
                           "Vir2=/s/c/\r\nDir2=/c/\r\n");
  manager::CVirtualFolderPage page(f.ini);
  auto* list = child<QTreeWidget>(&page, "virtualList");
  ASSERT_EQ(list->topLevelItemCount(), 3);
  click(&page, "remove");  // nothing selected: nothing happens
  ASSERT_EQ(list->topLevelItemCount(), 3);
  list->topLevelItem(0)->setSelected(true);
  click(&page, "remove");
  ASSERT_TRUE(page.save());
  EXPECT_EQ(f.get("Vir0"), "/s/b/");
  EXPECT_EQ(f.get("Dir0"), "/b/");
  EXPECT_EQ(f.get("Vir1"), "/s/c/");
  EXPECT_EQ(f.get("Dir1"), "/c/");
  EXPECT_EQ(f.get("Vir2"), "");
  EXPECT_EQ(f.get("Dir2"), "/c/");  // still in the file, no longer reached
  const std::vector<manager::VirtualFolder> rows = manager::read_virtual_folders(f.ini);
  EXPECT_EQ(rows.size(), 2u);
}

TEST(VirtualFolderPage, TheCoreServesAFolderAddedInTheSettingsDialog) {
  harness::Site site("virtcore");
  site.add_user("dave");
  site.make_dir("real");
  site.make_dir("real/music");
  site.write_file("real/music/a.mp3", "tune bytes");
  editors_test::Prompts prompts;
  prompts.folders = {site.path("real/music/"), site.home()};
  {
    manager::CSystemSettingsDialog dialog(site.config_file());
    click(child<manager::CVirtualFolderPage>(&dialog, ""), "add");
    click(&dialog, "ok");
  }
  EXPECT_EQ(platform::profile_read_string(site.config_file(), "VirtualDir", "Vir0"),
            site.home() + "music/");
  harness::Server server(site);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("dave", "dave"));
  EXPECT_EQ(client.download("RETR /music/a.mp3"), std::optional<std::string>("tune bytes"));
  EXPECT_EQ(client.command("CWD /music").substr(0, 4), "250 ");
  const std::optional<std::string> listing = client.download("NLST");
  ASSERT_TRUE(listing.has_value());
  EXPECT_NE(listing->find("a.mp3"), std::string::npos);
}

// Each of the two folder choosers says what it asks for.
TEST(VirtualFolderPage, TheChoosersSayWhatTheyAskFor) {
  Folder f;
  std::vector<std::string> titles;
  manager::PromptHook hook;
  hook.titled_folder = [&titles](const std::string&, const std::string& title) {
    titles.push_back(title);
    return std::optional<std::string>(titles.size() == 1 ? "/data/music/" : "/srv/ftp/");
  };
  manager::set_prompt_hook(hook);
  manager::CVirtualFolderPage page(f.ini);
  click(&page, "add");
  manager::set_prompt_hook({});
  EXPECT_EQ(titles, (std::vector<std::string>{"仮想フォルダを選択して下さい。",
                                              "仮想フォルダの設置場所を選択してください。"}));
  EXPECT_EQ(child<QTreeWidget>(&page, "virtualList")->topLevelItemCount(), 1);
}

}  // namespace
