// Threads over pthreads with a small explicit stack.
#include "platform/thread.h"

#include <pthread.h>

#include <memory>

namespace platform {
namespace {

void* run_body(void* argument) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

// Creates the thread; *handle receives its id. False when it cannot be created.
bool create_thread(std::function<void()> body, size_t stack_bytes, bool detached,
                   pthread_t* handle) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return false;
  const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
  size_t stack = stack_bytes < minimum ? minimum : stack_bytes;
  pthread_attr_setstacksize(&attributes, stack);
  if (detached) pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  auto* heap_body = new std::function<void()>(std::move(body));
  int r = pthread_create(handle, &attributes, run_body, heap_body);
  pthread_attr_destroy(&attributes);
  if (r != 0) {
    delete heap_body;
    return false;
  }
  return true;
}

}  // namespace

Thread::~Thread() { join(); }

bool Thread::start(std::function<void()> body, size_t stack_bytes) {
  if (started_) return false;
  pthread_t handle;
  if (!create_thread(std::move(body), stack_bytes, false, &handle)) return false;
  handle_ = static_cast<unsigned long>(handle);
  started_ = true;
  return true;
}

void Thread::join() {
  if (!started_) return;
  pthread_join(static_cast<pthread_t>(handle_), nullptr);
  started_ = false;
  handle_ = 0;
}

bool start_detached_thread(std::function<void()> body, size_t stack_bytes) {
  pthread_t handle;
  return create_thread(std::move(body), stack_bytes, true, &handle);
}

}  // namespace platform
