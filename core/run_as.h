// The Core's service user: [System] RunAsUser names the account the Core serves as. A
// Core started as root opens its ports first and then takes on that account, so that
// every file it reads or writes is that account's business.
#pragma once
#include <optional>
#include <string>

#include "platform/users.h"

namespace core {

// [System] RunAsUser of the settings file; "" when not set.
std::string configured_run_as_user(const std::string& config_file);

// What RunAsUser asks for, checked before anything is opened.
struct RunAsPlan {
  std::optional<platform::UserIdentity> switch_to;  // once the ports are open
  std::string error;  // one line for standard error; not empty: the Core must not serve
};
// No name: nothing to do. The account must exist and own the program directory; a Core
// that already runs as it stays as it is, only root can take it on.
RunAsPlan plan_run_as_user(const std::string& name, const std::string& program_directory);

// Takes on the account for the whole process; "" on success, else the error line.
std::string take_on_user(const platform::UserIdentity& user);

}  // namespace core
