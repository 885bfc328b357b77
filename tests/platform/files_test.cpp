// Folder scans, renames and the whole-file helpers on real files.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

std::set<std::string> names(const std::string& pattern_path) {
  std::vector<DirEntry> entries;
  EXPECT_TRUE(scan_directory(pattern_path, entries)) << pattern_path;
  std::set<std::string> result;
  for (const auto& e : entries) result.insert(e.name);
  return result;
}

class ScanDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.txt", "b.TXT", "readme", ".hidden", "ab.txt", "x?y"})
      ASSERT_TRUE(append_to_file(dir_ / name, "data"));
    ASSERT_EQ(make_directory(dir_ / "sub"), MakeDirResult::Created);
  }
  unit::TempDir dir_{"scan"};
};

TEST_F(ScanDirectory, StarDotStarMatchesEveryNameWithOrWithoutADot) {
  EXPECT_EQ(names(dir_ / "*.*"), (std::set<std::string>{".", "..", "a.txt", "b.TXT", "readme",
                                                         ".hidden", "ab.txt", "x?y", "sub"}));
}

TEST_F(ScanDirectory, WildcardsAreCaseSensitive) {
  EXPECT_EQ(names(dir_ / "*.txt"), (std::set<std::string>{"a.txt", "ab.txt"}));
  EXPECT_EQ(names(dir_ / "?.txt"), (std::set<std::string>{"a.txt"}));
  EXPECT_EQ(names(dir_ / "*.TXT"), (std::set<std::string>{"b.TXT"}));
  EXPECT_EQ(names(dir_ / "*"), names(dir_ / "*.*"));
}

TEST_F(ScanDirectory, ExactNameFindsOneEntryAndMissingNameNone) {
  EXPECT_EQ(names(dir_ / "readme"), (std::set<std::string>{"readme"}));
  EXPECT_TRUE(names(dir_ / "nothing").empty());
}

TEST_F(ScanDirectory, FillsKindSizeAndHiddenFlag) {
  std::vector<DirEntry> entries;
  ASSERT_TRUE(scan_directory(dir_ / "*", entries));
  for (const auto& e : entries) {
    if (e.name == "sub" || e.name == "." || e.name == "..") {
      EXPECT_TRUE(e.info.is_directory) << e.name;
    } else {
      EXPECT_FALSE(e.info.is_directory) << e.name;
      EXPECT_EQ(e.info.size, 4u) << e.name;
    }
    EXPECT_EQ(e.hidden, e.name == ".hidden") << e.name;
  }
}

TEST_F(ScanDirectory, MissingFolderFails) {
  std::vector<DirEntry> entries;
  EXPECT_FALSE(scan_directory(dir_ / "none/*", entries));
}

TEST(HiddenName, DotNamesAreHiddenButNotDotAndDotDot) {
  EXPECT_TRUE(is_hidden_name(".profile"));
  EXPECT_TRUE(is_hidden_name("..."));
  EXPECT_FALSE(is_hidden_name("."));
  EXPECT_FALSE(is_hidden_name(".."));
  EXPECT_FALSE(is_hidden_name("a.b"));
  EXPECT_FALSE(is_hidden_name(""));
}

TEST(RenameNoReplace, MovesToAFreeName) {
  unit::TempDir dir("rename");
  ASSERT_TRUE(append_to_file(dir / "from", "one"));
  EXPECT_TRUE(rename_no_replace(dir / "from", dir / "to"));
  EXPECT_FALSE(path_exists(dir / "from"));
  EXPECT_EQ(read_whole_file(dir / "to"), std::optional<std::string>("one"));
}

TEST(RenameNoReplace, RefusesAnExistingTargetAndKeepsBoth) {
  unit::TempDir dir("rename");
  ASSERT_TRUE(append_to_file(dir / "from", "one"));
  ASSERT_TRUE(append_to_file(dir / "to", "two"));
  EXPECT_FALSE(rename_no_replace(dir / "from", dir / "to"));
  EXPECT_EQ(read_whole_file(dir / "from"), std::optional<std::string>("one"));
  EXPECT_EQ(read_whole_file(dir / "to"), std::optional<std::string>("two"));
  ASSERT_EQ(make_directory(dir / "d"), MakeDirResult::Created);
  EXPECT_FALSE(rename_no_replace(dir / "from", dir / "d"));
  EXPECT_FALSE(rename_no_replace(dir / "missing", dir / "new"));
}

TEST(RenameNoReplace, MovesAFolder) {
  unit::TempDir dir("rename");
  ASSERT_EQ(make_directory(dir / "d"), MakeDirResult::Created);
  EXPECT_TRUE(rename_no_replace(dir / "d", dir / "e"));
  EXPECT_TRUE(is_directory(dir / "e"));
}

TEST(Folders, MakeAndRemove) {
  unit::TempDir dir("folders");
  EXPECT_EQ(make_directory(dir / "d"), MakeDirResult::Created);
  EXPECT_EQ(make_directory(dir / "d"), MakeDirResult::AlreadyExists);
  EXPECT_EQ(make_directory(dir / "x/y"), MakeDirResult::Failed);
  ASSERT_TRUE(append_to_file(dir / "d/f", "1"));
  EXPECT_FALSE(remove_directory(dir / "d"));
  EXPECT_TRUE(remove_file(dir / "d/f"));
  EXPECT_TRUE(remove_directory(dir / "d"));
  EXPECT_FALSE(path_exists(dir / "d"));
}

TEST(FileInfoOf, ReportsSizeTimeAndWriteBit) {
  unit::TempDir dir("info");
  ASSERT_TRUE(append_to_file(dir / "f", "12345"));
  ASSERT_TRUE(set_modified_time(dir / "f", 1000000000));
  auto info = file_info(dir / "f");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, 5u);
  EXPECT_EQ(info->modified, 1000000000);
  EXPECT_FALSE(info->is_directory);
  EXPECT_FALSE(info->read_only);
  EXPECT_TRUE(is_writable_file(dir / "f"));
  EXPECT_FALSE(is_writable_file(dir.path()));
  EXPECT_FALSE(file_info(dir / "missing"));
}

TEST(OpenFile, ReadsSeeksTruncatesAndAppends) {
  unit::TempDir dir("file");
  const std::string f = dir / "f";
  {
    File out = File::open_write(f);
    ASSERT_TRUE(out.is_open());
    EXPECT_EQ(out.write_all("hello world", 11), 11u);
    EXPECT_TRUE(out.seek(6));
    EXPECT_EQ(out.write_all("WORLD", 5), 5u);
    EXPECT_EQ(out.size(), std::optional<uint64_t>(11));
  }
  {
    // Opening for writing does not cut the file.
    File out = File::open_write(f);
    EXPECT_EQ(out.size(), std::optional<uint64_t>(11));
    EXPECT_TRUE(out.truncate_at(5));
  }
  File in = File::open_read(f);
  ASSERT_TRUE(in.is_open());
  char buffer[32];
  EXPECT_EQ(in.read(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(in.read(buffer, sizeof buffer), 0);
  File moved = std::move(in);
  EXPECT_FALSE(in.is_open());
  EXPECT_TRUE(moved.is_open());
  EXPECT_FALSE(File::open_read(dir / "missing").is_open());
  EXPECT_FALSE(File::open_read(dir.path()).is_open());
}

TEST(WholeFiles, AtomicWriteReplacesContentAndLeavesNoTemporary) {
  unit::TempDir dir("whole");
  const std::string f = dir / "c.ini";
  ASSERT_TRUE(write_file_atomically(f, "first"));
  ASSERT_TRUE(write_file_atomically(f, "second"));
  EXPECT_EQ(read_whole_file(f), std::optional<std::string>("second"));
  std::vector<DirEntry> entries;
  ASSERT_TRUE(scan_directory(dir / "*", entries));
  EXPECT_EQ(entries.size(), 3u);  // ".", ".." and c.ini
  EXPECT_FALSE(write_file_atomically(dir / "none/c.ini", "x"));
  EXPECT_FALSE(read_whole_file(dir / "none/c.ini"));
}

TEST(WholeFiles, AppendCreatesAndAppends) {
  unit::TempDir dir("append");
  ASSERT_TRUE(append_to_file(dir / "log", "a\n"));
  ASSERT_TRUE(append_to_file(dir / "log", "b\n"));
  EXPECT_EQ(read_whole_file(dir / "log"), std::optional<std::string>("a\nb\n"));
  EXPECT_FALSE(append_to_file(dir / "none/log", "x"));
}

}  // namespace

namespace {

// A cached read serves an unchanged file and sees every change: a rewrite of the same
// size under an old time stamp, a file written just now, a removed file.
TEST(WholeFiles, CachedReadSeesEveryChange) {
  unit::TempDir dir("cached");
  const std::string f = dir / "RefuseIP.txt";
  EXPECT_FALSE(platform::read_whole_file_cached(f));
  ASSERT_TRUE(platform::write_file_atomically(f, "10.0.0.1\n"));
  ASSERT_TRUE(platform::set_modified_time(f, 1700000000));
  EXPECT_EQ(platform::read_whole_file_cached(f), std::optional<std::string>("10.0.0.1\n"));
  EXPECT_EQ(platform::read_whole_file_cached(f), std::optional<std::string>("10.0.0.1\n"));
  ASSERT_TRUE(platform::write_file_atomically(f, "10.0.0.2\n"));
  ASSERT_TRUE(platform::set_modified_time(f, 1700000000));
  EXPECT_EQ(platform::read_whole_file_cached(f), std::optional<std::string>("10.0.0.2\n"));
  for (int i = 0; i < 20; ++i) {  // same size, same second: only the margin tells
    std::string content = "10.0.0." + std::to_string(10 + i) + "\n";
    platform::File out = platform::File::open_write(f);
    ASSERT_TRUE(out.is_open() && out.truncate_at(0));
    ASSERT_EQ(out.write_all(content.data(), content.size()), content.size());
    out.close();
    ASSERT_EQ(platform::read_whole_file_cached(f), std::optional<std::string>(content));
  }
  ASSERT_TRUE(platform::remove_file(f));
  EXPECT_FALSE(platform::read_whole_file_cached(f));
}

}  // namespace
