// Account mail: the generated password of a self-registered account mailed over SMTP,
// and the two dialogs that set it up (body editor, mail settings).
#pragma once
#include <QObject>
#include <QString>
#include <memory>
#include <string>

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
  // False when mail.txt cannot be read (nothing is started).
  bool start(const std::string& user_name, const std::string& password,
             const std::string& address, const std::string& body_file);

 signals:
  void mail_finished(manager::AccountMailResult result);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// "メール本文作成": edits mail.txt beside ini_file and the subject; true on OK.
bool run_mail_body_dialog(QWidget* parent, const std::string& ini_file, std::string& subject);
// "メールの設定": edits the SMTP server and the sender address; true on OK.
bool run_mail_settings_dialog(QWidget* parent, std::string& smtp_server, std::string& sender);

}  // namespace manager

Q_DECLARE_METATYPE(manager::AccountMailResult)
