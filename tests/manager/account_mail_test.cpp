// The account mail: mail.txt with its two tags, the SMTP dialogue against a scripted
// server with every refusal and failure, one result per mail, refused line breaks, and
// the mailer's shut-down.
#include "manager/notify/account_mail.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "manager/notify/smtp_client.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tests/manager/python_server.h"
#include "tests/manager/smtp_peer.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::AccountMailResult;
using manager::MailOutcome;
using scripted::ScriptedPeer;
using scripted::SmtpBehaviour;

// What the server received, with the Date and Message-ID values (which change every
// time) written as "*".
std::string without_stamps(const std::string& received) {
  static const std::regex stamps("(\r\n(Date|Message-ID): )[^\r]*");
  return std::regex_replace(received, stamps, "$1*");
}

std::string default_sent() {
  return "EHLO " + manager::greeting_name(platform::kLoopbackAddress) + "\r\n"
         "MAIL FROM:<admin@example.org> BODY=8BITMIME\r\n"
         "RCPT TO:<bob@example.org>\r\n"
         "DATA\r\n"
         "From: admin@example.org\r\nTo: bob@example.org\r\nDate: *\r\nMessage-ID: *\r\n"
         "Subject: Your account\r\nMIME-Version: 1.0\r\n"
         "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
         "アカウントを生成したのでお伝えします。\r\nユーザー名：bob\r\nパスワード：Xk3pQm7z\r\n"
         "でログインできます。\r\n"
         ".\r\n"
         "QUIT\r\n";
}

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
  void use_port(uint16_t port) {
    platform::profile_write_string(ini, "UnKnownID", "SmtpPort", std::to_string(port));
  }
  bool send(ScriptedPeer& peer, const std::string& user = "bob",
            const std::string& address = "bob@example.org") {
    use_port(peer.port());
    return mailer->start(user, "Xk3pQm7z", address, body_file) ==
           manager::AccountMailer::Start::Started;
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
  EXPECT_EQ(without_stamps(peer.received()), default_sent());
}

TEST(AccountMail, ABodyWithoutTagsIsSentUnchanged) {
  MailRig rig;
  platform::write_file_atomically(rig.body_file, "Welcome.\n.hidden line\n");
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_NE(peer.received().find("8bit\r\n\r\nWelcome.\r\n..hidden line\r\n.\r\nQUIT"),
            std::string::npos);
}

TEST(AccountMail, AnEmptySenderStillSendsMailFromWithEmptyBrackets) {
  MailRig rig("");
  ScriptedPeer peer(scripted::smtp_script(SmtpBehaviour{}));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent);
  ASSERT_TRUE(peer.wait_finished(1));
  EXPECT_NE(peer.received().find("\r\nMAIL FROM:<> BODY=8BITMIME\r\n"), std::string::npos);
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
  b.replies["EHLO"] = {first, "xyz rest of the reply\r\n"};
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
    link.line();  // EHLO, then hang up
  });
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Failed);
  EXPECT_EQ(rig.results[0].status_text, "応答を受信できません。");
}

TEST(AccountMail, AnUnreachableServerCannotBeConnected) {
  MailRig rig;
  rig.use_port(scripted::closed_port());
  ASSERT_EQ(rig.mailer->start("bob", "pw", "bob@example.org", rig.body_file),
            manager::AccountMailer::Start::Started);
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
  rig.use_port(peer.port());
  EXPECT_EQ(rig.mailer->start("bob", "pw", "bob@example.org", rig.dir + "none.txt"),
            manager::AccountMailer::Start::BodyUnreadable);
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
  mail.port = scripted::closed_port();
  EXPECT_EQ(manager::send_smtp_mail(mail, cancel).status_text, manager::kLineBreakRefusal);
  mail.subject = "Hi";
  mail.sender = "a@b>\nRCPT TO:<e@f";
  EXPECT_FALSE(manager::send_smtp_mail(mail, cancel).sent);
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
  b.silent_at = "EHLO";
  ScriptedPeer peer(scripted::smtp_script(b));
  rig.mailer->set_receive_bound(120000);  // only the abort can end the wait
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(qt_test::wait_until([&] { return peer.received().starts_with("EHLO"); }));
  rig.mailer.reset();
  // The server sees the connection close long before its own 60 s wait ends.
  EXPECT_TRUE(peer.wait_finished(1, 5000));
  qt_test::pump_events(100);
  EXPECT_TRUE(rig.results.empty());
}

// ---- a real mail server ------------------------------------------------------------------

// A self-signed certificate for 127.0.0.1 in folder (cert.pem, key.pem).
void make_certificate(const std::string& folder) {
  const auto made = platform::run_program(
      "/usr/bin/openssl",
      {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
       "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", folder + "key.pem", "-out",
       folder + "cert.pem"},
      60000);
  ASSERT_TRUE(made && made->exit_code == 0);
}

QJsonObject received_message(const std::string& folder) {
  const std::string text = platform::read_whole_file(folder + "message.json").value_or("{}");
  return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::string text_of(const QJsonObject& o, const char* key) {
  return o.value(key).toString().toStdString();
}

// aiosmtpd with STARTTLS required and AUTH only over TLS: the mail goes encrypted and
// logged in, and what the server took parses under the strict policy of Python's email
// package with the Japanese subject and body intact, the line starting with "." included.
// A wrong password and a certificate that cannot be checked fail the mail.
TEST(AccountMail, ARealServerWithStartTlsAndAuthTakesAWellFormedMessage) {
  MailRig rig;
  make_certificate(rig.dir);
  python_server::Server server("smtp_server.py", {rig.dir + "cert.pem", rig.dir + "key.pem",
                                                  "mailer", "s3cret pass"});
  ASSERT_TRUE(server.wait_ready()) << server.log();
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"SmtpPort", std::to_string(server.port())}, {"SmtpTls", "2"}, {"SmtpUser", "mailer"},
           {"SmtpPass", "s3cret pass"}, {"SmtpCaFile", rig.dir + "cert.pem"},
           {"MailTitle", "アカウント発行のお知らせ（ユーザー登録完了）"}}) {
    ASSERT_TRUE(platform::profile_write_string(rig.ini, "UnKnownID", key, value));
  }
  const std::string body = "ようこそ $USER$ さん\n.このドットで始まる行も届きます\n.\nパスワード：$PASS$\n";
  platform::write_file_atomically(rig.body_file, body);
  ASSERT_EQ(rig.mailer->start("bob", "Xk3pQm7z", "bob@example.org", rig.body_file),
            manager::AccountMailer::Start::Started);
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent) << rig.results[0].status_text << server.log();
  const QJsonObject m = received_message(server.folder());
  ASSERT_TRUE(m.value("parsed").toBool()) << text_of(m, "error") << server.log();
  EXPECT_TRUE(m.value("tls").toBool());
  EXPECT_TRUE(m.value("authenticated").toBool());
  EXPECT_EQ(text_of(m, "subject"), "アカウント発行のお知らせ（ユーザー登録完了）");
  EXPECT_EQ(text_of(m, "body"),
            "ようこそ bob さん\r\n.このドットで始まる行も届きます\r\n.\r\nパスワード：Xk3pQm7z\r\n");
  EXPECT_EQ(text_of(m, "from"), "admin@example.org");
  EXPECT_EQ(text_of(m, "to"), "bob@example.org");
  EXPECT_EQ(text_of(m, "charset"), "utf-8");
  EXPECT_FALSE(text_of(m, "date").empty());
  EXPECT_TRUE(text_of(m, "message_id").starts_with("<"));

  platform::remove_file(server.folder() + "message.json");
  platform::profile_write_string(rig.ini, "UnKnownID", "SmtpPass", "wrong");
  rig.mailer->start("bob", "pw", "bob@example.org", rig.body_file);
  ASSERT_TRUE(rig.wait_results(2));
  EXPECT_EQ(rig.results[1].outcome, MailOutcome::Failed);
  EXPECT_TRUE(rig.results[1].status_text.starts_with("SMTPサーバーがエラーを返しました。[535"))
      << rig.results[1].status_text;

  platform::profile_write_string(rig.ini, "UnKnownID", "SmtpCaFile", "");
  rig.mailer->start("bob", "pw", "bob@example.org", rig.body_file);
  ASSERT_TRUE(rig.wait_results(3));
  EXPECT_EQ(rig.results[2].outcome, MailOutcome::Failed);
  EXPECT_TRUE(rig.results[2].status_text.starts_with("SMTPサーバーとの暗号化(STARTTLS)に失敗しました。"))
      << rig.results[2].status_text;
  EXPECT_FALSE(platform::path_exists(server.folder() + "message.json"));
}

// A server that does not know EHLO gets HELO and, without 8BITMIME, a base64 body.
TEST(AccountMail, AServerWithoutEhloGetsHeloAndABase64Body) {
  MailRig rig;
  SmtpBehaviour b;
  b.replies["EHLO"] = {"502 Command not implemented\r\n"};
  ScriptedPeer peer(scripted::smtp_script(b));
  ASSERT_TRUE(rig.send(peer));
  ASSERT_TRUE(rig.wait_results(1));
  EXPECT_EQ(rig.results[0].outcome, MailOutcome::Sent) << rig.results[0].status_text;
  ASSERT_TRUE(peer.wait_finished(1));
  const std::string got = peer.received();
  EXPECT_NE(got.find("\r\nHELO "), std::string::npos);
  EXPECT_NE(got.find("\r\nMAIL FROM:<admin@example.org>\r\n"), std::string::npos);
  EXPECT_NE(got.find("Content-Transfer-Encoding: base64\r\n\r\n"), std::string::npos);
}

}  // namespace
