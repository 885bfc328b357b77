// Manual- and auto-reset events over a mutex and a condition variable.
#include "platform/sync.h"

#include <chrono>

namespace platform {

// Notifies while holding the mutex: a waiter often owns the event and destroys it as
// soon as its wait returns, which must not happen while this call still uses it.
void Event::set() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = true;
  if (manual_reset_)
    changed_.notify_all();
  else
    changed_.notify_one();
}

void Event::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = false;
}

bool Event::is_set() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return signalled_;
}

void Event::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return signalled_; });
  if (!manual_reset_) signalled_ = false;
}

bool Event::wait_for(int milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (milliseconds < 0) milliseconds = 0;
  bool got = changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                               [this] { return signalled_; });
  if (got && !manual_reset_) signalled_ = false;
  return got;
}

}  // namespace platform
