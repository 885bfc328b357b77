// Path resolution, separators, target folders, virtual folders and the permission check,
// on a Session record built here and folders on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/server.h"
#include "core/session_fault.h"
#include "fileservice/paths.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "tests/support/harness.h"

namespace {

namespace fs = std::filesystem;
using fileservice::KeepForm;

// A disk layout: root/home/ is the home directory, root/outside/ lies beside it,
// root/real/ is the real folder of a virtual folder, and root/velmoraFTPd.ini the settings.
struct Layout {
  std::string root = harness::make_temp_dir("paths-unit");
  std::string home = root + "home/";
  std::string outside = root + "outside/";
  std::string real = root + "real/";
  std::string config = root + "velmoraFTPd.ini";
  core::Session s;

  Layout() {
    fs::create_directories(home + "pub/sub");
    fs::create_directories(outside);
    fs::create_directories(real + "inner");
    std::ofstream(home + "pub/a.txt") << "a";
    std::ofstream(outside + "secret.txt") << "secret";
    std::ofstream(config) << "[System]\r\n";
    core::core_state().paths.config_file = config;
    s.home_directory = home;
    s.current_directory = home;
  }
  void set_virtual(int number, const std::string& vir, const std::string& dir) {
    platform::profile_write_string(config, "VirtualDir", "Vir" + std::to_string(number), vir);
    platform::profile_write_string(config, "VirtualDir", "Dir" + std::to_string(number), dir);
  }
};

// Shift_JIS 0x95 0x5C is one character whose second byte is the code of '\'.
const std::string kTable = "\x95\x5c";

TEST(SeparatorConversion, DoubleByteCharacterWithBackslashTrailByteStaysWhole) {
  std::string path = "C:\\ftp\\" + kTable + "\\x";
  fileservice::convert_separators(path, '\\', '/', platform::is_lead_byte_cp932);
  EXPECT_EQ(path, "C:/ftp/" + kTable + "/x");
}

TEST(SeparatorConversion, BytesAtIndexZeroAndOneAreAlwaysConverted) {
  std::string path = kTable + kTable;
  fileservice::convert_separators(path, '\\', '/', platform::is_lead_byte_cp932);
  EXPECT_EQ(path, "\x95/" + kTable);  // index 1 converted, index 3 follows a lead byte
}

TEST(SeparatorConversion, Utf8HasNoLeadBytesSoEveryBackslashConverts) {
  std::string path = "/ftp/" + kTable + "\\x\\";
  fileservice::convert_separators(path, '\\', '/');
  EXPECT_EQ(path, "/ftp/\x95//x/");
}

TEST(TargetFolder, FileIsGovernedByItsFolder) {
  EXPECT_EQ(fileservice::target_folder("/srv/ftp/pub/a.txt"), "/srv/ftp/pub/");
  EXPECT_EQ(fileservice::target_folder("/srv/ftp/pub"), "/srv/ftp/");
  EXPECT_EQ(fileservice::target_folder("/srv/ftp/pub/"), "/srv/ftp/pub/");
}

TEST(TargetFolder, DoubleByteNameEndingInBackslashByteIsNotCutInside) {
  auto cp932 = platform::is_lead_byte_cp932;
  EXPECT_EQ(fileservice::target_folder("C:\\ftp\\" + kTable, '\\', cp932), "C:\\ftp\\");
  EXPECT_EQ(fileservice::target_folder("C:\\ftp\\" + kTable + "\\x", '\\', cp932),
            "C:\\ftp\\" + kTable + "\\");
  EXPECT_EQ(fileservice::target_folder("C:\\ftp\\a" + kTable + "b", '\\', cp932), "C:\\ftp\\");
}

TEST(ResolvePath, RelativePathsStartAtTheCurrentDirectory) {
  Layout l;
  l.s.current_directory = l.home + "pub/";
  EXPECT_EQ(fileservice::resolve_path(l.s, "a.txt", 260, KeepForm::AsIs), l.home + "pub/a.txt");
  EXPECT_EQ(fileservice::resolve_path(l.s, "sub/./../a.txt", 260, KeepForm::AsIs),
            l.home + "pub/a.txt");
  EXPECT_EQ(fileservice::resolve_path(l.s, "", 260, KeepForm::AsIs), l.home + "pub/");
}

TEST(ResolvePath, LeadingSlashStartsAtTheHomeDirectory) {
  Layout l;
  l.s.current_directory = l.home + "pub/";
  EXPECT_EQ(fileservice::resolve_path(l.s, "/", 261, KeepForm::Directory), l.home);
  EXPECT_EQ(fileservice::resolve_path(l.s, "/pub//a.txt", 260, KeepForm::AsIs),
            l.home + "pub/a.txt");
}

TEST(ResolvePath, DotDotMayLeadAboveTheHomeDirectory) {
  Layout l;
  std::string above = l.home.substr(0, l.home.size() - 1);
  above = above.substr(0, above.rfind('/'));
  EXPECT_EQ(fileservice::resolve_path(l.s, "..", 260, KeepForm::AsIs), above);
  EXPECT_EQ(fileservice::resolve_path(l.s, "../../../../../../../../../..", 260, KeepForm::AsIs),
            "/");
}

TEST(ResolvePath, BackslashIsAnOrdinaryNameByte) {
  Layout l;
  EXPECT_EQ(fileservice::resolve_path(l.s, "..\\..\\x", 260, KeepForm::AsIs),
            l.home + "..\\..\\x");
}

TEST(ResolvePath, DirectoryFormAddsSeparatorOnlyForExistingFolders) {
  Layout l;
  EXPECT_EQ(fileservice::resolve_path(l.s, "pub", 261, KeepForm::Directory), l.home + "pub/");
  EXPECT_EQ(fileservice::resolve_path(l.s, "pub/a.txt", 261, KeepForm::Directory),
            l.home + "pub/a.txt");
  EXPECT_EQ(fileservice::resolve_path(l.s, "missing", 261, KeepForm::Directory),
            l.home + "missing");
  EXPECT_EQ(fileservice::resolve_path(l.s, "pub", 260, KeepForm::AsIs), l.home + "pub");
}

TEST(ResolvePath, DirectoryFormSeesVirtualFolders) {
  Layout l;
  l.set_virtual(0, l.home + "music/", l.real);
  EXPECT_EQ(fileservice::resolve_path(l.s, "/music", 261, KeepForm::Directory),
            l.home + "music/");
  EXPECT_EQ(fileservice::resolve_path(l.s, "/music/inner", 261, KeepForm::Directory),
            l.home + "music/inner/");
}

TEST(ResolvePath, PathAndBaseLongerThan259EndTheSession) {
  core::Session s;
  s.home_directory = "/h/";
  s.current_directory = "/h/twenty-chars-xxx/";  // 20 bytes
  ASSERT_EQ(s.current_directory.size(), 20u);
  EXPECT_NO_THROW(fileservice::resolve_path(s, std::string(239, 'a'), 260, KeepForm::AsIs));
  try {
    fileservice::resolve_path(s, std::string(240, 'a'), 260, KeepForm::AsIs);
    FAIL() << "no fault raised";
  } catch (const core::SessionFault& fault) {
    EXPECT_EQ(fault.reply, core::kTooLongFileName);
  }
}

TEST(ResolvePath, TextAfterANulByteIsIgnored) {
  Layout l;
  std::string with_nul("a.txt\0/../../../etc", 19);
  EXPECT_EQ(fileservice::resolve_path(l.s, with_nul, 260, KeepForm::AsIs), l.home + "a.txt");
}

TEST(VirtualFolders, FirstPlacementThatIsAPrefixIsApplied) {
  Layout l;
  l.set_virtual(0, l.home + "pub/music/", l.real);
  l.set_virtual(1, l.home + "pub/", l.outside);
  EXPECT_EQ(fileservice::map_virtual(l.home + "pub/music/a.mp3"), l.real + "a.mp3");
  EXPECT_EQ(fileservice::map_virtual(l.home + "pub/x"), l.outside + "x");
  EXPECT_EQ(fileservice::map_virtual(l.home + "other/x"), l.home + "other/x");
  auto pair = fileservice::map_virtual_pair(l.home + "pub/music/");
  EXPECT_EQ(pair.pair, 0);
  EXPECT_EQ(pair.path, l.real);
}

TEST(VirtualFolders, ListEndsAtTheFirstEmptyPlacement) {
  Layout l;
  l.set_virtual(0, l.home + "a/", l.real);
  l.set_virtual(2, l.home + "c/", l.real);
  EXPECT_EQ(fileservice::map_virtual(l.home + "a/x"), l.real + "x");
  EXPECT_EQ(fileservice::map_virtual(l.home + "c/x"), l.home + "c/x");
}

TEST(VirtualFolders, EditsOfTheSettingsFileTakeEffectAtTheNextUse) {
  Layout l;
  EXPECT_EQ(fileservice::map_virtual(l.home + "v/x"), l.home + "v/x");
  l.set_virtual(0, l.home + "v/", l.real);
  EXPECT_EQ(fileservice::map_virtual(l.home + "v/x"), l.real + "x");
  l.set_virtual(0, l.home + "v/", l.outside);
  EXPECT_EQ(fileservice::map_virtual(l.home + "v/x"), l.outside + "x");
}

TEST(VirtualFolders, ResultIsBoundedToSizeMinusTwo) {
  Layout l;
  l.set_virtual(0, "/v/", "/a-much-longer-real-folder/");
  EXPECT_EQ(fileservice::map_virtual("/v/file", 12), "/a-much-lo");
}

TEST(ClientView, HomeShowsAsSlashAndSubfoldersKeepTheirSlash) {
  core::Session s;
  s.home_directory = "/srv/ftp/";
  s.current_directory = "/srv/ftp/";
  EXPECT_EQ(fileservice::client_view(s), "/");
  s.current_directory = "/srv/ftp/pub/sub/";
  EXPECT_EQ(fileservice::client_view(s), "/pub/sub/");
}

TEST(PermissionCheck, PathOutsideTheHomeDirectoryIsRefused) {
  Layout l;
  std::string path = l.outside + "secret.txt";
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitList));
  path = l.home.substr(0, l.home.size() - 1);  // the home directory without its '/'
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitList));
  path = l.home + "pub/a.txt";
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitList));
}

TEST(PermissionCheck, ForbiddenOperationIsRefusedEverywhere) {
  Layout l;
  l.s.forbidden = core::kProhibitDelete;
  std::string path = l.home + "pub/a.txt";
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitDelete));
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitRetrieve));
}

TEST(PermissionCheck, EmptyOrOptionPathIsReplacedByTheCurrentDirectory) {
  Layout l;
  l.s.current_directory = l.home + "pub/";
  std::string path;
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitList));
  EXPECT_EQ(path, l.home + "pub/");
  path = "-la";
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitList));
  EXPECT_EQ(path, l.home + "pub/");
}

TEST(PermissionCheck, MissingFolderIsRefusedExceptForMakeDirectory) {
  Layout l;
  std::string path = l.home + "missing/x";
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitList));
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitMakeDir));
}

TEST(PermissionCheck, RulesApplyToTheAddressedAndTheMappedFolder) {
  Layout l;
  l.set_virtual(0, l.home + "music/", l.real);
  std::string path = l.home + "music/inner/";
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitList));
  l.s.dir_rules = {{core::kProhibitList, l.home + "music/"}};
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitList));
  l.s.dir_rules = {{core::kProhibitList, l.real}};
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitList));
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitRetrieve));
}

TEST(PermissionCheck, RuleWithEveryBitSetStillRefuses) {
  Layout l;
  l.s.dir_rules = {{0xFFFFFFFFu, l.home + "pub/"}};
  std::string path = l.home + "pub/a.txt";
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitRetrieve));
}

TEST(PermissionCheck, SymbolicLinkInsideHomePointingOutsideIsRefused) {
  Layout l;
  fs::create_directory_symlink(l.outside, l.home + "escape");
  fs::create_symlink(l.outside + "secret.txt", l.home + "secret-link");
  fs::create_symlink(l.outside + "not-there", l.home + "dangling");
  for (std::string path : {l.home + "escape/secret.txt", l.home + "escape/", l.home + "escape",
                           l.home + "secret-link", l.home + "escape/new/deeper"}) {
    EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitList)) << path;
    EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitMakeDir)) << path;
  }
  std::string dangling = l.home + "dangling";
  EXPECT_FALSE(fileservice::check_permission(l.s, dangling, core::kProhibitStore));
}

TEST(PermissionCheck, SymbolicLinkThatStaysInsideHomeIsAllowed) {
  Layout l;
  fs::create_directory_symlink(l.home + "pub", l.home + "pub-link");
  std::string path = l.home + "pub-link/a.txt";
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitRetrieve));
}

TEST(PermissionCheck, VirtualFolderMayLeadOutsideHomeButNotBeyondItsRealFolder) {
  Layout l;
  l.set_virtual(0, l.home + "music/", l.real);
  fs::create_directory_symlink(l.outside, l.real + "escape");
  std::string inside = l.home + "music/inner/";
  EXPECT_TRUE(fileservice::check_permission(l.s, inside, core::kProhibitList));
  std::string beyond = l.home + "music/escape/secret.txt";
  EXPECT_FALSE(fileservice::check_permission(l.s, beyond, core::kProhibitList));
}

TEST(PermissionCheck, HomeDirectoryReachedThroughALinkStillConfines) {
  Layout l;
  std::string linked_home = l.root + "home-link/";
  fs::create_directory_symlink(l.home, l.root + "home-link");
  l.s.home_directory = linked_home;
  l.s.current_directory = linked_home;
  std::string path = linked_home + "pub/a.txt";
  EXPECT_TRUE(fileservice::check_permission(l.s, path, core::kProhibitRetrieve));
  fs::create_directory_symlink(l.outside, l.home + "escape");
  path = linked_home + "escape/secret.txt";
  EXPECT_FALSE(fileservice::check_permission(l.s, path, core::kProhibitRetrieve));
}

}  // namespace
