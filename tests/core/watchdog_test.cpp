// The watchdog's arithmetic on the 32-bit millisecond tick, including its wrap.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/listener.h"

namespace {

using core::connect_expired;
using core::idle_expired;
using core::transfer_rate_bps;

TEST(Watchdog, IdleLimitIsPassedOnlyAfterMoreThanItsMinutes) {
  EXPECT_FALSE(idle_expired(61000, 1000, 1));  // exactly one minute
  EXPECT_TRUE(idle_expired(61001, 1000, 1));
  EXPECT_FALSE(idle_expired(1000 + 5 * 60000, 1000, 5));
  EXPECT_TRUE(idle_expired(1001 + 5 * 60000, 1000, 5));
}

TEST(Watchdog, IdleLimitSurvivesTheWrapOfTheTick) {
  uint32_t last = 0xFFFFF000u;  // 4096 ms before the wrap
  EXPECT_FALSE(idle_expired(0x00000100u, last, 1));  // 4352 ms later
  EXPECT_TRUE(idle_expired(last + 60001u, last, 1));  // wraps to a small value
  EXPECT_LT(last + 60001u, last);
}

TEST(Watchdog, NoIdleLimitWhenZeroOrNegative) {
  EXPECT_FALSE(idle_expired(0xFFFFFFFFu, 0, 0));
  EXPECT_FALSE(idle_expired(0xFFFFFFFFu, 0, -1));
}

TEST(Watchdog, LargeMinuteCountsDoNotOverflowIntoAShortLimit) {
  // 71583 minutes times 60000 exceeds 32 bits; the limit must stay long, not wrap short.
  EXPECT_FALSE(idle_expired(120000, 0, 71583));
  EXPECT_FALSE(connect_expired(120000, 0, 71583));
}

TEST(Watchdog, ConnectLimitCountsFromTheConnectTickAcrossTheWrap) {
  uint32_t connected = 0xFFFF0000u;
  EXPECT_FALSE(connect_expired(connected + 5 * 60000u, connected, 5));
  EXPECT_TRUE(connect_expired(connected + 5 * 60000u + 1, connected, 5));
  EXPECT_FALSE(connect_expired(connected + 10 * 60000u, connected, 0));
}

TEST(Watchdog, RateUsesWholeSecondsAndAtLeastOne) {
  EXPECT_EQ(transfer_rate_bps(500, 0, 1000), 8000u);        // under a second counts as one
  EXPECT_EQ(transfer_rate_bps(1999, 0, 1000), 8000u);       // 1.999 s is one whole second
  EXPECT_EQ(transfer_rate_bps(10000, 0, 1000000), 800000u);
  EXPECT_EQ(transfer_rate_bps(0, 0, 0), 0u);
}

TEST(Watchdog, RateSurvivesTheWrapOfTheTick) {
  EXPECT_EQ(transfer_rate_bps(1000, 0xFFFFFC18u, 2000), 8000u);  // 2 s across the wrap
}

TEST(Watchdog, RateOfALargeTransferIsNotTruncatedTo32Bits) {
  // 600 MB in 10 s: eight times the byte count does not fit in 32 bits.
  EXPECT_EQ(transfer_rate_bps(10000, 0, 600000000u), 480000000u);
  // A rate beyond 32 bits is shown as the largest value rather than a wrapped one.
  EXPECT_EQ(transfer_rate_bps(500, 0, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
