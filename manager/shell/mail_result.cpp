#include "manager/shell/mail_result.h"

#include "manager/editors/refusal.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "shared/bounded_text.h"

namespace manager {
namespace {

// A name the Core accepted is a plain file name; anything else never reaches a file.
bool plain_file_name(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

}  // namespace

void hand_off_account_mail(AccountMailer& mailer, const shared::SessionSnapshot& snapshot,
                           const ProgramPaths& paths, const LogFunction& log) {
  const std::string address(shared::cut_text(snapshot.email, 255));
  log("ユーザー[" + snapshot.user_name + "]のアカウントを作成しました。メールで通知します。(" +
      snapshot.email + ")");
  const std::string body_file = paths.program_dir + "mail.txt";
  AccountMailResult failure{MailOutcome::Failed, snapshot.user_name, address, ""};
  switch (mailer.start(snapshot.user_name, snapshot.password, address, body_file)) {
    case AccountMailer::Start::Started:
      return;
    case AccountMailer::Start::BodyUnreadable:
      failure.status_text = "メール本文ファイル[" + body_file + "]を読めないため、メールを送信できません。"
                            "(" + address + ")";
      break;
    case AccountMailer::Start::NoThread:
      failure.status_text = "メモリ不足のため、メール送信失敗しました。(" + address + ")";
      break;
  }
  // Nobody will learn the new account's password: it goes like one whose mail failed.
  apply_mail_result(failure, paths, log);
}

void apply_mail_result(const AccountMailResult& result, const ProgramPaths& paths,
                       const LogFunction& log) {
  log(result.status_text);
  if (result.outcome == MailOutcome::Failed) {
    log(result.address + "にメールを送信できませんでした。");
    if (plain_file_name(result.user_name)) {
      platform::remove_profile_file(paths.user_dir + result.user_name + ".usr");
    }
    log("作成したアカウント[" + result.user_name + "]を削除しました。");
    platform::append_to_file(paths.user_dir + "MailErr.txt",
                             "Mail Send Error  acount:[" + result.user_name + "] Address:[" +
                                 result.address + "]\r\n");
  } else if (result.outcome == MailOutcome::Sent) {
    refuse_address(paths.program_dir, result.address);
  }
}

}  // namespace manager
