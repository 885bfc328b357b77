// Several processes writing one settings file at the same moment lose nothing, and a
// reader never sees a half-written file.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/thread.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

TEST(ProfileConcurrency, EightWriterProcessesLoseNoKeyAndReadersSeeWholeFiles) {
  unit::TempDir dir("profile-mp");
  const std::string file = dir / "shared.ini";
  const std::string go = dir / "go";
  const std::string stop = dir / "stop";
  constexpr int kWriters = 8;
  constexpr int kWrites = 200;
  // Unrelated content that every writer must keep.
  ASSERT_TRUE(write_file_atomically(file, "; keep me\r\n[Other]\r\nStay=1\r\n"));

  std::vector<ChildProcess> writers;
  for (int w = 0; w < kWriters; ++w) {
    auto child = spawn_process(PLATFORM_HELPER_PATH,
                               {"write", file, "Race", std::to_string(w),
                                std::to_string(kWrites), go},
                               {}, dir / ("writer" + std::to_string(w) + ".out"));
    ASSERT_TRUE(child);
    writers.push_back(*child);
  }
  auto watcher = spawn_process(PLATFORM_HELPER_PATH, {"watch", file, "Race", stop}, {},
                               dir / "watcher.out");
  ASSERT_TRUE(watcher);
  ASSERT_TRUE(append_to_file(go, "go\n"));

  for (int w = 0; w < kWriters; ++w) {
    std::optional<int> code = wait_process(writers[w], 120000);
    EXPECT_EQ(code, std::optional<int>(0))
        << "writer " << w << ": " << read_whole_file(dir / ("writer" + std::to_string(w) + ".out")).value_or("");
  }
  ASSERT_TRUE(append_to_file(stop, "stop\n"));
  EXPECT_EQ(wait_process(*watcher, 30000), std::optional<int>(0))
      << read_whole_file(dir / "watcher.out").value_or("");

  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < 10; ++k) {
      // The last write of key k is the last n < kWrites with n % 10 == k.
      int last = (kWrites - 1) - ((kWrites - 1 - k) % 10);
      std::string key = "W" + std::to_string(w) + "K" + std::to_string(k);
      EXPECT_EQ(profile_read_int(file, "Race", key, -1), last) << key;
    }
  }
  EXPECT_EQ(profile_key_names(file, "Race").size(), static_cast<size_t>(kWriters * 10));
  EXPECT_EQ(profile_read_int(file, "Other", "Stay", 0), 1);
  std::string content = read_whole_file(file).value_or("");
  EXPECT_EQ(content.rfind("; keep me\r\n", 0), 0u);
  // No temporary file is left behind.
  std::vector<DirEntry> left;
  ASSERT_TRUE(scan_directory(dir / "*.tmp*", left));
  EXPECT_TRUE(left.empty());
}

TEST(ProfileConcurrency, ThreadsOfOneProcessWriteAndReadTogether) {
  unit::TempDir dir("profile-mt");
  const std::string file = dir / "shared.ini";
  constexpr int kWriters = 4;
  constexpr int kWrites = 50;
  std::atomic<bool> done{false};
  std::atomic<int> failures{0};
  std::vector<std::unique_ptr<Thread>> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.push_back(std::make_unique<Thread>());
    ASSERT_TRUE(threads.back()->start([&, w] {
      for (int n = 0; n < kWrites; ++n)
        if (!profile_write_string(file, "T", "Key" + std::to_string(w), std::to_string(n)))
          ++failures;
    }));
  }
  Thread reader;
  ASSERT_TRUE(reader.start([&] {
    while (!done) {
      for (int w = 0; w < kWriters; ++w) {
        int v = profile_read_int(file, "T", "Key" + std::to_string(w), 0);
        if (v < 0 || v >= kWrites) ++failures;
      }
    }
  }));
  for (auto& t : threads) t->join();
  done = true;
  reader.join();
  EXPECT_EQ(failures.load(), 0);
  for (int w = 0; w < kWriters; ++w)
    EXPECT_EQ(profile_read_int(file, "T", "Key" + std::to_string(w), -1), kWrites - 1);
}

}  // namespace
