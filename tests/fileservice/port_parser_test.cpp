// The PORT argument parser and the choice of the address PASV announces.
#include <gtest/gtest.h>

#include "fileservice/data_connection.h"
#include "platform/socket.h"

namespace {

using fileservice::parse_port_argument;

constexpr uint32_t kTenZeroZeroSix = 0x0A000006;

TEST(PortArgument, SameAddressAsTheControlConnectionGivesTheEndpoint) {
  auto endpoint = parse_port_argument("127,0,0,1,4,1", "127.0.0.1", false);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->address, platform::kLoopbackAddress);
  EXPECT_EQ(endpoint->port, 4 * 256 + 1);
}

TEST(PortArgument, EmptyArgumentFails) { EXPECT_FALSE(parse_port_argument("", "127.0.0.1", false)); }

TEST(PortArgument, ThirdHostIsRefused) {
  EXPECT_FALSE(parse_port_argument("10,0,0,5,4,1", "10.0.0.6", false));
  EXPECT_FALSE(parse_port_argument("127,0,0,2,4,1", "127.0.0.1", false));
}

TEST(PortArgument, ZeroPaddedAddressDoesNotEqualTheClientAddress) {
  EXPECT_FALSE(parse_port_argument("192,168,001,002,4,1", "192.168.1.2", false));
}

TEST(PortArgument, ClientAddressReplacesTheArgumentsAddressWhenAllowed) {
  auto endpoint = parse_port_argument("10,0,0,5,4,1", "10.0.0.6", true);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->address, kTenZeroZeroSix);
  EXPECT_EQ(endpoint->port, 1025);
}

TEST(PortArgument, PortNumbersKeepOnlyTheirLowByte) {
  auto endpoint = parse_port_argument("127,0,0,1,300,2", "127.0.0.1", false);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->port, 44 * 256 + 2);
  endpoint = parse_port_argument("127,0,0,1,1,257", "127.0.0.1", false);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->port, 1 * 256 + 1);
}

TEST(PortArgument, NonNumericPortTextCountsAsZero) {
  auto endpoint = parse_port_argument("127,0,0,1,x,7", "127.0.0.1", false);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->port, 7);
}

TEST(PortArgument, ArgumentEndingBeforeTheFourthCommaFails) {
  EXPECT_FALSE(parse_port_argument("127,0,0,1", "127.0.0.1", false));
  EXPECT_FALSE(parse_port_argument("127,0,0", "127.0.0.1", true));
}

TEST(PortArgument, MissingFifthCommaFails) {
  EXPECT_FALSE(parse_port_argument("127,0,0,1,4", "127.0.0.1", false));
  EXPECT_FALSE(parse_port_argument("127,0,0,1,", "127.0.0.1", false));
}

TEST(PortArgument, AddressPartIsBoundedToFifteenCharacters) {
  // The address text is ignored with the client-address switch, so only the bound decides.
  EXPECT_TRUE(parse_port_argument("123,123,123,123,4,1", "127.0.0.1", true));
  EXPECT_FALSE(parse_port_argument("1234,123,123,123,4,1", "127.0.0.1", true));
}

TEST(PortArgument, HighByteTextIsBoundedToNineCharacters) {
  auto endpoint = parse_port_argument("127,0,0,1,000000004,1", "127.0.0.1", false);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->port, 1025);
  EXPECT_FALSE(parse_port_argument("127,0,0,1,0000000004,1", "127.0.0.1", false));
}

TEST(PortArgument, LowByteReadsAtMostEightCharacters) {
  // "000000012" read as its first eight characters is 1.
  auto endpoint = parse_port_argument("127,0,0,1,0,000000012", "127.0.0.1", false);
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(endpoint->port, 1);
}

TEST(PortArgument, AddressThatIsNoAddressFails) {
  EXPECT_FALSE(parse_port_argument("255,255,255,255,4,1", "255.255.255.255", false));
  EXPECT_FALSE(parse_port_argument("a,b,c,d,4,1", "a.b.c.d", false));
}

TEST(PrivateClientAddress, PrivateRangesAndExactLoopbackAreLocal) {
  using fileservice::is_private_client_address;
  EXPECT_TRUE(is_private_client_address("10.1.2.3"));
  EXPECT_TRUE(is_private_client_address("172.16.0.1"));
  EXPECT_TRUE(is_private_client_address("172.31.255.1"));
  EXPECT_TRUE(is_private_client_address("192.168.0.9"));
  EXPECT_TRUE(is_private_client_address("127.0.0.1"));
  EXPECT_FALSE(is_private_client_address("127.0.0.2"));
  EXPECT_FALSE(is_private_client_address("172.15.0.1"));
  EXPECT_FALSE(is_private_client_address("172.32.0.1"));
  EXPECT_FALSE(is_private_client_address("192.169.0.1"));
  EXPECT_FALSE(is_private_client_address("11.0.0.1"));
}

TEST(PassiveAnnounceAddress, PublicClientIsToldTheGlobalIp) {
  using fileservice::passive_announce_address;
  EXPECT_EQ(passive_announce_address("127.0.0.2", true, "203.0.113.7", "192.168.0.2"), "203.0.113.7");
  EXPECT_EQ(passive_announce_address("127.0.0.1", true, "203.0.113.7", "192.168.0.2"), "192.168.0.2");
  EXPECT_EQ(passive_announce_address("127.0.0.2", false, "203.0.113.7", "192.168.0.2"), "192.168.0.2");
  EXPECT_EQ(passive_announce_address("127.0.0.2", true, std::nullopt, "192.168.0.2"), "192.168.0.2");
}

}  // namespace
