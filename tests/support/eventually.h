#pragma once

#include <functional>

#include "platform/clock.h"

namespace test_support {

// Polls a condition every 50 ms until it holds or timeout_ms has passed; the last look
// decides.
inline bool eventually(const std::function<bool()>& condition, int timeout_ms = 5000) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    if (condition()) return true;
    platform::sleep_ms(50);
  }
  return condition();
}

}  // namespace test_support
