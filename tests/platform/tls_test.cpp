// TLS streams over loopback: loading key pairs, handshakes, both directions of data,
// session resumption and its owner stamp, garbage from the peer, and breaking a blocked
// receive with shutdown_both.
#include "platform/tls.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "platform/socket.h"

using namespace platform;

namespace {

const std::string kTlsDir = std::string(TEST_SOURCE_DIR) + "/tests/support/tls/";

std::unique_ptr<TlsContext> server_context() {
  std::string error;
  auto context = TlsContext::server(kTlsDir + "cert.pem", kTlsDir + "key.pem", &error);
  EXPECT_NE(context, nullptr) << error;
  return context;
}

// A connected loopback pair.
struct Pair {
  Pair() {
    Socket listener = open_tcp_socket();
    EXPECT_TRUE(bind_ipv4(listener, {kLoopbackAddress, 0}, true));
    EXPECT_TRUE(listen_socket(listener, 1));
    uint16_t port = local_endpoint(listener).value_or(Ipv4Endpoint{}).port;
    client = open_tcp_socket();
    EXPECT_TRUE(connect_ipv4(client, {kLoopbackAddress, port}, 5000));
    server = accept_connection(listener, nullptr);
    close_socket(listener);
  }
  ~Pair() {
    close_socket(client);
    close_socket(server);
  }
  Socket client = kNoSocket;
  Socket server = kNoSocket;
};

// Both handshakes at once; the server side runs on a thread of its own.
struct Handshake {
  Handshake(TlsContext& server_side, TlsContext& client_side, Pair& pair, uint32_t owner,
            const TlsStream* resume_from = nullptr) {
    std::thread accepting(
        [&] { server = TlsStream::accept(server_side, pair.server, owner, 5000, &server_error); });
    client = TlsStream::connect(client_side, pair.client, resume_from, 5000, &client_error);
    accepting.join();
  }
  std::unique_ptr<TlsStream> server, client;
  std::string server_error, client_error;
};

std::string receive_exactly(TlsStream& stream, size_t size) {
  std::string bytes;
  char buffer[65536];
  while (bytes.size() < size) {
    long n = stream.recv_some(buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  return bytes;
}

TEST(TlsContextTest, KeyPairsThatCannotBeUsedAreNamedInTheError) {
  std::string error;
  EXPECT_EQ(TlsContext::server(kTlsDir + "missing.pem", kTlsDir + "key.pem", &error), nullptr);
  EXPECT_NE(error.find("missing.pem"), std::string::npos) << error;
  EXPECT_EQ(TlsContext::server(kTlsDir + "cert.pem", kTlsDir + "absent_key.pem", &error), nullptr);
  EXPECT_NE(error.find("absent_key.pem"), std::string::npos) << error;
  EXPECT_EQ(TlsContext::server(kTlsDir + "cert.pem", kTlsDir + "other_key.pem", &error), nullptr);
  EXPECT_NE(error.find("other_key.pem"), std::string::npos) << error;
  // A key file given as the certificate: not a certificate.
  EXPECT_EQ(TlsContext::server(kTlsDir + "key.pem", kTlsDir + "key.pem", &error), nullptr);
  EXPECT_NE(server_context(), nullptr);
}

TEST(TlsStreamTest, CarriesBytesBothWaysAndEndsWithCloseNotify) {
  auto server_side = server_context();
  auto client_side = TlsContext::client();
  Pair pair;
  Handshake h(*server_side, *client_side, pair, 7);
  ASSERT_NE(h.server, nullptr) << h.server_error;
  ASSERT_NE(h.client, nullptr) << h.client_error;
  EXPECT_EQ(h.server->version(), "TLSv1.3");
  EXPECT_FALSE(h.server->resumed());
  EXPECT_FALSE(h.server->resumed_owner());

  // A block larger than the socket buffers: the sender waits for the reader.
  std::string big(3 * 1024 * 1024 + 17, 'x');
  for (size_t i = 0; i < big.size(); i += 4093) big[i] = static_cast<char>(i);
  std::thread sending([&] { EXPECT_EQ(h.server->send_all(big.data(), big.size()), big.size()); });
  EXPECT_EQ(receive_exactly(*h.client, big.size()), big);
  sending.join();
  EXPECT_EQ(h.client->send_all("STOR x\r\n", 8), 8u);
  EXPECT_EQ(receive_exactly(*h.server, 8), "STOR x\r\n");

  h.client->close_notify(2000);
  char byte;
  EXPECT_EQ(h.server->recv_some(&byte, 1), 0);
}

TEST(TlsStreamTest, ResumedSessionsCarryTheOwnerOfTheFirstConnection) {
  auto server_side = server_context();
  for (bool tls12 : {false, true}) {
    SCOPED_TRACE(tls12 ? "TLS 1.2" : "TLS 1.3");
    auto client_side = TlsContext::client(tls12);
    Pair first_pair, third_pair;
    Handshake first(*server_side, *client_side, first_pair, 41);
    ASSERT_NE(first.client, nullptr);
    // TLS 1.3 tickets follow the handshake: the client takes them with the next read.
    first.server->send_all("220 ok\r\n", 8);
    EXPECT_EQ(receive_exactly(*first.client, 8), "220 ok\r\n");

    // Every data connection resumes the same control session.
    for (int round = 0; round < 2; ++round) {
      Pair second_pair;
      Handshake second(*server_side, *client_side, second_pair, 99, first.client.get());
      ASSERT_NE(second.server, nullptr) << second.server_error;
      EXPECT_TRUE(second.server->resumed());
      EXPECT_EQ(second.server->resumed_owner().value_or(0), 41u);
      second.server->close_notify(1000);
      second.client->close_notify(1000);
    }

    Handshake fresh(*server_side, *client_side, third_pair, 99);
    ASSERT_NE(fresh.server, nullptr);
    EXPECT_FALSE(fresh.server->resumed());
  }
}

TEST(TlsStreamTest, GarbageSilenceAndShutdownEndTheStreamWithoutHanging) {
  auto server_side = server_context();
  {
    Pair pair;
    send_all(pair.client, "USER anonymous\r\n\x16\x03\x01garbage", 27);
    std::string error;
    EXPECT_EQ(TlsStream::accept(*server_side, pair.server, 1, 5000, &error), nullptr);
    EXPECT_FALSE(error.empty());
  }
  {
    Pair pair;  // a client that never says hello
    std::string error;
    EXPECT_EQ(TlsStream::accept(*server_side, pair.server, 1, 200, &error), nullptr);
    EXPECT_NE(error.find("timed out"), std::string::npos) << error;
  }
  {
    Pair pair;  // a handshake broken from another thread
    std::string error;
    std::thread breaker([&] {
      wait_readable(pair.client, 100);
      shutdown_both(pair.server);
    });
    EXPECT_EQ(TlsStream::accept(*server_side, pair.server, 1, -1, &error), nullptr);
    breaker.join();
  }
  auto client_side = TlsContext::client();
  Pair pair;
  Handshake h(*server_side, *client_side, pair, 3);
  ASSERT_NE(h.server, nullptr);
  std::thread breaker([&] {
    wait_readable(pair.client, 100);
    shutdown_both(pair.server);
  });
  char buffer[16];
  EXPECT_LE(h.server->recv_some(buffer, sizeof buffer), 0);
  breaker.join();
  EXPECT_LE(h.server->recv_some_timeout(buffer, sizeof buffer, 50), 0);
}

}  // namespace
