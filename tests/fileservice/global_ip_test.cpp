// The lookup answer parser and the lookup thread in this process.
#include "fileservice/global_ip.h"

#include <gtest/gtest.h>

#include "tests/fileservice/http_test_server.h"

namespace fileservice {
namespace {

using testing_http::HttpTestServer;
using testing_http::lookup_response;

bool wait_finished() {
  for (int i = 0; i < 250 && !global_ip_lookup_finished(); ++i) {
    platform::Event pause(true);
    pause.wait_for(20);
  }
  return global_ip_lookup_finished();
}

TEST(LookupBody, AdapterAddressOrError) {
  EXPECT_EQ(lookup_request_body(std::string("02005E100001")), "ma=02005E100001&ver=204");
  EXPECT_EQ(lookup_request_body(std::nullopt), "ma=error&ver=204");
}

TEST(LookupBody, CutTo255Bytes) {
  std::string body = lookup_request_body(std::string(400, 'A'));
  EXPECT_EQ(body.size(), 255u);
  EXPECT_EQ(body.substr(0, 5), "ma=AA");
}

TEST(LookupAnswer, GlobalIpOfA200Answer) {
  auto answer = parse_lookup_response(lookup_response("200 OK", {{"global_ip", "198.51.100.7"}}));
  EXPECT_TRUE(answer.status_ok);
  EXPECT_EQ(answer.global_ip, "198.51.100.7");
  EXPECT_TRUE(answer.notices.empty());
}

TEST(LookupAnswer, NotFoundTeachesNothing) {
  auto answer = parse_lookup_response(
      lookup_response("404 Not Found", {{"global_ip", "198.51.100.7"}, {"dialog", "hi"}}));
  EXPECT_FALSE(answer.status_ok);
  EXPECT_FALSE(answer.global_ip);
  EXPECT_TRUE(answer.notices.empty());
}

TEST(LookupAnswer, StatusIsReadAtOffsetsNineToEleven) {
  EXPECT_TRUE(parse_lookup_response("HTTP/1.1 200 OK\r\n\r\n").status_ok);
  EXPECT_TRUE(parse_lookup_response("HTTP/1.1 2000\r\n\r\n").status_ok);  // only 3 bytes count
  EXPECT_FALSE(parse_lookup_response("HTTP/1.1 201 Created\r\n\r\n").status_ok);
  EXPECT_FALSE(parse_lookup_response("HTTP/1.1 20").status_ok);
  EXPECT_FALSE(parse_lookup_response("").status_ok);
}

TEST(LookupAnswer, LongGlobalIpIsCutTo19Characters) {
  auto answer =
      parse_lookup_response(lookup_response("200 OK", {{"global_ip", "198.51.100.7-abcdefghijkl"}}));
  EXPECT_EQ(answer.global_ip, "198.51.100.7-abcdef");
}

TEST(LookupAnswer, KeysIgnoreLetterCase) {
  EXPECT_EQ(parse_lookup_response(lookup_response("200 OK", {{"GLOBAL_IP", "203.0.113.5"}})).global_ip,
            "203.0.113.5");
  EXPECT_EQ(parse_lookup_response(lookup_response("200 OK", {{"Global_Ip", "203.0.113.6"}})).global_ip,
            "203.0.113.6");
}

TEST(LookupAnswer, OtherKeysAreSkippedWithTheirValues) {
  // The value "global_ip" of an unknown key must not be read as a key.
  auto answer = parse_lookup_response(lookup_response(
      "200 OK", {{"motd", "global_ip"}, {"10.9.9.9", "x"}, {"global_ips", "1.1.1.1"}}));
  EXPECT_FALSE(answer.global_ip);
}

TEST(LookupAnswer, NoticesInOrderAndLastGlobalIpWins) {
  auto answer = parse_lookup_response(lookup_response(
      "200 OK", {{"dialog", "please update"},
                 {"global_ip", "203.0.113.1"},
                 {"OPEN_URL", "http://example.org/news"},
                 {"global_ip", "203.0.113.2"}}));
  EXPECT_EQ(answer.global_ip, "203.0.113.2");
  EXPECT_EQ(answer.notices, (std::vector<std::string>{"please update", "http://example.org/news"}));
}

TEST(LookupAnswer, PairsAfterTheEmptyKeyAreIgnored) {
  std::string text = lookup_response("200 OK", {{"dialog", "one"}});
  text += std::string("global_ip\0") + "203.0.113.9" + '\0';
  auto answer = parse_lookup_response(text);
  EXPECT_FALSE(answer.global_ip);
  EXPECT_EQ(answer.notices.size(), 1u);
}

TEST(LookupAnswer, UnterminatedBodyEndsAtTheEndOfTheData) {
  std::string text = "HTTP/1.0 200 OK\r\n\r\n";
  text += std::string("global_ip") + '\0' + "203.0.113.4";  // no NUL after the value
  EXPECT_EQ(parse_lookup_response(text).global_ip, "203.0.113.4");
  std::string key_only = "HTTP/1.0 200 OK\r\n\r\nglobal_ip";
  EXPECT_EQ(parse_lookup_response(key_only).global_ip, "");
}

TEST(LookupAnswer, WithoutBlankLineTheBodyStartsAt5115) {
  std::string text = "HTTP/1.0 200 OK\r\n" + std::string(5115 - 17, 'h');
  text += std::string("global_ip") + '\0' + "203.0.113.3" + '\0' + '\0';
  EXPECT_EQ(parse_lookup_response(text).global_ip, "203.0.113.3");
}

TEST(LookupAnswer, BlankLineBeyond5115IsNotLookedFor) {
  std::string text = "HTTP/1.0 200 OK\r\n" + std::string(5115 - 17, 'h');
  text += "\r\n\r\n";
  text += std::string("global_ip") + '\0' + "203.0.113.3" + '\0' + '\0';
  // The body starts at 5115, on the CR: the first key is "\r\n\r\nglobal_ip".
  EXPECT_FALSE(parse_lookup_response(text).global_ip);
}

TEST(LookupThread, LearnsTheAddressAndSendsTheBody) {
  HttpTestServer server(lookup_response("200 OK", {{"global_ip", "198.51.100.23"}}));
  start_global_ip_lookup(server.url());
  ASSERT_TRUE(wait_finished());
  stop_global_ip_lookup();
  EXPECT_EQ(global_ip(), "198.51.100.23");
  ASSERT_EQ(server.requests().size(), 1u);
  const std::string request = server.requests()[0];
  EXPECT_EQ(request.rfind("POST /regist/check_ip.cgi HTTP/1.0\r\n", 0), 0u);
  EXPECT_NE(request.find("&ver=204"), std::string::npos);
}

TEST(LookupThread, NotFoundLeavesTheAddressUnknown) {
  HttpTestServer server(lookup_response("404 Not Found", {{"global_ip", "198.51.100.24"}}));
  start_global_ip_lookup(server.url());
  ASSERT_TRUE(wait_finished());
  stop_global_ip_lookup();
  EXPECT_FALSE(global_ip());
}

TEST(LookupThread, StopBreaksALookupThatWaitsForItsAnswer) {
  HttpTestServer server(lookup_response("200 OK", {{"global_ip", "198.51.100.25"}}), true);
  start_global_ip_lookup(server.url());
  for (int i = 0; i < 250 && server.requests().empty(); ++i) {
    platform::Event pause(true);
    pause.wait_for(20);
  }
  ASSERT_EQ(server.requests().size(), 1u);
  stop_global_ip_lookup();  // must return while the server still holds its answer
  EXPECT_FALSE(global_ip());
  server.release();
}

}  // namespace
}  // namespace fileservice
