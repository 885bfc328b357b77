// Threads with a small explicit stack. No thread is ever killed: owners break a
// worker's blocking calls (shutdown of its sockets, signalled events) and join it.
#pragma once
#include <cstddef>
#include <functional>

namespace platform {

inline constexpr size_t kSmallStack = 64 * 1024;

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();  // joins a thread that is still joinable

  // Starts body on a new thread; false when the thread cannot be created.
  bool start(std::function<void()> body, size_t stack_bytes = kSmallStack);
  void join();
  bool joinable() const { return started_; }

 private:
  unsigned long handle_ = 0;
  bool started_ = false;
};

// Starts a thread that nobody joins; it must end on its own.
bool start_detached_thread(std::function<void()> body, size_t stack_bytes = kSmallStack);

}  // namespace platform
