// Monotonic tick and local calendar time.
#include "platform/clock.h"

#include <ctime>
#include <thread>

namespace platform {

uint32_t tick_ms() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int64_t unix_time_now() { return static_cast<int64_t>(time(nullptr)); }

LocalTime local_time_of(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  tm parts{};
  LocalTime result;
  if (!localtime_r(&t, &parts)) return result;
  result.year = parts.tm_year + 1900;
  result.month = parts.tm_mon + 1;
  result.day = parts.tm_mday;
  result.hour = parts.tm_hour;
  result.minute = parts.tm_min;
  result.second = parts.tm_sec;
  return result;
}

LocalTime local_time_now() { return local_time_of(unix_time_now()); }

void sleep_ms(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
