// The admin channel's outgoing records: any thread queues a record without waiting, a
// thread of the outbox sends them. A Manager that stops reading costs memory up to a
// bound, never a session's time; one that falls further behind is disconnected, and gets
// the snapshot of every live session when it connects again.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "platform/socket.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "shared/admin_record.h"

namespace core {

// Bytes of events that may wait for a Manager beyond the snapshot it was sent on connect.
inline constexpr size_t kAdminQueueBound = 4 * 1024 * 1024;

class AdminOutbox {
 public:
  AdminOutbox() = default;
  AdminOutbox(const AdminOutbox&) = delete;
  AdminOutbox& operator=(const AdminOutbox&) = delete;

  // Starts sending to a new Manager connection; snapshot_bytes may wait on top of the
  // bound. False when the sender thread cannot be started.
  bool open(platform::Socket connection, size_t snapshot_bytes);
  // Queues one record. False when nothing is open, or when the record would take the
  // queue past its bound: the connection is then shut down, the queue dropped and a line
  // written on standard error.
  bool push(const shared::AdminEventBytes& record);
  // Waits up to wait_ms until every queued record has been sent.
  void drain(int wait_ms);
  // Waits up to flush_ms for the queue to go out, then shuts the connection down and
  // joins the sender. The connection itself stays open for its owner to close.
  void close(int flush_ms);

 private:
  void run_sender();
  void drop_queue();  // lock_ held

  std::mutex lock_;  // a leaf lock, taken under the admin-send lock
  std::condition_variable changed_;
  std::deque<shared::AdminEventBytes> queue_;
  size_t queued_bytes_ = 0;
  size_t limit_ = 0;
  platform::Socket connection_ = platform::kNoSocket;
  bool open_ = false;
  bool closing_ = false;
  bool broken_ = false;
  bool sending_ = false;  // a record is on its way, out of the queue
  platform::Event drained_{true};
  platform::Thread sender_;
};

}  // namespace core
