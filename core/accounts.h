// Account (.usr) and group (.grp) files in the user folder.
#pragma once
#include <string>

#include "core/session.h"

namespace core {

// Loads the account named by the session's user name; false when it has no file.
bool load_account(Session& s);
// Writes a new account file from the session's user name, password and e-mail, then
// loads it.
void create_account(Session& s);
// Writes credit, last-connect date and e-mail back into the account file.
void save_at_logout(Session& s);
// Eight random letters, upper or lower case.
std::string generate_password();
// True when a user name may name a file in the user folder: not empty, at most 200
// bytes, valid UTF-8 without control bytes, '/' or '\\', and not starting with '.'.
bool acceptable_user_name(const std::string& name);
// True when the user folder holds an account file for the name.
bool account_exists(const std::string& name);

}  // namespace core
