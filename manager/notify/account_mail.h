// Account mail: the generated password of a self-registered account mailed over SMTP,
// and the two dialogs that set it up (body editor, mail settings).
#pragma once
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace manager {

enum class MailOutcome { Failed = 0, Sent = 2 };

struct AccountMailResult {
  MailOutcome outcome = MailOutcome::Failed;
  std::string user_name;
  std::string address;
  std::string status_text;  // the reason, or "アドレス %s に、メールを送信しました。"
};

// Sends account mails on worker threads; exactly one mail_finished per started mail,
// queued to the thread that owns the mailer.
class AccountMailer : public QObject {
  Q_OBJECT
 public:
  AccountMailer(std::string ini_file, QObject* parent = nullptr);
  ~AccountMailer() override;  // aborts running mails and waits for their threads
  enum class Start { Started, BodyUnreadable, NoThread };
  // Nothing is started (and no result comes) unless Started.
  Start start(const std::string& user_name, const std::string& password,
              const std::string& address, const std::string& body_file);
  // How long each receive waits for the server (5000 ms; tests lengthen it).
  void set_receive_bound(int milliseconds);

 signals:
  void mail_finished(manager::AccountMailResult result);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// mail.txt beside the settings file.
std::string mail_body_path(const std::string& ini_file);
// The body used when mail.txt does not exist yet.
std::string default_mail_body();
// mail.txt as text (CR LF read as LF); none when it cannot be opened.
std::optional<std::string> read_mail_body(const std::string& path);
// Every $USER$ and $PASS$ replaced, left to right; the inserted texts are not searched again.
std::string fill_mail_tags(std::string_view body, const std::string& user_name,
                           const std::string& password);

// "メール本文作成": edits mail.txt beside ini_file and the subject; true on OK.
bool run_mail_body_dialog(QWidget* parent, const std::string& ini_file, std::string& subject);
// What "メールの設定" edits ([UnKnownID] of velmoraFTPd.ini).
struct MailServerSettings {
  std::string server;    // Smtp
  std::string sender;    // Mail
  int port = 25;         // SmtpPort
  int tls = 1;           // SmtpTls: 0 never, 1 when offered, 2 required
  std::string user;      // SmtpUser
  std::string password;  // SmtpPass
};
MailServerSettings load_mail_server_settings(const std::string& ini_file);
// "メールの設定"; true on OK (settings then hold the entries).
bool run_mail_settings_dialog(QWidget* parent, MailServerSettings& settings);

}  // namespace manager

Q_DECLARE_METATYPE(manager::AccountMailResult)
