// PORT and PASV as a client sees them: the passive port range, the announced address,
// refused data addresses, active connections and the 425 of a missing data connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/netif.h"
#include "platform/socket.h"
#include "tests/fileservice/http_test_server.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Keys;
using harness::Server;
using harness::Site;

constexpr const char* kPortOk = "200 PORT command successful.\r\n";
constexpr const char* kSyntaxError = "500 Syntax error, command unrecognized.\r\n";

// A listener of the test on 127.0.0.x that the server's active connection reaches.
class ActiveListener {
 public:
  explicit ActiveListener(uint32_t address = platform::kLoopbackAddress, uint16_t port = 0) {
    socket_ = platform::open_tcp_socket();
    if (platform::bind_ipv4(socket_, {address, port}, true) && platform::listen_socket(socket_, 4)) {
      if (auto local = platform::local_endpoint(socket_)) port_ = local->port;
    }
  }
  ~ActiveListener() { platform::close_socket(socket_); }
  uint16_t port() const { return port_; }
  // The PORT argument that names this listener with the given address text.
  std::string argument(const std::string& address_commas) const {
    return address_commas + "," + std::to_string(port_ / 256) + "," + std::to_string(port_ % 256);
  }
  // Takes the connection the server made (already queued) and reads it to its end.
  std::string take(platform::Ipv4Endpoint* peer = nullptr) {
    platform::Socket data = platform::accept_connection(socket_, peer);
    if (data == platform::kNoSocket) return "<no connection>";
    return harness::read_data(data);
  }

 private:
  platform::Socket socket_ = platform::kNoSocket;
  uint16_t port_ = 0;
};

// Three consecutive ports that are free on every address a moment ago.
uint16_t free_port_range() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    uint16_t base = harness::free_port();
    if (base > 65000) continue;
    bool free = true;
    for (uint16_t p = base; p < base + 3 && free; ++p) {
      platform::Socket probe = platform::open_tcp_socket();
      free = platform::bind_ipv4(probe, {platform::kAnyAddress, p}, false);
      platform::close_socket(probe);
    }
    if (free) return base;
  }
  return 0;
}

class DataConnections : public ::testing::Test {
 protected:
  void start(Keys user_keys = {}, const std::string& from = "127.0.0.1") {
    site.add_user("alice", user_keys);
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(admin.connect(site.admin_port()));
    ASSERT_TRUE(client.connect(site.ftp_port(), from));
    ASSERT_TRUE(client.login("alice", "alice"));
  }

  // LIST in active mode to listener: the replies, and the listing in *data.
  std::string active_list(ActiveListener& listener, std::string* data) {
    std::string replies = client.command("LIST");
    if (replies != kOpening) return replies;
    *data = listener.take();
    return replies + client.reply(10000);
  }

  Site site{"dataconn"};
  std::unique_ptr<Server> server;
  AdminClient admin;
  FtpClient client;
};

TEST_F(DataConnections, PortAndPasvBeforeLoginAreRefused) {
  site.add_user("alice");
  Server running(site);
  FtpClient c;
  ASSERT_TRUE(c.connect(site.ftp_port()));
  ASSERT_EQ(c.reply().substr(0, 3), "220");
  EXPECT_EQ(c.command("PORT 127,0,0,1,4,1"), kNotLoggedIn);
  EXPECT_EQ(c.command("PASV"), kNotLoggedIn);
  EXPECT_EQ(c.command("LIST"), kNotLoggedIn);
  EXPECT_EQ(c.command("NLST"), kNotLoggedIn);
}

TEST_F(DataConnections, PassivePortsCountThroughTheRangeAndWrap) {
  uint16_t low = free_port_range();
  ASSERT_NE(low, 0);
  site.set("System", "PasvPortl", std::to_string(low));
  site.set("System", "PasvPorth", std::to_string(low + 2));
  start();
  std::vector<int> ports;
  for (int i = 0; i < 4; ++i) {
    auto endpoint = client.pasv();
    ASSERT_TRUE(endpoint) << "PASV number " << i;
    ports.push_back(endpoint->port);
  }
  EXPECT_EQ(ports, (std::vector<int>{low + 1, low + 2, low, low + 1}));
}

TEST_F(DataConnections, PassivePortCounterIsSharedBySessions) {
  uint16_t low = free_port_range();
  ASSERT_NE(low, 0);
  site.set("System", "PasvPortl", std::to_string(low));
  site.set("System", "PasvPorth", std::to_string(low + 2));
  start();
  FtpClient second;
  ASSERT_TRUE(second.connect(site.ftp_port()));
  ASSERT_TRUE(second.login("alice", "alice"));
  auto first = client.pasv();
  auto other = second.pasv();
  ASSERT_TRUE(first && other);
  EXPECT_EQ(first->port, low + 1);
  EXPECT_EQ(other->port, low + 2);
}

TEST_F(DataConnections, PassiveListingWorksOnThePlatformChosenPort) {
  site.write_file("home/a.txt", "hello");
  start();
  std::string replies;
  auto data = client.download("LIST", &replies);
  ASSERT_TRUE(data);
  EXPECT_NE(data->find(" a.txt\r\n"), std::string::npos) << *data;
  EXPECT_EQ(replies, std::string(kOpening) + kComplete);
}

TEST_F(DataConnections, PassiveReplyNamesTheConfiguredLocalAddressSlot) {
  std::vector<std::string> addresses = platform::local_ipv4_addresses();
  ASSERT_FALSE(addresses.empty());
  site.set("System", "GlobalIP", "1");
  start();
  // Slot 1 holds the second address; a host with one address falls back to slot 0.
  std::string expected = addresses.size() > 1 ? addresses[1] : addresses[0];
  auto endpoint = client.pasv();
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(platform::format_ipv4(endpoint->address), expected);
}

TEST_F(DataConnections, PassiveReplyUsesSlotZeroWhenTheChosenSlotIsEmpty) {
  std::vector<std::string> addresses = platform::local_ipv4_addresses();
  if (addresses.size() > 2) GTEST_SKIP() << "this host fills every address slot";
  site.set("System", "GlobalIP", "7");  // clamped to slot 2, which stays empty here
  start();
  auto endpoint = client.pasv();
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(platform::format_ipv4(endpoint->address), addresses[0]);
}

TEST_F(DataConnections, PassiveReplyHasTheExactForm) {
  start();
  std::string answer = client.command("PASV");
  ASSERT_EQ(answer.rfind("227 Entering Passive Mode (", 0), 0u) << answer;
  EXPECT_EQ(answer.substr(answer.size() - 4), ").\r\n");
  EXPECT_EQ(std::count(answer.begin(), answer.end(), ','), 5);
}

TEST_F(DataConnections, AccountWithPassiveRefusedGets550AndTheOperatorIsTold) {
  start({{"PASV", "1"}});
  EXPECT_EQ(client.command("PASV"), "550 You can't use PASV.\r\n");
  auto event = admin.wait_for(24);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->snapshot.message, "パッシブモードを拒否しました。");
}

TEST_F(DataConnections, ListingWithoutPortOrPasvFailsWith425) {
  start();
  EXPECT_EQ(client.command("LIST"), kCantOpen);
  EXPECT_EQ(client.command("NLST"), kCantOpen);
  EXPECT_EQ(client.command("NOOP").substr(0, 3), "200");
}

TEST_F(DataConnections, EachPassiveConnectionServesOneTransfer) {
  start();
  ASSERT_TRUE(client.download("LIST"));
  EXPECT_EQ(client.command("LIST"), kCantOpen);
  EXPECT_TRUE(client.download("LIST"));
}

TEST_F(DataConnections, ActiveListingConnectsToTheClientsListener) {
  site.write_file("home/a.txt", "hello");
  start();
  ActiveListener listener;
  ASSERT_NE(listener.port(), 0);
  EXPECT_EQ(client.command("PORT " + listener.argument("127,0,0,1")), kPortOk);
  std::string data;
  EXPECT_EQ(active_list(listener, &data), std::string(kOpening) + kComplete);
  EXPECT_NE(data.find(" a.txt\r\n"), std::string::npos) << data;
  // The address stays in force: a second listing goes to the same listener.
  data.clear();
  EXPECT_EQ(active_list(listener, &data), std::string(kOpening) + kComplete);
  EXPECT_NE(data.find(" a.txt\r\n"), std::string::npos) << data;
}

TEST_F(DataConnections, ActiveConnectionThatIsRefusedGives425) {
  start();
  uint16_t port = harness::free_port();  // nothing listens there
  EXPECT_EQ(client.command("PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256)),
            kPortOk);
  EXPECT_EQ(client.command("LIST"), kCantOpen);
}

TEST_F(DataConnections, PortToAThirdHostIsRefused) {
  start();
  ActiveListener listener(0x7F000002);
  EXPECT_EQ(client.command("PORT " + listener.argument("127,0,0,2")), kSyntaxError);
  // The refused PORT did not change the mode: still no data address.
  EXPECT_EQ(client.command("LIST"), kCantOpen);
}

TEST_F(DataConnections, MalformedPortArgumentsAreRefused) {
  start();
  for (const char* bad : {"PORT", "PORT 127,0,0,1", "PORT 127,0,0,1,4", "PORT 127.0.0.1,4,1",
                          "PORT 1234,123,123,123,4,1", "PORT 127,0,0,1,0000000004,1"}) {
    EXPECT_EQ(client.command(bad), kSyntaxError) << bad;
  }
}

TEST_F(DataConnections, ClientAddressIsUsedWhenTheSettingAllowsIt) {
  site.set("System", "UseClientGlobalIp", "1");
  start();
  ActiveListener listener;
  ASSERT_NE(listener.port(), 0);
  // A client behind address translation names its private address; the server connects
  // to the control connection's peer instead.
  EXPECT_EQ(client.command("PORT " + listener.argument("10,0,0,5")), kPortOk);
  std::string data;
  EXPECT_EQ(active_list(listener, &data), std::string(kOpening) + kComplete);
}

TEST_F(DataConnections, ClientAtASecondLoopbackAddressGetsItsOwnDataConnection) {
  ActiveListener listener(0x7F000002);
  ASSERT_NE(listener.port(), 0);
  start({}, "127.0.0.2");
  EXPECT_EQ(client.command("PORT " + listener.argument("127,0,0,1")), kSyntaxError);
  EXPECT_EQ(client.command("PORT " + listener.argument("127,0,0,2")), kPortOk);
  std::string data;
  EXPECT_EQ(active_list(listener, &data), std::string(kOpening) + kComplete);
}

TEST_F(DataConnections, HighPortByteKeepsOnlyItsLowEightBits) {
  start();
  // 300 AND 0xFF = 44: the server connects to port 44 * 256 + low.
  std::unique_ptr<ActiveListener> listener;
  for (int low = 0; low < 256 && !listener; ++low) {
    auto candidate = std::make_unique<ActiveListener>(platform::kLoopbackAddress, 44 * 256 + low);
    if (candidate->port() == 44 * 256 + low) listener = std::move(candidate);
  }
  ASSERT_TRUE(listener);
  int low = listener->port() % 256;
  EXPECT_EQ(client.command("PORT 127,0,0,1,300," + std::to_string(low)), kPortOk);
  std::string data;
  EXPECT_EQ(active_list(*listener, &data), std::string(kOpening) + kComplete);
}

TEST_F(DataConnections, PortAfterPasvSwitchesToActiveMode) {
  start();
  ASSERT_TRUE(client.pasv());
  ActiveListener listener;
  EXPECT_EQ(client.command("PORT " + listener.argument("127,0,0,1")), kPortOk);
  std::string data;
  EXPECT_EQ(active_list(listener, &data), std::string(kOpening) + kComplete);
}

TEST_F(DataConnections, PublicClientIsToldTheGlobalIpAndALocalClientTheLocalAddress) {
  using namespace std::string_literals;
  testing_http::HttpTestServer lookup("HTTP/1.0 200 OK\r\n\r\nglobal_ip\0"s + "203.0.113.9\0\0"s);
  site.set("System", "GlobalIpUrl", lookup.url());
  site.set("System", "UseGlobalIp", "1");
  start({}, "127.0.0.2");
  ASSERT_TRUE(lookup.wait_served(1));
  // The lookup thread stores the answer a moment after the service has sent it.
  std::string announced;
  for (int i = 0; i < 50 && announced != "203.0.113.9"; ++i) {
    auto endpoint = client.pasv();
    ASSERT_TRUE(endpoint);
    announced = platform::format_ipv4(endpoint->address);
    if (announced != "203.0.113.9") platform::sleep_ms(50);
  }
  EXPECT_EQ(announced, "203.0.113.9");

  FtpClient local;
  ASSERT_TRUE(local.connect(site.ftp_port(), "127.0.0.1"));
  ASSERT_TRUE(local.login("alice", "alice"));
  auto endpoint = local.pasv();
  ASSERT_TRUE(endpoint);
  EXPECT_EQ(platform::format_ipv4(endpoint->address), platform::local_ipv4_addresses().at(0));
}

}  // namespace

namespace {

// The port of a 229 reply "(|||port|)", 0 when there is none.
uint16_t extended_passive_port(const std::string& reply) {
  size_t open = reply.find("(|||");
  if (reply.rfind("229 ", 0) != 0 || open == std::string::npos) return 0;
  return static_cast<uint16_t>(std::stoi(reply.substr(open + 4)));
}

TEST_F(DataConnections, ExtendedPassiveAndActiveModesCarryListings) {
  start();
  uint16_t port = extended_passive_port(client.command("EPSV"));
  ASSERT_NE(port, 0);
  platform::Socket data = platform::open_tcp_socket();
  ASSERT_TRUE(platform::connect_ipv4(data, {platform::kLoopbackAddress, port}));
  EXPECT_EQ(client.command("NLST"), kOpening);
  EXPECT_EQ(harness::read_data(data), "");  // the served folder is empty
  EXPECT_EQ(client.reply(10000), kComplete);
  EXPECT_NE(extended_passive_port(client.command("EPSV 1")), 0);

  ActiveListener listener;
  ASSERT_NE(listener.port(), 0);
  EXPECT_EQ(client.command("EPRT |1|127.0.0.1|" + std::to_string(listener.port()) + "|"),
            "200 EPRT command successful.\r\n");
  std::string listing;
  EXPECT_EQ(active_list(listener, &listing), std::string(kOpening) + kComplete);

  // After EPSV ALL only EPSV sets up data connections.
  EXPECT_EQ(client.command("EPSV ALL"), "200 EPSV ALL ok.\r\n");
  for (const char* line : {"PASV", "PORT 127,0,0,1,4,1", "EPRT |1|127.0.0.1|1025|"})
    EXPECT_EQ(client.command(line), "503 Only EPSV is allowed after EPSV ALL.\r\n") << line;
  EXPECT_NE(extended_passive_port(client.command("EPSV")), 0);
}

// Bad EPRT and EPSV arguments are answered and change nothing: the active address of the
// last good EPRT stays in force.
TEST_F(DataConnections, ExtendedCommandsRefuseBadArguments) {
  start({{"PASV", "1"}});
  ActiveListener listener;
  ASSERT_NE(listener.port(), 0);
  std::string good = "EPRT |1|127.0.0.1|" + std::to_string(listener.port()) + "|";
  ASSERT_EQ(client.command(good), "200 EPRT command successful.\r\n");
  const std::string bad_syntax = "501 Syntax error in parameters or arguments.\r\n";
  for (const char* line : {"EPRT", "EPRT |1|127.0.0.1|", "EPRT |1|127.0.0.1|0|", "EPRT |1|127.0.0.1|65536|",
                           "EPRT |x|127.0.0.1|1025|", "EPRT |1||1025|", "EPRT 1|127.0.0.1|1025|",
                           "EPRT |1|127.0.0.1|1025|5|", "EPSV 1 2", "EPSV x", "EPSV al"})
    EXPECT_EQ(client.command(line), bad_syntax) << line;
  EXPECT_EQ(client.command("EPRT |1|" + std::string(46, '1') + "|1025|"), bad_syntax);
  EXPECT_EQ(client.command("EPRT |2|::1|1025|"), "522 Network protocol not supported, use (1)\r\n");
  EXPECT_EQ(client.command("EPSV 2"), "522 Network protocol not supported, use (1)\r\n");
  for (const char* line : {"EPRT |1|127.0.0.2|1025|", "EPRT |1|10.0.0.5|1025|", "EPRT !1!127.0.0.01!1025!"})
    EXPECT_EQ(client.command(line), kSyntaxError) << line;
  // The account may not use passive mode: EPSV is refused like PASV.
  EXPECT_EQ(client.command("EPSV"), "550 You can't use PASV.\r\n");
  std::string listing;
  EXPECT_EQ(active_list(listener, &listing), std::string(kOpening) + kComplete);
}

}  // namespace
