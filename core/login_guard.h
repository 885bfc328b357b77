// Password guessing: every wrong password counts against the client's address, and an
// address with LoginFailLimit wrong passwords within the lock time is refused until the
// lock time has passed since the failure that locked it. Kept in memory for the life of
// the process.
#pragma once
#include <cstdint>
#include <string>

namespace core {

struct LockRules {
  int fail_limit = 10;       // 0: no lock
  uint32_t lock_ms = 600000;  // the window failures are counted in, and the lock's length
};

// True while the address is locked.
bool address_locked(const std::string& address, const LockRules& rules, uint32_t now);
// Counts one wrong password; true when this failure locks the address.
bool count_login_failure(const std::string& address, const LockRules& rules, uint32_t now);
// The rules of the loaded configuration.
LockRules configured_lock_rules();

}  // namespace core
