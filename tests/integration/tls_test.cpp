// FTP over TLS against the real quorsrv: AUTH, PBSZ, PROT and CCC with their refusals,
// protected data connections and the session-reuse rule, the implicit port, the login
// rules, a key pair that cannot be used, and kicks, ABOR and the stop of sessions that
// sit in a TLS handshake or a blocked TLS send.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"
#include "tests/support/tls_client.h"

namespace {

using harness::AdminClient;
using harness::DataTls;
using harness::FtpClient;
using harness::Server;
using harness::Site;
using harness::TlsFtpClient;

void enable_tls(Site& site) {
  site.set("TLS", "Enable", "1");
  site.set("TLS", "Certificate", harness::test_certificate());
  site.set("TLS", "PrivateKey", harness::test_private_key());
}

// A site with TLS on, user alice and a file of every size the tests fetch.
struct TlsSite {
  explicit TlsSite(const std::string& tag) : site(tag) {
    enable_tls(site);
    site.add_user("alice");
    site.write_file("home/one.txt", "1");
    site.write_file("home/empty.txt", "");
  }
  Site site;
};

TEST(TlsCommands, RepliesInOrderAndOutOfOrder) {
  TlsSite t("tls-commands");
  t.site.set("TLS", "Enable", "1");
  Server server(t.site);
  TlsFtpClient c;
  ASSERT_TRUE(c.connect(t.site.ftp_port()));
  EXPECT_EQ(c.reply(), replies::kGreeting);
  const std::string features = c.command("FEAT");
  for (const char* line : {" AUTH TLS\r\n", " PBSZ\r\n", " PROT\r\n"}) {
    EXPECT_NE(features.find(line), std::string::npos) << features;
  }
  EXPECT_EQ(c.command("PBSZ 0"), "503 PBSZ needs AUTH TLS first.\r\n");
  EXPECT_EQ(c.command("PROT P"), "503 PROT needs AUTH TLS first.\r\n");
  EXPECT_EQ(c.command("AUTH KERBEROS_V4"), "504 AUTH TLS or AUTH SSL only.\r\n");
  EXPECT_EQ(c.command("AUTH"), "501 Syntax error in parameters or arguments.\r\n");
  EXPECT_EQ(c.command("CCC"), "534 The control connection stays protected.\r\n");
  EXPECT_EQ(c.command("AUTH ssl"), "234 Proceed with negotiation.\r\n");
  ASSERT_TRUE(c.start_tls());
  EXPECT_EQ(c.command("AUTH TLS"), "503 TLS is already in use.\r\n");
  EXPECT_EQ(c.command("PROT P"), "503 PROT needs PBSZ first.\r\n");
  EXPECT_EQ(c.command("PBSZ x"), "501 PBSZ takes a decimal number.\r\n");
  EXPECT_EQ(c.command("PBSZ 16384"), "200 PBSZ=0\r\n");
  EXPECT_EQ(c.command("PROT Q"), "504 Unknown protection level.\r\n");
  EXPECT_EQ(c.command("PROT S"), "536 Protection level not supported.\r\n");
  EXPECT_EQ(c.command("PROT E"), "536 Protection level not supported.\r\n");
  EXPECT_EQ(c.command("CCC"), "534 The control connection stays protected.\r\n");
  EXPECT_EQ(c.command("PROT c"), "200 Protection level set to C.\r\n");
  ASSERT_TRUE(c.login("alice", "alice"));
  // PROT C: the data connection stays plain even on a TLS control connection.
  EXPECT_EQ(c.download("RETR one.txt", DataTls::Clear), "1");
  EXPECT_EQ(c.command("PROT P"), "200 Protection level set to P.\r\n");
  EXPECT_EQ(c.download("RETR one.txt", DataTls::Resumed), "1");
  EXPECT_EQ(c.command("QUIT"), "221 Good-Bye\r\n");
}

TEST(TlsCommands, AuthWithoutTlsOrAfterLoginIsRefused) {
  Site plain("tls-off");
  plain.add_user("alice");
  Server off(plain);
  FtpClient c;
  ASSERT_TRUE(c.connect(plain.ftp_port()));
  ASSERT_TRUE(c.login("alice", "alice"));
  EXPECT_EQ(c.command("AUTH TLS"), "502 Command not implemented.\r\n");
  EXPECT_EQ(c.command("FEAT").find("AUTH"), std::string::npos);

  TlsSite t("tls-after-login");
  Server on(t.site);
  FtpClient late;
  ASSERT_TRUE(late.connect(t.site.ftp_port()));
  ASSERT_TRUE(late.login("alice", "alice"));
  EXPECT_EQ(late.command("AUTH TLS"), "503 AUTH must come before USER.\r\n");
}

TEST(TlsData, EveryDataCommandIsProtectedAndMustResumeTheControlSession) {
  TlsSite t("tls-data");
  std::string big(5 * 1024 * 1024 + 3, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4099);
  t.site.write_file("home/big.bin", big);
  Server server(t.site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(t.site.admin_port()));
  TlsFtpClient c;
  ASSERT_TRUE(c.secure_login(t.site.ftp_port(), "alice"));
  auto accepted = admin.wait_for(shared::kEventUserAccepted);
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->snapshot.security, shared::kSecureControl | shared::kSecureData);

  EXPECT_TRUE(c.download("RETR big.bin", DataTls::Resumed) == big);
  std::string replies;
  EXPECT_EQ(c.download("RETR empty.txt", DataTls::Resumed, &replies), "") << replies;
  ASSERT_TRUE(c.upload("STOR up.bin", big, DataTls::Resumed, &replies)) << replies;
  const std::string stored = t.site.read_file("home/up.bin");
  EXPECT_EQ(stored.size(), big.size());
  EXPECT_TRUE(stored == big);
  ASSERT_TRUE(c.upload("APPE up.bin", "tail", DataTls::Resumed));
  EXPECT_TRUE(t.site.read_file("home/up.bin") == big + "tail");
  auto names = c.download("NLST", DataTls::Resumed);
  ASSERT_TRUE(names);
  EXPECT_NE(names->find("big.bin\r\n"), std::string::npos);
  auto listing = c.download("LIST", DataTls::Resumed);
  ASSERT_TRUE(listing);
  EXPECT_NE(listing->find(" one.txt\r\n"), std::string::npos);

  // A data connection that does not resume the session, or is not TLS at all.
  EXPECT_FALSE(c.download("RETR one.txt", DataTls::Fresh, &replies));
  EXPECT_EQ(replies, std::string(replies::kOpening) +
                         "425 The data connection must resume the TLS session of the control "
                         "connection.\r\n");
  auto refused = admin.wait_for(shared::kEventRefused);
  ASSERT_TRUE(refused);
  EXPECT_NE(refused->snapshot.message.find("再利用していない"), std::string::npos);
  EXPECT_FALSE(c.upload("STOR fresh.bin", "x", DataTls::Fresh, &replies));
  EXPECT_NE(replies.find("425 "), std::string::npos);
  EXPECT_FALSE(c.download("LIST", DataTls::Clear, &replies));
  EXPECT_EQ(replies, std::string(replies::kOpening) + replies::kCantOpen);
  // The session goes on.
  EXPECT_EQ(c.download("RETR one.txt", DataTls::Resumed), "1");
}

TEST(TlsData, RequireReuseOffAcceptsAFreshSession) {
  TlsSite t("tls-no-reuse");
  t.site.set("TLS", "RequireReuse", "0");
  Server server(t.site);
  TlsFtpClient c;
  ASSERT_TRUE(c.secure_login(t.site.ftp_port(), "alice"));
  EXPECT_EQ(c.download("RETR one.txt", DataTls::Fresh), "1");
  EXPECT_TRUE(c.upload("STOR fresh.txt", "abc", DataTls::Fresh));
  EXPECT_EQ(t.site.read_file("home/fresh.txt"), "abc");
}

TEST(TlsData, RequireForDataRefusesClearData) {
  TlsSite t("tls-data-required");
  t.site.set("TLS", "RequireForData", "1");
  Server server(t.site);
  TlsFtpClient c;
  ASSERT_TRUE(c.connect(t.site.ftp_port()));
  ASSERT_TRUE(c.secure(false));
  EXPECT_EQ(c.command("PROT C"), "534 Data connections must be protected.\r\n");
  ASSERT_TRUE(c.login("alice", "alice"));
  std::string replies;
  EXPECT_FALSE(c.download("RETR one.txt", DataTls::Clear, &replies));
  EXPECT_EQ(replies, "521 Data connections must be protected: use PROT P.\r\n");
  EXPECT_EQ(c.command("PROT P"), "200 Protection level set to P.\r\n");
  EXPECT_EQ(c.download("RETR one.txt", DataTls::Resumed), "1");
}

TEST(TlsLogin, RequireForLoginAndAccountRequireTls) {
  TlsSite t("tls-login");
  t.site.add_user("carol", {{"RequireTLS", "1"}});
  t.site.add_group("secure", {{"RequireTLS", "1"}, {"NeedPassWord", "1"}, {"HomeDir", t.site.home()}});
  t.site.add_user("dave", {{"UseGroup", "1"}, {"Group", "secure"}});
  Server server(t.site);
  for (const char* name : {"carol", "dave"}) {
    SCOPED_TRACE(name);
    FtpClient plain;
    ASSERT_TRUE(plain.connect(t.site.ftp_port()));
    plain.reply();
    EXPECT_EQ(plain.command(std::string("USER ") + name),
              "530 This account requires TLS: use AUTH TLS before logging in.\r\n");
    EXPECT_EQ(plain.command(std::string("PASS ") + name), "503 Bad sequence of commands.\r\n");
    TlsFtpClient secure;
    EXPECT_TRUE(secure.secure_login(t.site.ftp_port(), name));
  }
  FtpClient other;
  ASSERT_TRUE(other.connect(t.site.ftp_port()));
  EXPECT_TRUE(other.login("alice", "alice"));

  TlsSite strict("tls-login-required");
  strict.site.set("TLS", "RequireForLogin", "1");
  Server strict_server(strict.site);
  FtpClient plain;
  ASSERT_TRUE(plain.connect(strict.site.ftp_port()));
  plain.reply();
  EXPECT_EQ(plain.command("USER alice"), "530 TLS is required: use AUTH TLS before logging in.\r\n");
  // The same connection may still switch to TLS and log in.
  TlsFtpClient secure;
  EXPECT_TRUE(secure.secure_login(strict.site.ftp_port(), "alice"));
}

TEST(TlsSetup, UnusableKeyPairLeavesPlainFtpAndAnswers431) {
  Site site("tls-no-cert");
  site.add_user("alice");
  site.set("TLS", "Enable", "1");
  site.set("TLS", "Certificate", "missing-cert.pem");
  site.set("TLS", "PrivateKey", harness::test_private_key());
  site.set("TLS", "ImplicitPort", std::to_string(harness::free_port()));
  Server server(site);
  FtpClient c;
  ASSERT_TRUE(c.connect(site.ftp_port()));
  c.reply();
  EXPECT_EQ(c.command("AUTH TLS"), "431 TLS is unavailable: the server has no usable certificate.\r\n");
  c.command("USER alice");
  EXPECT_EQ(c.command("PASS alice").substr(0, 3), "230");
  const std::string output = server.output();
  EXPECT_NE(output.find("quorsrv: TLS is off, plain FTP only: certificate " + site.root() +
                        "missing-cert.pem"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find('\n'), output.size() - 1) << output;  // one line
}

TEST(TlsImplicit, HandshakeFirstThenProtectedDataWithoutProt) {
  TlsSite t("tls-implicit");
  // Relative key paths are taken from the program directory.
  t.site.write_file("cert.pem", platform::read_whole_file(harness::test_certificate()).value());
  t.site.write_file("key.pem", platform::read_whole_file(harness::test_private_key()).value());
  t.site.set("TLS", "Certificate", "cert.pem");
  t.site.set("TLS", "PrivateKey", "key.pem");
  const uint16_t implicit_port = harness::free_port();
  t.site.set("TLS", "ImplicitPort", std::to_string(implicit_port));
  Server server(t.site);
  TlsFtpClient c;
  ASSERT_TRUE(c.connect(implicit_port));
  ASSERT_TRUE(c.start_tls());
  EXPECT_EQ(c.reply(), replies::kGreeting);
  EXPECT_EQ(c.command("AUTH TLS"), "503 TLS is already in use.\r\n");
  ASSERT_TRUE(c.login("alice", "alice"));
  EXPECT_EQ(c.download("RETR one.txt", DataTls::Resumed), "1");

  // Plain text on the implicit port is a failed handshake: the connection is closed.
  FtpClient plain;
  ASSERT_TRUE(plain.connect(implicit_port));
  plain.send_line("USER alice");
  EXPECT_TRUE(plain.wait_closed());
}

TEST(TlsBadInput, GarbageAndPlainTextWhereTlsIsExpectedCloseTheConnection) {
  TlsSite t("tls-garbage");
  Server server(t.site);
  {
    FtpClient c;  // plain text after the 234
    ASSERT_TRUE(c.connect(t.site.ftp_port()));
    c.reply();
    EXPECT_EQ(c.command("AUTH TLS"), "234 Proceed with negotiation.\r\n");
    c.send_line("USER alice");
    EXPECT_TRUE(c.wait_closed());
  }
  {
    FtpClient c;  // a record header with garbage behind it
    ASSERT_TRUE(c.connect(t.site.ftp_port()));
    c.reply();
    c.command("AUTH TLS");
    c.send_raw(std::string("\x16\x03\x01\x00\x10", 5) + std::string(16, '\xEE'));
    EXPECT_TRUE(c.wait_closed());
  }
  {
    FtpClient c;  // a command sent along with AUTH, before its reply
    ASSERT_TRUE(c.connect(t.site.ftp_port()));
    c.reply();
    c.send_raw("AUTH TLS\r\nUSER alice\r\n");
    EXPECT_TRUE(c.wait_closed());
  }
  TlsFtpClient still;
  EXPECT_TRUE(still.secure_login(t.site.ftp_port(), "alice"));
}

TEST(TlsPlugins, SocketHooksSeePlainText) {
  TlsSite t("tls-plugins");
  t.site.set("SysPlugIn", "SysPlugInNum", "1");
  t.site.set("SysPlugIn", "Plugin0", std::string(TEST_BINARY_DIR) + "/test_plugins/scripted.so");
  t.site.write_file("home/word.txt", "abc");
  Server server(t.site, {"-ns"}, {"VELMORA_TEST_REWRITE=1"});
  AdminClient admin;
  ASSERT_TRUE(admin.connect(t.site.admin_port()));
  TlsFtpClient c;
  ASSERT_TRUE(c.secure_login(t.site.ftp_port(), "alice"));
  // The plug-in upper-cases what it is handed: the plain bytes, encrypted after it.
  EXPECT_EQ(c.download("RETR word.txt", DataTls::Resumed), "ABC");
  auto posted = admin.wait_for(shared::kEventPluginText);
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->text, "rewrite: sent 3 bytes in 1 blocks, received 0 bytes in 0 blocks");
}

TEST(TlsEnding, KickAborAndStopEndTlsSessionsPromptly) {
  TlsSite t("tls-ending");
  t.site.write_file("home/large.bin", std::string(48 * 1024 * 1024, 'L'));
  Server server(t.site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(t.site.admin_port()));

  // A client that stops in the middle of the handshake, kicked by the operator.
  FtpClient stalled;
  ASSERT_TRUE(stalled.connect(t.site.ftp_port()));
  auto connected = admin.wait_for(shared::kEventConnected);
  ASSERT_TRUE(connected);
  stalled.reply();
  stalled.command("AUTH TLS");
  stalled.send_raw(std::string("\x16\x03\x01", 3));  // a record header, then silence
  admin.send(shared::AdminCommandCode::Kick, connected->session_id);
  EXPECT_TRUE(stalled.wait_closed());

  // ABOR while the worker waits in a data handshake the client never starts, then while
  // it is blocked sending to a client that does not read.
  TlsFtpClient reader;
  ASSERT_TRUE(reader.secure_login(t.site.ftp_port(), "alice"));
  for (DataTls mode : {DataTls::Clear, DataTls::Resumed}) {
    auto data = reader.open_data("RETR large.bin", mode, nullptr);
    ASSERT_TRUE(data);
    const uint32_t start = platform::tick_ms();
    reader.send_line("ABOR");
    std::string answers;
    while (answers.find(replies::kAborClosed) == std::string::npos) {
      std::string one = reader.reply(10000);
      if (one.empty()) break;
      answers += one;
    }
    EXPECT_NE(answers.find(replies::kAborClosed), std::string::npos) << answers;
    EXPECT_LT(platform::tick_ms() - start, static_cast<uint32_t>(harness::scaled_ms(8000)));
    if (data->tls) data->tls->close_notify(0);  // else the client drops the shared session
    data->tls.reset();
    platform::close_socket(data->socket);
  }
  EXPECT_EQ(reader.download("RETR one.txt", DataTls::Resumed), "1");

  // The stop ends a session that sits in a TLS read.
  TlsFtpClient idle;
  ASSERT_TRUE(idle.connect(t.site.ftp_port()));
  ASSERT_TRUE(idle.secure());
  server.signal(15);
  EXPECT_TRUE(server.wait_exit(harness::scaled_ms(10000)).has_value());
  EXPECT_TRUE(idle.wait_closed());
}

}  // namespace

// A client that stops in the middle of a handshake, on the AUTH TLS path or on the
// implicit port, is dropped by the login time limit like any client that never logs in,
// and keeps nobody else waiting meanwhile.
TEST(TlsEnding, AHandshakeLeftHalfDoneIsDroppedByTheTimeLimit) {
  TlsSite t("tls-stalled");
  const uint16_t implicit_port = harness::free_port();
  t.site.set("TLS", "ImplicitPort", std::to_string(implicit_port));
  t.site.set("System", "LoginTimeout", "2");
  Server server(t.site);
  const uint32_t start = platform::tick_ms();
  FtpClient explicit_tls;
  ASSERT_TRUE(explicit_tls.connect(t.site.ftp_port()));
  explicit_tls.reply();
  EXPECT_EQ(explicit_tls.command("AUTH TLS"), "234 Proceed with negotiation.\r\n");
  explicit_tls.send_raw(std::string("\x16\x03\x01", 3));  // a record header, then silence
  FtpClient implicit_tls;  // connects and never starts the handshake
  ASSERT_TRUE(implicit_tls.connect(implicit_port));
  // The silent client holds only its own session: the next one on that port is served
  // while it still waits.
  TlsFtpClient next;
  ASSERT_TRUE(next.connect(implicit_port));
  ASSERT_TRUE(next.start_tls());
  EXPECT_EQ(next.reply(), replies::kGreeting);
  EXPECT_FALSE(implicit_tls.wait_closed(0));

  const int limit = harness::scaled_ms(15000);
  EXPECT_TRUE(explicit_tls.wait_closed(limit));
  EXPECT_TRUE(implicit_tls.wait_closed(limit));
  EXPECT_GE(platform::tick_ms() - start, 1500u);  // not before the limit
  // The Core still serves.
  TlsFtpClient fresh;
  EXPECT_TRUE(fresh.secure_login(t.site.ftp_port(), "alice"));
}
