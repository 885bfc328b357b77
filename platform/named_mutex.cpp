// Machine-wide names held by a process: abstract UNIX sockets. The kernel drops the name
// when the last descriptor closes, so it vanishes with the process however it ends.
#include "platform/named_mutex.h"

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// Binds a fresh socket to the abstract name; the descriptor, or -1 when the name is taken
// or cannot be used.
int bind_abstract(const std::string& name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.empty() || name.size() > sizeof address.sun_path - 1) return -1;
  address.sun_path[0] = '\0';  // abstract namespace
  memcpy(address.sun_path + 1, name.data(), name.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

NamedMutex::~NamedMutex() {
  if (fd_ >= 0) close(fd_);
}

bool NamedMutex::create(const std::string& name) {
  if (fd_ >= 0) return false;
  fd_ = bind_abstract(name);
  return fd_ >= 0;
}

bool named_mutex_exists(const std::string& name) {
  int fd = bind_abstract(name);
  if (fd < 0) return true;
  close(fd);
  return false;
}

}  // namespace platform
