// Hostile logins: passwords that an account file cannot hold, password guessing (the
// delay after a wrong password, the lock of an address and its end) and connections that
// hold a slot without logging in.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "tests/support/harness.h"

namespace {

using harness::FtpClient;

constexpr const char* kUnknownRefused = "530 cannot accept your ID\r\n";
constexpr const char* kWrongPassword = "530 Illegal Password.\r\n";
constexpr const char* kLocked = "421 Too many login failures. Try again later.\r\n";

// Connects, reads the greeting and sends USER; the reply to USER.
std::string greet_and_user(FtpClient& client, const harness::Site& site, const std::string& name,
                           const std::string& from = "127.0.0.1") {
  if (!client.connect(site.ftp_port(), from)) return "<no connection>";
  client.reply();
  return client.command("USER " + name);
}

TEST(LoginGuard, PasswordsAnAccountCannotHoldMakeNoAccount) {
  harness::Site site("loginguard4");
  site.set("UnKnownID", "Refuse", "0");
  site.set("UnKnownID", "MailPass", "0");
  site.set("UnKnownID", "MakeAcount", "1");
  {
    harness::Server server(site);
    // Control bytes, nothing at all, or blanks the file would drop: refused, no file.
    for (const std::string password : {"a\x01" "b", "", " pw", "\"quoted\"", "tab\tbed"}) {
      FtpClient client;
      ASSERT_EQ(greet_and_user(client, site, "eve"), "331 Enter Password\r\n");
      EXPECT_EQ(client.command("PASS " + password), kUnknownRefused) << password;
      EXPECT_TRUE(client.wait_closed());
      EXPECT_FALSE(site.exists("user/eve.usr")) << password;
    }

    // A bare LF ends the line as CR LF does: the key=value after it is the next command,
    // not part of the password.
    FtpClient maker;
    ASSERT_EQ(greet_and_user(maker, site, "eve"), "331 Enter Password\r\n");
    maker.send_raw("PASS pw\nPassWord=\r\nNOOP\n");
    EXPECT_EQ(maker.reply().substr(0, 4), "230-");
    EXPECT_EQ(maker.reply().substr(0, 4), "502 ");
    EXPECT_EQ(maker.reply(), "200 OK\r\n");
    EXPECT_EQ(site.user_key("eve", "PassWord"), "pw");
    FtpClient empty;
    ASSERT_EQ(greet_and_user(empty, site, "eve"), "331 Enter Your Password\r\n");
    EXPECT_EQ(empty.command("PASS"), kWrongPassword);
  }

  // The mail-password mode refuses such an address the same way.
  site.set("UnKnownID", "MailPass", "1");
  harness::Server server(site);
  FtpClient client;
  ASSERT_EQ(greet_and_user(client, site, "mia"), "331 Enter Password\r\n");
  EXPECT_EQ(client.command("PASS mia@example.org\tBcc: x@example.org"), kUnknownRefused);
  EXPECT_FALSE(site.exists("user/mia.usr"));
}

// Milliseconds from the PASS to its answer.
uint32_t timed_pass(FtpClient& client, const std::string& password, std::string* answer) {
  const uint32_t start = platform::tick_ms();
  *answer = client.command("PASS " + password, 20000);
  return platform::tick_ms() - start;
}

TEST(LoginGuard, WrongPasswordsAreSlowedAndLockTheAddressForAWhile) {
  harness::Site site("loginguard5");
  site.add_user("alice");
  site.set("System", "LoginFailLimit", "3");
  site.set("System", "LoginLockSeconds", "3");
  harness::Server server(site);

  // The default delay of a wrong password is one second; a right one is answered at once.
  for (int failure = 0; failure < 3; ++failure) {
    FtpClient guesser;
    ASSERT_EQ(greet_and_user(guesser, site, "alice"), "331 Enter Your Password\r\n");
    std::string answer;
    const uint32_t waited = timed_pass(guesser, "guess", &answer);
    EXPECT_EQ(answer, kWrongPassword);
    EXPECT_GE(waited, 900u);
    EXPECT_LT(waited, 15000u);
  }

  // The third failure locked 127.0.0.1, even for the right password; 127.0.0.2 is not.
  FtpClient locked;
  EXPECT_EQ(greet_and_user(locked, site, "alice"), kLocked);
  EXPECT_TRUE(locked.wait_closed());
  const std::string log = site.read_file("user/UnKnown.mlg");
  EXPECT_NE(log.find("ログインの失敗が多いため、ホスト[127.0.0.1]を拒否しました。"), std::string::npos);
  FtpClient elsewhere;
  ASSERT_TRUE(elsewhere.connect(site.ftp_port(), "127.0.0.2"));
  EXPECT_TRUE(elsewhere.login("alice", "alice"));

  // The lock ends after its time (3 s here; generous bound).
  bool unlocked = false;
  const uint32_t locked_at = platform::tick_ms();
  while (!unlocked && platform::tick_ms() - locked_at < 20000) {
    FtpClient later;
    unlocked = later.connect(site.ftp_port()) && later.login("alice", "alice");
    if (!unlocked) platform::sleep_ms(250);
  }
  EXPECT_TRUE(unlocked);
}

TEST(LoginGuard, ConnectionsNotLoggedInWithinTheLimitAreClosedDespiteNoop) {
  harness::Site site("loginguard6");
  site.add_user("alice");
  site.set("System", "LoginTimeout", "2");
  harness::Server server(site);
  FtpClient member;
  ASSERT_TRUE(member.connect(site.ftp_port()));
  ASSERT_TRUE(member.login("alice", "alice"));
  FtpClient lingerer;
  ASSERT_TRUE(lingerer.connect(site.ftp_port()));
  lingerer.reply();

  const uint32_t start = platform::tick_ms();
  bool closed = false;
  while (!closed && platform::tick_ms() - start < 20000) {
    closed = lingerer.command("NOOP", 2000) != "200 OK\r\n";
    platform::sleep_ms(300);
  }
  EXPECT_TRUE(closed);
  EXPECT_GE(platform::tick_ms() - start, 1500u);
  EXPECT_EQ(member.command("NOOP"), "200 OK\r\n");  // a logged-in session stays
}

}  // namespace
