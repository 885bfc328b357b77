#include "core/run_as.h"

#include "shared/ini.h"

namespace core {
namespace {

constexpr uint32_t kRootUserId = 0;

std::string user_text(uint32_t uid) {
  auto user = platform::find_user(uid);
  return user ? user->name : "uid " + std::to_string(uid);
}

}  // namespace

std::string configured_run_as_user(const std::string& config_file) {
  return shared::IniFile(config_file).get("System", "RunAsUser", "");
}

RunAsPlan plan_run_as_user(const std::string& name, const std::string& program_directory) {
  RunAsPlan plan;
  if (name.empty()) return plan;
  const std::string prefix = "quorsrv: RunAsUser=" + name + ": ";
  auto user = platform::find_user(name);
  if (!user) {
    plan.error = prefix + "no such user; not serving";
    return plan;
  }
  auto owner = platform::file_owner(program_directory);
  if (!owner || *owner != user->uid) {
    plan.error = prefix + "the program directory " + program_directory +
                 (owner ? " belongs to " + user_text(*owner) : std::string(" does not exist")) +
                 ", not to " + name + "; not serving (chown -R " + name + ": " +
                 program_directory + ")";
    return plan;
  }
  const uint32_t current = platform::effective_user_id();
  if (current == user->uid) return plan;
  if (current != kRootUserId) {
    plan.error = prefix + "only root can take on another user (running as " +
                 user_text(current) + "); not serving";
    return plan;
  }
  plan.switch_to = user;
  return plan;
}

std::string take_on_user(const platform::UserIdentity& user) {
  auto failure = platform::switch_to_user(user);
  if (!failure) return "";
  return "quorsrv: RunAsUser=" + user.name + ": cannot take on the user (" + *failure +
         "); not serving";
}

}  // namespace core
