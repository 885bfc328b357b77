// System users and groups through the C library's name-service functions.
#include "platform/users.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr size_t kLookupBuffer = 16384;

UserIdentity identity_of(const passwd& entry) {
  return {entry.pw_name, static_cast<uint32_t>(entry.pw_uid), static_cast<uint32_t>(entry.pw_gid)};
}

std::optional<gid_t> group_id(const std::string& name) {
  std::vector<char> buffer(kLookupBuffer);
  group entry{};
  group* found = nullptr;
  if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::nullopt;
  return found->gr_gid;
}

}  // namespace

std::optional<UserIdentity> find_user(const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::vector<char> buffer(kLookupBuffer);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::nullopt;
  return identity_of(*found);
}

std::optional<UserIdentity> find_user(uint32_t uid) {
  std::vector<char> buffer(kLookupBuffer);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      !found)
    return std::nullopt;
  return identity_of(*found);
}

bool user_in_group(uint32_t uid, const std::string& group) {
  auto user = find_user(uid);
  auto wanted = group_id(group);
  if (!user || !wanted) return false;
  if (user->gid == *wanted) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  while (getgrouplist(user->name.c_str(), static_cast<gid_t>(user->gid), groups.data(), &count) <
         0) {
    groups.resize(static_cast<size_t>(count));
  }
  groups.resize(static_cast<size_t>(count));
  for (gid_t g : groups) {
    if (g == *wanted) return true;
  }
  return false;
}

std::optional<std::string> switch_to_user(const UserIdentity& user) {
  // glibc applies each of these to every thread of the process.
  if (initgroups(user.name.c_str(), static_cast<gid_t>(user.gid)) != 0 ||
      setresgid(user.gid, user.gid, user.gid) != 0 ||
      setresuid(user.uid, user.uid, user.uid) != 0)
    return std::string(strerror(errno));
  // Root must not be reachable again.
  if (user.uid != 0 && (setuid(0) == 0 || geteuid() != user.uid)) return std::string("root kept");
  return std::nullopt;
}

uint32_t effective_user_id() { return static_cast<uint32_t>(geteuid()); }

std::optional<uint32_t> file_owner(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return static_cast<uint32_t>(st.st_uid);
}

}  // namespace platform
