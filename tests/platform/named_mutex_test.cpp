// The machine-wide name held by a live process.
#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

std::string unique_name(const char* tag) {
  return std::string("velmoraftpd-test:") + tag + ":" + std::to_string(current_process_id());
}

TEST(NamedMutex, ExistsWhileHeldAndRefusesASecondHolder) {
  const std::string name = unique_name("own");
  EXPECT_FALSE(named_mutex_exists(name));
  {
    NamedMutex held;
    ASSERT_TRUE(held.create(name));
    EXPECT_TRUE(named_mutex_exists(name));
    NamedMutex second;
    EXPECT_FALSE(second.create(name));
  }
  EXPECT_FALSE(named_mutex_exists(name));
}

TEST(NamedMutex, VanishesWhenTheHoldingProcessDies) {
  unit::TempDir dir("mutex");
  const std::string name = unique_name("child");
  auto child = spawn_process(PLATFORM_HELPER_PATH, {"hold-name", name, dir / "ready"}, {});
  ASSERT_TRUE(child);
  for (int i = 0; i < 2000 && !path_exists(dir / "ready"); ++i) sleep_ms(5);
  ASSERT_TRUE(path_exists(dir / "ready"));
  EXPECT_TRUE(named_mutex_exists(name));
  NamedMutex mine;
  EXPECT_FALSE(mine.create(name));
  signal_process(*child, kSignalKill);
  ASSERT_TRUE(wait_process(*child, 10000));
  EXPECT_FALSE(named_mutex_exists(name));
  EXPECT_TRUE(mine.create(name));
}

}  // namespace
