// Byte counts and rates as operators read them.
#include "shared/size_text.h"

#include <gtest/gtest.h>

using shared::rate_text;
using shared::size_text;

namespace {

TEST(SizeText, WholeBytesUpTo1023) {
  EXPECT_EQ(size_text(0), "0B");
  EXPECT_EQ(size_text(512), "512B");
  EXPECT_EQ(size_text(1023), "1023B");
  EXPECT_EQ(size_text(100.9), "100B");
  EXPECT_EQ(size_text(-5000), "-5000B");
}

TEST(SizeText, KilobytesShortenedToFourCharacters) {
  EXPECT_EQ(size_text(1023.5), "0.99KB");
  EXPECT_EQ(size_text(1024), "1.00KB");
  EXPECT_EQ(size_text(1536), "1.50KB");
  EXPECT_EQ(size_text(10 * 1024 + 512), "10.5KB");
  EXPECT_EQ(size_text(1023.99 * 1024), "1023KB");
  EXPECT_EQ(size_text(1048575), "1023KB");
}

TEST(SizeText, MegabytesAndGigabytes) {
  EXPECT_EQ(size_text(1048576), "1.00MB");
  EXPECT_EQ(size_text(10.0 * 1048576), "10.0MB");
  EXPECT_EQ(size_text(117.7 * 1048576), "117MB");
  EXPECT_EQ(size_text(1073741823), "1023MB");
  EXPECT_EQ(size_text(1073741824), "1.00GB");
  EXPECT_EQ(size_text(2.5 * 1073741824), "2.50GB");
  EXPECT_EQ(size_text(5000.0 * 1073741824), "5000GB");
}

TEST(RateText, DropsTheLastCharacterAndAddsBps) {
  EXPECT_EQ(rate_text(512), "512bps");
  EXPECT_EQ(rate_text(500), "500bps");
  EXPECT_EQ(rate_text(1536), "1.50Kbps");
  EXPECT_EQ(rate_text(20480), "20.0Kbps");
  EXPECT_EQ(rate_text(204800), "200Kbps");
  EXPECT_EQ(rate_text(12288), "12.0Kbps");
}

}  // namespace
