// Events in the style the server's algorithms are written in: manual-reset events stay
// set until reset; auto-reset events wake one waiter and clear themselves.
#pragma once
#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
 public:
  explicit Event(bool manual_reset, bool initially_set = false)
      : manual_reset_(manual_reset), signalled_(initially_set) {}
  void set();
  void reset();
  bool is_set() const;
  void wait();
  bool wait_for(int milliseconds);  // true when the event was set in time

 private:
  const bool manual_reset_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace platform
