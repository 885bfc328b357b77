// The local address table offered for the choice of GlobalIP: three slots, filled from
// the host's IPv4 interface addresses.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "manager/shell/local_addresses.h"
#include "platform/sync.h"
#include "tests/manager/support/qt_wait.h"

namespace {

using manager::last_filled_address_index;
using manager::local_address_slot;

class LocalAddressTable : public ::testing::Test {
 protected:
  void feed(std::vector<std::string> addresses) {
    manager::set_local_address_source([addresses] { return addresses; });
  }
  void TearDown() override {
    qt_test::wait_until([] { return !manager::local_address_lookup_running(); });
    manager::set_local_address_source({});
    manager::select_local_address(0);
  }
};

TEST_F(LocalAddressTable, HostWithFiveAddressesKeepsTheFirstTwoAndTheLast) {
  feed({"192.168.1.10", "10.0.0.5", "172.16.0.1", "10.8.0.2", "127.0.0.1"});
  manager::lookup_local_addresses();
  EXPECT_EQ(local_address_slot(0), "192.168.1.10");
  EXPECT_EQ(local_address_slot(1), "10.0.0.5");
  EXPECT_EQ(local_address_slot(2), "127.0.0.1");
  EXPECT_EQ(last_filled_address_index(), 4);
}

TEST_F(LocalAddressTable, AFreshLookupLeavesNoAddressOfTheOldOneBehind) {
  feed({"192.168.1.10", "10.0.0.5", "172.16.0.1"});
  manager::lookup_local_addresses();
  feed({"192.168.7.7"});
  manager::lookup_local_addresses();
  EXPECT_EQ(local_address_slot(0), "192.168.7.7");
  EXPECT_EQ(local_address_slot(1), "");
  EXPECT_EQ(local_address_slot(2), "");
  EXPECT_EQ(last_filled_address_index(), 0);
}

TEST_F(LocalAddressTable, NoAddressClearsOnlyTheSelectedSlot) {
  feed({"192.168.1.10", "10.0.0.5", "172.16.0.1"});
  manager::lookup_local_addresses();
  manager::select_local_address(1);
  feed({});
  manager::lookup_local_addresses();
  EXPECT_EQ(local_address_slot(0), "192.168.1.10");
  EXPECT_EQ(local_address_slot(1), "");
  EXPECT_EQ(local_address_slot(2), "172.16.0.1");
  EXPECT_EQ(last_filled_address_index(), 2);
}

TEST_F(LocalAddressTable, AnAddressTextIsCutToNineteenCharacters) {
  feed({"0123456789abcdefghijKLMN"});
  manager::lookup_local_addresses();
  EXPECT_EQ(local_address_slot(0), "0123456789abcdefghi");
}

TEST_F(LocalAddressTable, IndexesOutsideTheSlotsAreClipped) {
  feed({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
  manager::lookup_local_addresses();
  EXPECT_EQ(local_address_slot(7), "10.0.0.3");
  EXPECT_EQ(local_address_slot(-1), "10.0.0.1");
  manager::select_local_address(9);
  EXPECT_EQ(manager::selected_local_address(), 2);
  manager::select_local_address(-4);
  EXPECT_EQ(manager::selected_local_address(), 0);
}

TEST_F(LocalAddressTable, BackgroundLookupReturnsTheSelectedSlotAndRunsOnceAtATime) {
  feed({"10.0.0.1", "10.0.0.2"});
  manager::lookup_local_addresses();
  manager::select_local_address(1);

  platform::Event release(true);
  std::atomic<int> calls{0};
  manager::set_local_address_source([&] {
    ++calls;
    release.wait_for(harness::scaled_ms(5000));
    return std::vector<std::string>{"192.168.5.1", "192.168.5.2"};
  });
  EXPECT_EQ(manager::lookup_local_addresses_in_background(), "10.0.0.2");
  ASSERT_TRUE(qt_test::wait_until([&] { return calls.load() == 1; }));
  EXPECT_TRUE(manager::local_address_lookup_running());
  EXPECT_EQ(manager::lookup_local_addresses_in_background(), "10.0.0.2");
  release.set();
  ASSERT_TRUE(qt_test::wait_until([] { return !manager::local_address_lookup_running(); }));
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(local_address_slot(1), "192.168.5.2");
}

TEST_F(LocalAddressTable, TheHostsOwnInterfacesEndWithLoopback) {
  manager::set_local_address_source({});
  manager::lookup_local_addresses();
  const int last = last_filled_address_index();
  ASSERT_GE(last, 0);
  EXPECT_EQ(local_address_slot(last), "127.0.0.1");
}

}  // namespace
