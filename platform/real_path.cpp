// Real paths through the disk.
#include "platform/real_path.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

namespace platform {

std::optional<std::string> real_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return std::nullopt;
  std::string result(resolved);
  std::free(resolved);
  return result;
}

bool name_exists_no_follow(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace platform
