// What the main view does with account mails: the hand-off when the Core created an
// account (event 22) and the clean-up or refusal after the mail's outcome.
#pragma once
#include <functional>
#include <string>

#include "manager/notify/account_mail.h"
#include "manager/shell/program_paths.h"
#include "shared/admin_record.h"

namespace manager {

using LogFunction = std::function<void(const std::string&)>;

// Logs the hand-off and starts the mail (password and address from the snapshot, body
// from program_dir + "mail.txt"); logs the failure text when the mail cannot start.
void hand_off_account_mail(AccountMailer& mailer, const shared::SessionSnapshot& snapshot,
                           const ProgramPaths& paths, const LogFunction& log);

// A failed mail deletes the account it was for and records it in MailErr.txt; a sent
// mail puts the address into RefuseIP.txt so it cannot obtain another account.
void apply_mail_result(const AccountMailResult& result, const ProgramPaths& paths,
                       const LogFunction& log);

}  // namespace manager
