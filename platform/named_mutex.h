// A machine-wide name that exists exactly while the holding process lives (an abstract
// UNIX socket), the sign that a Core serves a port.
#pragma once
#include <string>

namespace platform {

class NamedMutex {
 public:
  NamedMutex() = default;
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;
  // Takes the name; false when another process already holds it (the caller may go on).
  bool create(const std::string& name);

 private:
  int fd_ = -1;
};

// True while some process holds the name.
bool named_mutex_exists(const std::string& name);

}  // namespace platform
