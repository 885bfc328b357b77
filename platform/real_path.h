// Real paths through the disk: the one place where symbolic links are followed on
// purpose, so that the permission check can tell where a name really leads.
#pragma once
#include <optional>
#include <string>

namespace platform {

// The absolute path with every symbolic link, "." and ".." resolved (realpath). None when
// the name does not resolve: missing, a dangling or looping link, no search permission.
std::optional<std::string> real_path(const std::string& path);
// True when something of that name exists without following a final symbolic link
// (lstat): a dangling link counts as existing.
bool name_exists_no_follow(const std::string& path);

}  // namespace platform
