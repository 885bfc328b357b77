// Interface addresses, and the hardware address read from a sysfs-like folder.
#include "platform/netif.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/process.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

class HardwareAddress : public ::testing::Test {
 protected:
  void SetUp() override { set_environment_variable("VELMORAFTPD_NET_SYSFS", dir_.path()); }
  void TearDown() override { set_environment_variable("VELMORAFTPD_NET_SYSFS", std::nullopt); }
  void add(const std::string& name, const std::string& address) {
    ASSERT_EQ(make_directory(dir_ / name), MakeDirResult::Created);
    ASSERT_TRUE(write_file_atomically(dir_ / (name + "/address"), address));
  }
  unit::TempDir dir_{"sysfs"};
};

TEST_F(HardwareAddress, FirstNonLoopbackInterfaceByNameAsTwelveHexDigits) {
  add("lo", "00:00:00:00:00:00\n");
  add("wlan0", "11:22:33:44:55:66\n");
  add("eth1", "0a:1b:2c:3d:4e:5f\n");
  add("dummy0", "00:00:00:00:00:00\n");
  EXPECT_EQ(first_hardware_address(), std::optional<std::string>("0A1B2C3D4E5F"));
}

TEST_F(HardwareAddress, NoneInAnEmptyTree) { EXPECT_EQ(first_hardware_address(), std::nullopt); }

TEST_F(HardwareAddress, NoneWhenOnlyLoopbackAndZeroOrOddAddresses) {
  add("lo", "00:00:00:00:00:01\n");
  add("tun0", "\n");
  add("sit0", "00:00:00:00\n");
  add("veth", "00:00:00:00:00:00\n");
  EXPECT_EQ(first_hardware_address(), std::nullopt);
}

TEST(LocalAddresses, LoopbackComesLast) {
  std::vector<std::string> list = local_ipv4_addresses();
  ASSERT_FALSE(list.empty());
  size_t loopback = list.size();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].rfind("127.", 0) == 0 && loopback == list.size()) loopback = i;
  ASSERT_LT(loopback, list.size());
  for (size_t i = loopback; i < list.size(); ++i) EXPECT_EQ(list[i].rfind("127.", 0), 0u) << list[i];
}

}  // namespace
