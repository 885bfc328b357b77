// System users and groups: looking them up, taking on another user's identity, and who
// owns a file.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

struct UserIdentity {
  std::string name;
  uint32_t uid = 0;
  uint32_t gid = 0;  // the user's primary group
};

// The user of that name in the password database; none when there is no such user.
std::optional<UserIdentity> find_user(const std::string& name);
// The user with that id; none when the id has no entry.
std::optional<UserIdentity> find_user(uint32_t uid);
// True when the user with that id belongs to the named group, as primary group or as a
// listed member; false when the user or the group does not exist.
bool user_in_group(uint32_t uid, const std::string& group);

// Takes on the user's identity for the whole process (every thread): its supplementary
// groups, primary group and user id, real, effective and saved. Only root can do this.
// On failure the reason (as strerror gives it) is returned and the identity may be
// partly changed, so the caller must not go on serving.
std::optional<std::string> switch_to_user(const UserIdentity& user);
uint32_t effective_user_id();

// Owner (uid) of a file or folder, following symbolic links; none when it does not exist.
std::optional<uint32_t> file_owner(const std::string& path);

}  // namespace platform
