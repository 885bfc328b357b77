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

namespace {

LocalTime calendar_of(const tm& parts) {
  LocalTime result;
  result.year = parts.tm_year + 1900;
  result.month = parts.tm_mon + 1;
  result.day = parts.tm_mday;
  result.hour = parts.tm_hour;
  result.minute = parts.tm_min;
  result.second = parts.tm_sec;
  return result;
}

}  // namespace

LocalTime local_time_of(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  tm parts{};
  if (!localtime_r(&t, &parts)) return LocalTime{};
  return calendar_of(parts);
}

LocalTime utc_time_of(int64_t unix_seconds) {
  time_t t = static_cast<time_t>(unix_seconds);
  tm parts{};
  if (!gmtime_r(&t, &parts)) return LocalTime{};
  return calendar_of(parts);
}

std::optional<int64_t> unix_time_of_utc(const LocalTime& utc) {
  if (utc.year < 1970 || utc.year > 9999 || utc.month < 1 || utc.month > 12 || utc.day < 1 ||
      utc.hour < 0 || utc.hour > 23 || utc.minute < 0 || utc.minute > 59 || utc.second < 0 ||
      utc.second > 60) {
    return std::nullopt;
  }
  tm parts{};
  parts.tm_year = utc.year - 1900;
  parts.tm_mon = utc.month - 1;
  parts.tm_mday = utc.day;
  parts.tm_hour = utc.hour;
  parts.tm_min = utc.minute;
  parts.tm_sec = utc.second;
  time_t t = timegm(&parts);
  // A day past the month's end (April 31) is normalised by timegm: refuse it.
  if (t == static_cast<time_t>(-1) || parts.tm_mday != utc.day || parts.tm_mon != utc.month - 1)
    return std::nullopt;
  return static_cast<int64_t>(t);
}

LocalTime local_time_now() { return local_time_of(unix_time_now()); }

void sleep_ms(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace platform
