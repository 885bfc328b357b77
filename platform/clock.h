// Time: the 32-bit millisecond tick (CLOCK_MONOTONIC, the same in every process, so the
// Manager can compare the Core's ticks with its own) and local calendar time.
#pragma once
#include <cstdint>
#include <optional>

namespace platform {

uint32_t tick_ms();

struct LocalTime {
  int year = 0;    // e.g. 2026
  int month = 0;   // 1-12
  int day = 0;     // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

int64_t unix_time_now();
LocalTime local_time_now();
LocalTime local_time_of(int64_t unix_seconds);
// The calendar time in UTC, whatever the local time zone.
LocalTime utc_time_of(int64_t unix_seconds);
// Unix seconds of a UTC calendar time; none for a field out of range (years 1970-9999).
std::optional<int64_t> unix_time_of_utc(const LocalTime& utc);
void sleep_ms(unsigned milliseconds);

}  // namespace platform
