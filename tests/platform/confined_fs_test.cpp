#include "platform/confined_fs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/platform/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;

std::string read_all(File file) {
  char buffer[64];
  long n = file.is_open() ? file.read(buffer, sizeof buffer) : -1;
  return n < 0 ? "<not open>" : std::string(buffer, static_cast<size_t>(n));
}

// Run with the kernel's resolver and with the name-by-name walk that stands in for it.
class ConfinedFs : public ::testing::TestWithParam<bool> {
 protected:
  void TearDown() override {
    use_kernel_resolver(true);
    fs::remove_all(dir.path());
  }
  unit::TempDir dir{"confined"};
};

TEST_P(ConfinedFs, LinksInsideAreFollowedAndNothingLeadsOutside) {
  use_kernel_resolver(GetParam());
  std::string root = dir / "root/", outside = dir / "outside/";
  fs::create_directories(root + "pub");
  fs::create_directories(outside);
  write_file_atomically(root + "pub/a.txt", "in");
  write_file_atomically(outside + "secret.txt", "out");
  fs::create_directory_symlink("pub", root + "rel");
  fs::create_directory_symlink(root + "pub", root + "abs");
  fs::create_directory_symlink("../pub", root + "pub/back");
  fs::create_directory_symlink("../outside", root + "up");
  fs::create_directory_symlink(outside, root + "absout");
  DirHandle h = DirHandle::open(root);
  ASSERT_TRUE(h.is_open());

  for (const char* path : {"pub/a.txt", "rel/a.txt", "abs/a.txt", "pub/back/a.txt"})
    EXPECT_EQ(read_all(open_read_beneath(h, path)), "in") << path;
  EXPECT_TRUE(inside_beneath(h, "pub/missing/deeper"));
  EXPECT_TRUE(open_write_beneath(h, "abs/new.txt").is_open());
  EXPECT_TRUE(fs::exists(root + "pub/new.txt"));

  for (const char* path : {"up/secret.txt", "absout/secret.txt", "../outside/secret.txt",
                           "pub/../../outside/secret.txt", "pub/back/../../outside/secret.txt"}) {
    EXPECT_FALSE(open_read_beneath(h, path).is_open()) << path;
    EXPECT_FALSE(open_write_beneath(h, path).is_open()) << path;
    EXPECT_FALSE(stat_beneath(h, path)) << path;
    EXPECT_FALSE(inside_beneath(h, path)) << path;
    EXPECT_FALSE(unlink_beneath(h, path)) << path;
  }
  EXPECT_FALSE(open_write_beneath(h, "up/new.txt").is_open());
  EXPECT_EQ(mkdir_beneath(h, "absout/made"), MakeDirResult::Failed);
  EXPECT_FALSE(rename_beneath(h, "pub/a.txt", h, "up/a.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);

  std::vector<DirEntry> entries;
  ASSERT_TRUE(scan_beneath(h, "*.*", entries));
  for (const DirEntry& e : entries) {
    bool leads_out = e.name == "up" || e.name == "absout";
    EXPECT_EQ(e.info.is_link, leads_out) << e.name;
    EXPECT_EQ(e.info.is_directory, !leads_out) << e.name;
  }
  EXPECT_EQ(entries.size(), 7u);  // . .. pub rel abs up absout
  // The link itself can go; what it leads to stays.
  EXPECT_TRUE(unlink_beneath(h, "up"));
  EXPECT_TRUE(fs::exists(outside + "secret.txt"));
}

INSTANTIATE_TEST_SUITE_P(Resolvers, ConfinedFs, ::testing::Bool());

}  // namespace
