// Account mails: each mail runs its SMTP dialogue on a worker thread of its own and
// reports exactly one result, queued to the mailer's thread. All workers watch one cancel
// event, which the mailer's destructor sets before it waits for them (bounded, never
// killing a thread).
#include "manager/notify/account_mail.h"

#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "manager/notify/smtp_client.h"
#include "platform/files.h"
#include "platform/thread.h"
#include "shared/ini.h"

namespace manager {
namespace {

constexpr int kThreadWaitMs = 10000;

struct MailJob {
  std::string user_name;
  std::string password;
  std::string address;
  SmtpMail mail;
};

}  // namespace

std::string mail_body_path(const std::string& ini_file) {
  const size_t slash = ini_file.rfind('/');
  return (slash == std::string::npos ? std::string() : ini_file.substr(0, slash + 1)) + "mail.txt";
}

std::string default_mail_body() {
  return "アカウントを生成したのでお伝えします。\nユーザー名：$USER$\nパスワード：$PASS$\n"
         "でログインできます。\n";
}

std::optional<std::string> read_mail_body(const std::string& path) {
  std::optional<std::string> raw = platform::read_whole_file(path);
  if (!raw) return std::nullopt;
  std::string text;
  text.reserve(raw->size());
  for (size_t i = 0; i < raw->size(); ++i) {
    if ((*raw)[i] == '\r' && i + 1 < raw->size() && (*raw)[i + 1] == '\n') continue;
    text += (*raw)[i];
  }
  return text;
}

std::string fill_mail_tags(std::string_view body, const std::string& user_name,
                           const std::string& password) {
  std::string out;
  size_t pos = 0;
  while (pos < body.size()) {
    if (body.substr(pos, 6) == "$USER$") {
      out += user_name;
      pos += 6;
    } else if (body.substr(pos, 6) == "$PASS$") {
      out += password;
      pos += 6;
    } else {
      out += body[pos++];
    }
  }
  return out;
}

// What the mailer and its workers share; each worker keeps it alive until it ends.
struct MailShared {
  CancelEvent cancel;
  std::mutex mutex;
  std::condition_variable changed;
  int running = 0;
  std::function<void(const AccountMailResult&)> sink;  // empty once the mailer is gone
  int receive_bound_ms = kReceiveBoundMs;

  void deliver(const AccountMailResult& result) {
    std::lock_guard<std::mutex> lock(mutex);
    if (sink) sink(result);
  }
  void finished() {
    std::lock_guard<std::mutex> lock(mutex);
    --running;
    changed.notify_all();
  }
};

struct AccountMailer::State {
  std::string ini_file;
  std::shared_ptr<MailShared> shared = std::make_shared<MailShared>();
};

namespace {

AccountMailResult run_job(const MailJob& job, MailShared& shared, int bound) {
  AccountMailResult result;
  result.user_name = job.user_name;
  result.address = job.address;
  SmtpOutcome outcome;
  // The user name and password go into the body: a line break there could end the data
  // early and start commands of its own.
  if (breaks_command_line(job.user_name) || breaks_command_line(job.password))
    outcome = {false, kLineBreakRefusal};
  else
    outcome = send_smtp_mail(job.mail, shared.cancel, bound);
  result.outcome = outcome.sent ? MailOutcome::Sent : MailOutcome::Failed;
  result.status_text = outcome.status_text;
  return result;
}

}  // namespace

AccountMailer::AccountMailer(std::string ini_file, QObject* parent)
    : QObject(parent), state_(new State) {
  qRegisterMetaType<AccountMailResult>();
  state_->ini_file = std::move(ini_file);
  state_->shared->sink = [this](const AccountMailResult& result) {
    QMetaObject::invokeMethod(
        this, [this, result] { emit mail_finished(result); }, Qt::QueuedConnection);
  };
}

AccountMailer::~AccountMailer() {
  MailShared& shared = *state_->shared;
  shared.cancel.set();
  std::unique_lock<std::mutex> lock(shared.mutex);
  shared.changed.wait_for(lock, std::chrono::milliseconds(kThreadWaitMs),
                          [&shared] { return shared.running == 0; });
  shared.sink = nullptr;
}

AccountMailer::Start AccountMailer::start(const std::string& user_name, const std::string& password,
                                          const std::string& address, const std::string& body_file) {
  const std::optional<std::string> body = read_mail_body(body_file);
  if (!body) return Start::BodyUnreadable;
  const shared::IniFile ini(state_->ini_file);
  const MailServerSettings server = load_mail_server_settings(state_->ini_file);
  MailJob job;
  job.user_name = user_name;
  job.password = password;
  job.address = address;
  job.mail.server = server.server;
  job.mail.sender = server.sender;
  job.mail.subject = ini.get("UnKnownID", "MailTitle", "", 255);
  job.mail.recipient = address;
  job.mail.body = fill_mail_tags(*body, user_name, password);
  job.mail.port = static_cast<uint16_t>(server.port);
  job.mail.tls = static_cast<SmtpTls>(server.tls);
  job.mail.user = server.user;
  job.mail.password = server.password;
  job.mail.ca_file = ini.get("UnKnownID", "SmtpCaFile", "", 259);

  std::shared_ptr<MailShared> shared = state_->shared;
  int bound;
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    ++shared->running;
    bound = shared->receive_bound_ms;
  }
  const bool started = platform::start_detached_thread([shared, job, bound] {
    shared->deliver(run_job(job, *shared, bound));
    shared->finished();
  });
  if (!started) shared->finished();
  return started ? Start::Started : Start::NoThread;
}

MailServerSettings load_mail_server_settings(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  MailServerSettings s;
  s.server = ini.get("UnKnownID", "Smtp", "", 255);
  s.sender = ini.get("UnKnownID", "Mail", "", 255);
  s.port = ini.get_int("UnKnownID", "SmtpPort", 25);
  if (s.port < 1 || s.port > 65535) s.port = 25;
  s.tls = ini.get_int("UnKnownID", "SmtpTls", 1);
  if (s.tls < 0 || s.tls > 2) s.tls = 1;
  s.user = ini.get("UnKnownID", "SmtpUser", "", 255);
  s.password = ini.get("UnKnownID", "SmtpPass", "", 255);
  return s;
}

void AccountMailer::set_receive_bound(int milliseconds) {
  std::lock_guard<std::mutex> lock(state_->shared->mutex);
  state_->shared->receive_bound_ms = milliseconds;
}

}  // namespace manager
