// TCP sockets over loopback: connecting, sending, and breaking blocked calls from another
// thread with shutdown_both.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

// A listener on 127.0.0.1 at a port of the system's choice.
struct Listener {
  Listener() {
    s = open_tcp_socket();
    EXPECT_NE(s, kNoSocket);
    EXPECT_TRUE(bind_ipv4(s, {kLoopbackAddress, 0}, true));
    EXPECT_TRUE(listen_socket(s, 0));
    port = local_endpoint(s).value_or(Ipv4Endpoint{}).port;
  }
  ~Listener() { close_socket(s); }
  Socket s = kNoSocket;
  uint16_t port = 0;
};

// A connected pair: client and server ends.
struct Pair {
  Pair() {
    Listener l;
    client = open_tcp_socket();
    EXPECT_TRUE(connect_ipv4(client, {kLoopbackAddress, l.port}, 5000));
    Ipv4Endpoint peer;
    server = accept_connection(l.s, &peer);
    EXPECT_NE(server, kNoSocket);
    EXPECT_EQ(peer.address, kLoopbackAddress);
    EXPECT_EQ(peer.port, local_endpoint(client).value_or(Ipv4Endpoint{}).port);
  }
  ~Pair() {
    close_socket(client);
    close_socket(server);
  }
  Socket client = kNoSocket;
  Socket server = kNoSocket;
};

TEST(Sockets, BytesTravelBothWays) {
  Pair p;
  ASSERT_EQ(send_all(p.client, "hello", 5), 5u);
  char buffer[16];
  ASSERT_EQ(recv_some(p.server, buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  ASSERT_EQ(send_some(p.server, "ok", 2), 2);
  EXPECT_EQ(recv_some_timeout(p.client, buffer, sizeof buffer, 5000), 2);
  EXPECT_EQ(peer_endpoint(p.server)->port, local_endpoint(p.client)->port);
}

TEST(Sockets, ReceiveTimesOutWhenNothingComes) {
  Pair p;
  char buffer[4];
  EXPECT_EQ(recv_some_timeout(p.server, buffer, sizeof buffer, 50), -2);
}

TEST(Sockets, ClosedPeerReadsAsZeroAndSendingToItNeverKillsTheProcess) {
  Pair p;
  close_socket(p.client);
  p.client = kNoSocket;
  char buffer[4];
  EXPECT_EQ(recv_some(p.server, buffer, sizeof buffer), 0);
  std::string block(65536, 'x');
  size_t total = 0;
  for (int i = 0; i < 50; ++i) {
    long n = send_some(p.server, block.data(), block.size());
    if (n < 0) break;
    total += static_cast<size_t>(n);
  }
  EXPECT_LT(total, 50 * block.size());  // the broken connection was reported, no SIGPIPE
}

TEST(Sockets, ShutdownWakesABlockedReceiveInAnotherThread) {
  Pair p;
  Event started(true);
  std::atomic<long> result{99};
  Thread reader;
  ASSERT_TRUE(reader.start([&] {
    started.set();
    char buffer[8];
    result = recv_some(p.server, buffer, sizeof buffer);
  }));
  started.wait();
  sleep_ms(50);
  EXPECT_EQ(result.load(), 99);
  shutdown_both(p.server);
  reader.join();
  EXPECT_LE(result.load(), 0);
}

TEST(Sockets, ShutdownWakesABlockedAcceptInAnotherThread) {
  Listener l;
  Event started(true);
  std::atomic<Socket> accepted{12345};
  Thread acceptor;
  ASSERT_TRUE(acceptor.start([&] {
    started.set();
    accepted = accept_connection(l.s, nullptr);
  }));
  started.wait();
  sleep_ms(50);
  EXPECT_EQ(accepted.load(), 12345);
  shutdown_both(l.s);
  acceptor.join();
  EXPECT_EQ(accepted.load(), kNoSocket);
}

TEST(Sockets, ConnectToAClosedPortFails) {
  uint16_t port;
  {
    Listener l;
    port = l.port;
  }
  Socket s = open_tcp_socket();
  EXPECT_FALSE(connect_ipv4(s, {kLoopbackAddress, port}, 2000));
  close_socket(s);
}

TEST(Sockets, AConnectedSocketIsBlockingAgain) {
  Pair p;
  char buffer[4];
  // A non-blocking socket would answer at once with an error instead of timing out.
  EXPECT_EQ(recv_some_timeout(p.client, buffer, sizeof buffer, 30), -2);
  ASSERT_EQ(send_all(p.server, "z", 1), 1u);
  EXPECT_EQ(recv_some(p.client, buffer, sizeof buffer), 1);
}

TEST(Sockets, BindingAPortInUseFails) {
  Listener l;
  Socket s = open_tcp_socket();
  EXPECT_FALSE(bind_ipv4(s, {kLoopbackAddress, l.port}, false));
  close_socket(s);
}

TEST(Sockets, SendFileRangeSendsTheAskedBytes) {
  unit::TempDir dir("sendfile");
  std::string content;
  for (int i = 0; i < 100000; ++i) content += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(write_file_atomically(dir / "f", content));
  File f = File::open_read(dir / "f");
  ASSERT_TRUE(f.is_open());
  Pair p;
  std::string received;
  Thread reader;
  ASSERT_TRUE(reader.start([&] {
    char buffer[8192];
    for (;;) {
      long n = recv_some(p.client, buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
  }));
  EXPECT_EQ(send_file_range(p.server, f.descriptor(), 1000, 50000), 50000);
  shutdown_both(p.server);
  reader.join();
  EXPECT_EQ(received, content.substr(1000, 50000));
}

TEST(Ipv4Text, FormatsAndParsesDottedQuads) {
  EXPECT_EQ(format_ipv4(0x7F000001), "127.0.0.1");
  EXPECT_EQ(format_ipv4(0xC0A80A01), "192.168.10.1");
  EXPECT_EQ(parse_ipv4("192.168.10.1"), std::optional<uint32_t>(0xC0A80A01));
  EXPECT_EQ(parse_ipv4("0.0.0.0"), std::optional<uint32_t>(0));
}

TEST(Ipv4Text, FollowsTheClassicParserRules) {
  EXPECT_EQ(parse_ipv4("127.1"), std::optional<uint32_t>(0x7F000001));
  EXPECT_EQ(parse_ipv4("10.1.2"), std::optional<uint32_t>(0x0A010002));
  EXPECT_EQ(parse_ipv4("0x7f.0.0.1"), std::optional<uint32_t>(0x7F000001));
  EXPECT_EQ(parse_ipv4("010.0.0.1"), std::optional<uint32_t>(0x08000001));  // octal
  EXPECT_EQ(parse_ipv4("255.255.255.255"), std::nullopt);
  EXPECT_EQ(parse_ipv4("256.1.1.1"), std::nullopt);
  EXPECT_EQ(parse_ipv4("1.2.3.4.5"), std::nullopt);
  EXPECT_EQ(parse_ipv4("abc"), std::nullopt);
  EXPECT_EQ(parse_ipv4(""), std::nullopt);
  EXPECT_EQ(parse_ipv4(std::string_view("1.2.3.4\0junk", 12)), std::nullopt);
}

// The canonical text of an IPv6 address, from its strict parse.
std::string canonical(std::string_view text) {
  Endpoint e;
  e.ipv6 = true;
  e.address6 = parse_ipv6(text).value();
  return format_address(e);
}

TEST(Ipv6Text, CanonicalFormAndStrictParse) {
  EXPECT_EQ(canonical("2001:0DB8:0000:0000:0000:0000:0000:0005"), "2001:db8::5");
  EXPECT_EQ(canonical("::1"), "::1");
  EXPECT_EQ(canonical("::"), "::");
  EXPECT_EQ(canonical("2001:db8:0:1:0:0:0:1"), "2001:db8:0:1::1");   // the longest run
  EXPECT_EQ(canonical("2001:db8:0:0:1:0:0:1"), "2001:db8::1:0:0:1");  // the first of equals
  EXPECT_EQ(canonical("2001:db8:0:1:1:1:1:1"), "2001:db8:0:1:1:1:1:1"); // one zero group stays
  EXPECT_EQ(canonical("fe80::"), "fe80::");
  for (const char* bad : {"::1%lo", "127.0.0.1", "1::2::3", ":::", "g::1", ""})
    EXPECT_EQ(parse_ipv6(bad), std::nullopt) << bad;
}

TEST(Ipv6Listener, DualStackShowsIpv4PeersAsIpv4AndIpv6PeersAsIpv6) {
  if (!ipv6_available()) GTEST_SKIP() << "IPv6 is switched off in this kernel";
  Socket l = open_listener("", 0);
  ASSERT_NE(l, kNoSocket);
  const uint16_t port = local_endpoint(l).value().port;
  Endpoint loopback6;
  loopback6.ipv6 = true;
  loopback6.address6[15] = 1;
  loopback6.port = port;
  for (const Endpoint& target : {Endpoint{kLoopbackAddress, port}, loopback6}) {
    Socket client = open_tcp_socket_for(target);
    ASSERT_TRUE(connect_ipv4(client, target, 5000));
    Endpoint peer;
    Socket server = accept_connection(l, &peer);
    ASSERT_NE(server, kNoSocket);
    EXPECT_EQ(format_address(peer), target.ipv6 ? "::1" : "127.0.0.1");
    EXPECT_EQ(format_address(peer_endpoint(server).value()), format_address(peer));
    close_socket(server);
    close_socket(client);
  }
  close_socket(l);
  EXPECT_EQ(open_listener("::1%lo", 0), kNoSocket);
  EXPECT_EQ(open_listener("localhost", 0), kNoSocket);
  Socket only4 = open_listener("127.0.0.1", 0);
  EXPECT_NE(only4, kNoSocket);
  close_socket(only4);
}

TEST(Names, ResolvesLocalhost) {
  EXPECT_EQ(resolve_host_ipv4("localhost"), std::optional<uint32_t>(kLoopbackAddress));
  EXPECT_EQ(service_port("no-such-service", "tcp"), 0);
}

}  // namespace
