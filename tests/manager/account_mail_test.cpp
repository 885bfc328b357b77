// The account mail: mail.txt with its two tags, the SMTP dialogue against a scripted
// server with every refusal and failure, one result per mail, refused line breaks, and
// the mailer's shut-down.
#include "manager/notify/account_mail.h"

#include <gtest/gtest.h>

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "manager/notify/smtp_client.h"
#include "platform/files.h"
#include "tests/manager/smtp_peer.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::AccountMailResult;
using manager::MailOutcome;
using scripted::ScriptedPeer;
using scripted::SmtpBehaviour;

const char* kDefaultSent =
    "HELO 127.0.0.1\r\n"
    "MAIL FROM:<admin@example.org>\r\n"
    "RCPT TO:<bob@example.org>\r\n"
    "DATA\r\n"
    "Subject: Your account\r\n\r\n"
    "アカウントを生成したのでお伝えします。\nユーザー名：bob\nパスワード：Xk3pQm7z\n"
    "でログインできます。\n"
    "\r\n.\r\n"
    "QUIT\r\n";

struct MailRig {
  std::string dir = harness::make_temp_dir("mail");
  std::string ini = dir + "velmoraFTPd.ini";
  std::string body_file = dir + "mail.txt";
  std::unique_ptr<manager::AccountMailer> mailer;
  std::vector<AccountMailResult> results;

  explicit MailRig(const std::string& sender = "admin@example.org") {
    platform::write_file_atomically(
        ini, "[UnKnownID]\r\nSmtp=127.0.0.1\r\nMail=" + sender + "\r\nMailTitle=Your account\r\n");
    platform::write_file_atomically(body_file, manager::default_mail_body());
    mailer = std::make_unique<manager::AccountMailer>(ini);
    QObject::connect(mailer.get(), &manager::AccountMailer::mail_finished,
                     [this](const AccountMailResult& r) { results.push_back(r); });
  }
  bool send(ScriptedPeer& peer, const std::string& user = "bob",
            const std::string& address = "bob@example.org") {
    mailer->set_smtp_port(peer.port());
    return mailer->start(user, "Xk3pQm7z", address, body_file);
  }
  // Waits for n results, then makes sure no further one comes.
  bool wait_results(size_t n) {
    if (!qt_test::wait_until([&] { return results.size() >= n; }, 15000)) return false;
    qt_test::pump_events(100);
    return results.size() == n;
  }
};

// ---- mail.txt and its tags --------------------------------------------------------------

TEST(MailBody, TagsAreReplacedExactlyAndOnlyInUpperCase) {
  EXPECT_EQ(manager::fill_mail_tags("u=$USER$ p=$PASS$ again $USER$", "bob", "pw"),
            "u=bob p=pw again bob");
  EXPECT_EQ(manager::fill_mail_tags("no tags here\n", "bob", "pw"), "no tags here\n");
  EXPECT_EQ(manager::fill_mail_tags("$user$ $Pass$ $USER", "bob", "pw"), "$user$ $Pass$ $USER");
}

TEST(MailBody, AUserNameThatLooksLikeATagDoesNotRevealThePassword) {
  EXPECT_EQ(manager::fill_mail_tags("$USER$/$PASS$", "$PASS$", "secret"), "$PASS$/secret");
}

TEST(MailBody, MailTxtIsReadAsTextAndAMissingFileIsNone) {
  const std::string dir = harness::make_temp_dir("mail-body");
  platform::write_file_atomically(dir + "mail.txt", "one\r\ntwo\nthree\r\n");
  EXPECT_EQ(manager::read_mail_body(dir + "mail.txt").value_or("?"), "one\ntwo\nthree\n");
  EXPECT_FALSE(manager::read_mail_body(dir + "absent.txt"));
  EXPECT_EQ(manager::mail_body_path(dir + "velmoraFTPd.ini"), dir + "mail.txt");
}

// ---- the mail dialogue ---------------------------------------------------------------------

TEST(AccountMail, TheDefaultBodyReachesTheRecipientWithNameAndPassword) {
  MailRig rig;
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent);
  EXPECT_EQ(rig.results[0].status_text, "アドレス bob@example.org に、メールを送信しました。");
  EXPECT_EQ(rig.results[0].user_name, "bob");
  EXPECT_EQ(rig.results[0].address, "bob@example.org");
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_EQ(peer.received(), kDefaultSent);
}

TEST(AccountMail, ABodyWithoutTagsIsSentUnchanged) {
  MailRig rig;
  platform::write_file_atomically(rig.body_file, "Welcome.\n.hidden line\n");
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_NE(peer.received().find("Subject: Your account\r\n\r\nWelcome.\n.hidden line\n\r\n.\r\n"),
            std::string::npos);
}

TEST(AccountMail, AnEmptySenderStillSendsMailFromWithEmptyBrackets) {
  MailRig rig("");
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent);
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_NE(peer.received().find("\r\nMAIL FROM:<>\r\n"), std::string::npos);
}

TEST(AccountMail, AGreetingOf554FailsWithoutTheReply) {
  MailRig rig;
  SmtpBehaviour b;
  b.greeting = "554 No service here\r\n";
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, "SMTPサーバーがエラーを返しました。");
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_EQ(peer.received(), "");
}

TEST(AccountMail, ARecipientRefusedWith550FailsWithTheReplyInBrackets) {
  MailRig rig;
  SmtpBehaviour b;
  b.replies["RCPT"] = {"550 No such user here\r\n"};
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text,
            "SMTPサーバーがエラーを返しました。[550 No such user here\r\n]");
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_EQ(peer.received().find("DATA"), std::string::npos);
}

TEST(AccountMail, ARefusalAtTheEndOfDataFails) {
  MailRig rig;
  SmtpBehaviour b;
  b.replies["END"] = {"452 Mailbox full\r\n"};
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, "SMTPサーバーがエラーを返しました。[452 Mailbox full\r\n]");
}

TEST(AccountMail, ALongServerReplyIsCutToTheStatusField) {
  MailRig rig;
  SmtpBehaviour b;
  b.replies["MAIL"] = {"553 " + std::string(600, 'r') + "\r\n"};
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  const std::string& status = rig.results[0].status_text;
  EXPECT_EQ(status.size(), 255u);
  EXPECT_TRUE(status.starts_with("SMTPサーバーがエラーを返しました。[553 rrr")) << status;
  EXPECT_TRUE(status.ends_with("rr]")) << status;
}

TEST(AccountMail, AServerThatHangsUpAfterTheEndOfDataStillCountsAsSent) {
  MailRig rig;
  SmtpBehaviour b;
  b.close_after_data = true;
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent);
}

TEST(AccountMail, AReplyOfExactly1024BytesIsJoinedWithItsRest) {
  MailRig rig;
  SmtpBehaviour b;
  const std::string first = "250-" + std::string(1018, 'h') + "\r\n";  // 1024 bytes
  ASSERT_EQ(first.size(), 1024u);
  b.replies["HELO"] = {first, "xyz rest of the reply\r\n"};
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  // Unjoined, the rest would have been taken as the reply to MAIL FROM and refused.
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent) << rig.results[0].status_text;
}

TEST(AccountMail, AHangUpBeforeAReplyIsNoReply) {
  MailRig rig;
  ScriptedPeer peer([](scripted::Link& link) {
    link.send("220 hi\r\n");
    link.line();  // HELO, then hang up
  });
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, "応答を受信できません。");
}

TEST(AccountMail, AnUnreachableServerCannotBeConnected) {
  MailRig rig;
  rig.mailer->set_smtp_port(scripted::closed_port());
  ASSERT_TRUE(rig.mailer->start("bob", "pw", "bob@example.org", rig.body_file));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, "[127.0.0.1]に接続できません。");
}

TEST(AccountMail, ASilentServerEndsAtTheReceiveBound) {
  MailRig rig;
  SmtpBehaviour b;
  b.greeting = "";
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));  // the real 5000 ms bound
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].status_text, "応答を受信できません。");
}

TEST(AccountMail, AMissingMailTxtStartsNothing) {
  MailRig rig;
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  rig.mailer->set_smtp_port(peer.port());
  EXPECT_FALSE(rig.mailer->start("bob", "pw", "bob@example.org", rig.dir + "none.txt"));
  qt_test::pump_events(200);
  EXPECT_TRUE(rig.results.empty());
  EXPECT_EQ(peer.connections(), 0);
}

TEST(AccountMail, ARecipientWithALineBreakIsRefusedBeforeAnyConnection) {
  MailRig rig;
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer, "bob", "bob@example.org>\r\nRCPT TO:<victim@example.net"));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, manager::kLineBreakRefusal);
  EXPECT_EQ(peer.connections(), 0);
}

TEST(AccountMail, AUserNameWithALineBreakCannotEndTheDataEarly) {
  MailRig rig;
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer, "bob\r\n.\r\nMAIL FROM:<x@y>", "bob@example.org"));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, manager::kLineBreakRefusal);
  EXPECT_EQ(peer.connections(), 0);
}

TEST(AccountMail, ASubjectOrSenderWithALineBreakIsRefused) {
  manager::CancelEvent cancel;
  manager::SmtpMail mail{"127.0.0.1", "a@b", "c@d", "Hi\r\nBcc: everyone@example.net", "body"};
  EXPECT_EQ(manager::send_smtp_mail(mail, cancel, scripted::closed_port()).status_text,
            manager::kLineBreakRefusal);
  mail.subject = "Hi";
  mail.sender = "a@b>\nRCPT TO:<e@f";
  EXPECT_FALSE(manager::send_smtp_mail(mail, cancel, scripted::closed_port()).sent);
}

TEST(AccountMail, TwoMailsAtOnceGetOneResultEach) {
  MailRig rig;
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer, "ann", "ann@example.org"));
  ASSERT_TRUE(rig.send(peer, "ben", "ben@example.org"));
  ASSERT_TRUE(rig.wait_results(2));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent);
  EXPECT_EQ(rig.results[1].outcome, MailOutcome::Sent);
  EXPECT_NE(rig.results[0].user_name, rig.results[1].user_name);
}

TEST(AccountMail, DestroyingTheMailerAbortsAMailWaitingForAReply) {
  MailRig rig;
  SmtpBehaviour b;
  b.silent_at = "HELO";
  ScriptedPeer peer(scripted::smtp_script(b));
  rig.mailer->set_receive_bound(120000);  // only the abort can end the wait
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(qt_test::wait_until([&] { return peer.received().starts_with("HELO"); }));
  rig.mailer.reset();
  // The server sees the connection close long before its own 60 s wait ends.
  EXPECT_TRUE(peer.wait_finished(1, 5000));
  qt_test::pump_events(100);
  EXPECT_TRUE(rig.results.empty());
}

}  // namespace
