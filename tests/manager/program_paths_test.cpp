// The Manager finds its settings, accounts, Core and help beside its program directory.
#include <gtest/gtest.h>

#include "manager/shell/program_paths.h"

namespace {

TEST(ManagerProgramPaths, EveryPathHangsOffTheProgramDirectory) {
  const manager::ProgramPaths paths = manager::derive_program_paths("/srv/velmora/");
  EXPECT_EQ(paths.ini_file, "/srv/velmora/velmoraFTPd.ini");
  EXPECT_EQ(paths.user_dir, "/srv/velmora/user/");
  EXPECT_EQ(paths.core_exe, "/srv/velmora/quorsrv");
  EXPECT_EQ(paths.help_dir, "/srv/velmora/help/");
}

TEST(ManagerProgramPaths, AHomeWithoutTrailingSlashGetsOne) {
  EXPECT_EQ(manager::derive_program_paths("/srv/velmora").user_dir, "/srv/velmora/user/");
}

}  // namespace
