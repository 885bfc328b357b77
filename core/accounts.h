// Account (.usr) and group (.grp) files in the user folder.
#pragma once
#include <string>
#include <string_view>

#include "core/session.h"

namespace core {

// Loads the account named by the session's user name; false when it has no file.
bool load_account(Session& s);
// Writes a new account file from the session's user name, password and e-mail in one
// replacement of the file, then loads it. False (and no file) when it cannot be written.
bool create_account(Session& s);
// True when a password or address can be stored in an account file and read back
// unchanged: not empty, no control bytes, no blank at either end, not wrapped in double
// quotes.
bool storable_account_text(std::string_view text);
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
