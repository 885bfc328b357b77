#include "core/login_guard.h"

#include <mutex>
#include <unordered_map>

#include "core/server.h"

namespace core {
namespace {

// Addresses kept before expired entries are swept out.
constexpr size_t kSweepAbove = 4096;

struct Failures {
  int count = 0;
  uint32_t since = 0;  // first failure of the window, or the start of the lock
  bool locked = false;
};

struct FailureTable {
  std::mutex lock;
  std::unordered_map<std::string, Failures> by_address;
};

FailureTable& failures() {
  static FailureTable table;
  return table;
}

bool expired(const Failures& f, const LockRules& rules, uint32_t now) {
  return now - f.since >= rules.lock_ms;
}

void sweep(FailureTable& table, const LockRules& rules, uint32_t now) {
  if (table.by_address.size() <= kSweepAbove) return;
  std::erase_if(table.by_address, [&](const auto& entry) { return expired(entry.second, rules, now); });
}

}  // namespace

bool address_locked(const std::string& address, const LockRules& rules, uint32_t now) {
  if (rules.fail_limit <= 0 || rules.lock_ms == 0) return false;
  FailureTable& table = failures();
  std::lock_guard<std::mutex> guard(table.lock);
  auto it = table.by_address.find(address);
  if (it == table.by_address.end() || !it->second.locked) return false;
  if (!expired(it->second, rules, now)) return true;
  table.by_address.erase(it);
  return false;
}

bool count_login_failure(const std::string& address, const LockRules& rules, uint32_t now) {
  if (rules.fail_limit <= 0 || rules.lock_ms == 0) return false;
  FailureTable& table = failures();
  std::lock_guard<std::mutex> guard(table.lock);
  sweep(table, rules, now);
  Failures& f = table.by_address[address];
  if (f.locked) return false;  // a session that passed the test just before the lock
  if (f.count == 0 || expired(f, rules, now)) f = Failures{0, now, false};
  if (++f.count < rules.fail_limit) return false;
  f = Failures{f.count, now, true};
  return true;
}

LockRules configured_lock_rules() {
  const ServerConfig& config = core_state().config;
  return LockRules{config.login_fail_limit, static_cast<uint32_t>(config.login_lock_seconds) * 1000u};
}

}  // namespace core
