// The operator's refusals: a line appended to RefuseIP.txt, and an account switched off.
#pragma once
#include <string>

namespace manager {

// Appends text as one line to program_dir + "RefuseIP.txt"; false when it cannot be written.
bool refuse_address(const std::string& program_dir, const std::string& text);
// Sets [UserInfo] RefuseUser of user_dir + name + ".usr" to value.
bool refuse_user(const std::string& user_dir, const std::string& name, int value);

}  // namespace manager
