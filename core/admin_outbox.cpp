#include "core/admin_outbox.h"

#include <cstdio>

namespace core {

bool AdminOutbox::open(platform::Socket connection, size_t snapshot_bytes) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.clear();
    queued_bytes_ = 0;
    limit_ = kAdminQueueBound + snapshot_bytes;
    connection_ = connection;
    closing_ = false;
    broken_ = false;
    drained_.set();
  }
  bool started = sender_.start([this] { run_sender(); });
  std::lock_guard<std::mutex> guard(lock_);
  open_ = started;
  return started;
}

bool AdminOutbox::push(const shared::AdminEventBytes& record) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!open_ || closing_ || broken_) return false;
  if (queued_bytes_ + record.size() > limit_) {
    broken_ = true;
    drop_queue();
    platform::shutdown_both(connection_);
    std::fprintf(stderr,
                 "quorsrv: the Manager fell more than %zu bytes of events behind; its "
                 "connection was closed\n",
                 kAdminQueueBound);
    std::fflush(stderr);
    return false;
  }
  queue_.push_back(record);
  queued_bytes_ += record.size();
  drained_.reset();
  changed_.notify_one();
  return true;
}

void AdminOutbox::drain(int wait_ms) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) return;
  }
  drained_.wait_for(wait_ms);
}

void AdminOutbox::close(int flush_ms) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!open_) return;
    closing_ = true;
    changed_.notify_one();
  }
  drained_.wait_for(flush_ms);
  platform::shutdown_both(connection_);  // breaks a send the Manager does not take
  sender_.join();
  std::lock_guard<std::mutex> guard(lock_);
  drop_queue();
  connection_ = platform::kNoSocket;
  open_ = false;
}

void AdminOutbox::drop_queue() {
  queue_.clear();
  queued_bytes_ = 0;
  if (!sending_) drained_.set();
}

void AdminOutbox::run_sender() {
  std::unique_lock<std::mutex> guard(lock_);
  while (true) {
    changed_.wait(guard, [this] { return !queue_.empty() || closing_ || broken_; });
    if (queue_.empty() || broken_) break;
    shared::AdminEventBytes record = queue_.front();
    queue_.pop_front();
    queued_bytes_ -= record.size();
    sending_ = true;
    guard.unlock();
    bool sent = platform::send_all(connection_, record.data(), record.size()) == record.size();
    guard.lock();
    sending_ = false;
    if (!sent) {
      broken_ = true;
      drop_queue();
      break;
    }
    if (queue_.empty()) drained_.set();
  }
  drained_.set();
}

}  // namespace core
