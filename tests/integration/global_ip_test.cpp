// The global-IP lookup as the lookup service, PASV clients and the Manager see it: the
// request the Core sends at start, the address PASV announces afterwards, the notices
// it passes on, and a stop that does not wait for a silent service.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "tests/fileservice/http_test_server.h"
#include "tests/support/harness.h"

namespace {

using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;
using testing_http::HttpTestServer;
using testing_http::lookup_response;

void pause_ms(int ms) {
  platform::Event never(true);
  never.wait_for(ms);
}

void use_lookup(Site& site, const HttpTestServer& service) {
  site.set("System", "GlobalIpUrl", service.url());
  site.set("System", "UseGlobalIp", "1");
  site.add_user("bob");
}

std::string pasv_from(const Site& site, const std::string& from) {
  FtpClient client;
  if (!client.connect(site.ftp_port(), from) || !client.login("bob", "bob")) return "<no login>";
  return client.command("PASV");
}

// PASV from 127.0.0.2 until the reply names the expected text (the lookup ends a moment
// after the service has answered); the last reply.
std::string pasv_until(const Site& site, const std::string& expected) {
  std::string reply;
  for (int i = 0; i < 50; ++i) {
    reply = pasv_from(site, "127.0.0.2");
    if (reply.find(expected) != std::string::npos) break;
    pause_ms(50);
  }
  return reply;
}

std::string body_of(const std::string& request) {
  size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? "" : request.substr(end + 4);
}

TEST(GlobalIpLookup, PasvTellsOutsideClientsTheLookedUpAddressAndLoopbackTheLocalOne) {
  HttpTestServer service(lookup_response("200 OK", {{"global_ip", "198.51.100.7"}}));
  Site site("gip-pasv");
  use_lookup(site, service);
  Server server(site);
  ASSERT_TRUE(service.wait_served(1));
  EXPECT_NE(pasv_until(site, "(198,51,100,7,").find("227 Entering Passive Mode (198,51,100,7,"),
            std::string::npos);
  std::string local = pasv_from(site, "127.0.0.1");
  EXPECT_EQ(local.rfind("227 Entering Passive Mode (", 0), 0u) << local;
  EXPECT_EQ(local.find("198,51,100,7"), std::string::npos) << local;
}

TEST(GlobalIpLookup, RequestIsAPostOfTheAdapterAddress) {
  HttpTestServer service(lookup_response("200 OK", {}));
  Site site("gip-request");
  site.make_dir("net/eth0");
  site.write_file("net/eth0/address", "02:00:5e:10:ab:01\n");
  use_lookup(site, service);
  Server server(site, {"-ns"}, {"VELMORAFTPD_NET_SYSFS=" + site.path("net")});
  ASSERT_TRUE(service.wait_served(1));
  std::string request = service.requests().at(0);
  EXPECT_EQ(request.rfind("POST /regist/check_ip.cgi HTTP/1.0\r\nUser-Agent: velmoraftpd\r\n", 0), 0u)
      << request;
  EXPECT_NE(request.find("\r\nContent-Length: 23\r\n"), std::string::npos) << request;
  EXPECT_EQ(body_of(request), "ma=02005E10AB01&ver=204");
}

TEST(GlobalIpLookup, MachineWithoutAdapterSendsError) {
  HttpTestServer service(lookup_response("200 OK", {}));
  Site site("gip-noadapter");
  site.make_dir("empty-net");
  use_lookup(site, service);
  Server server(site, {"-ns"}, {"VELMORAFTPD_NET_SYSFS=" + site.path("empty-net")});
  ASSERT_TRUE(service.wait_served(1));
  EXPECT_EQ(body_of(service.requests().at(0)), "ma=error&ver=204");
}

TEST(GlobalIpLookup, NotFoundLeavesTheAddressUnknown) {
  HttpTestServer service(lookup_response("404 Not Found", {{"global_ip", "198.51.100.8"}}));
  Site site("gip-404");
  use_lookup(site, service);
  Server server(site);
  ASSERT_TRUE(service.wait_served(1));
  for (int i = 0; i < 5; ++i) {
    std::string reply = pasv_from(site, "127.0.0.2");
    ASSERT_EQ(reply.rfind("227 ", 0), 0u) << reply;
    EXPECT_EQ(reply.find("198,51,100,8"), std::string::npos) << reply;
    pause_ms(50);
  }
}

TEST(GlobalIpLookup, LongAddressIsKeptAs19Characters) {
  HttpTestServer service(
      lookup_response("200 OK", {{"global_ip", "198.51.100.9-abcdefghijkl"}}));
  Site site("gip-long");
  use_lookup(site, service);
  Server server(site);
  ASSERT_TRUE(service.wait_served(1));
  std::string reply = pasv_until(site, "198,51,100,9");
  EXPECT_NE(reply.find("(198,51,100,9-abcdef,"), std::string::npos) << reply;
}

TEST(GlobalIpLookup, KeyInCapitalsIsAccepted) {
  HttpTestServer service(lookup_response("200 OK", {{"GLOBAL_IP", "198.51.100.10"}}));
  Site site("gip-caps");
  use_lookup(site, service);
  Server server(site);
  ASSERT_TRUE(service.wait_served(1));
  EXPECT_NE(pasv_until(site, "(198,51,100,10,").find("(198,51,100,10,"), std::string::npos);
}

TEST(GlobalIpLookup, DialogAndPageReachTheManagerAsTexts) {
  HttpTestServer service(
      lookup_response("200 OK", {{"dialog", "Please update your server."},
                                 {"open_url", "http://example.org/news"}}),
      /*hold=*/true);
  Site site("gip-notices");
  use_lookup(site, service);
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  service.release();
  auto first = admin.wait_for(shared::kEventPluginText);
  auto second = admin.wait_for(shared::kEventPluginText);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->text, "Please update your server.");
  EXPECT_EQ(second->text, "http://example.org/news");
}

TEST(GlobalIpLookup, StopDoesNotWaitForASilentService) {
  HttpTestServer service(lookup_response("200 OK", {}), /*hold=*/true);
  Site site("gip-stop");
  use_lookup(site, service);
  Server server(site);
  for (int i = 0; i < 100 && service.requests().empty(); ++i) pause_ms(20);
  ASSERT_EQ(service.requests().size(), 1u);
  server.signal(15);
  EXPECT_TRUE(server.wait_exit(10000).has_value());
  service.release();
}

TEST(GlobalIpLookup, NoUrlMeansNoLookup) {
  HttpTestServer service(lookup_response("200 OK", {{"global_ip", "198.51.100.11"}}));
  Site site("gip-nourl");
  site.set("System", "UseGlobalIp", "1");
  site.add_user("bob");
  Server server(site);
  std::string reply = pasv_from(site, "127.0.0.2");
  EXPECT_EQ(reply.rfind("227 ", 0), 0u) << reply;
  EXPECT_EQ(reply.find("198,51,100,11"), std::string::npos);
  EXPECT_TRUE(service.requests().empty());
}

}  // namespace
