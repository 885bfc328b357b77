// Process-wide state of the Core: paths, settings, the session table and the totals.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/session.h"
#include "platform/tls.h"

namespace core {

// Live sessions in order of arrival, guarded by lock. The lock is taken before a
// session's socket lock or the admin-send lock, never after.
struct SessionTable {
  std::mutex lock;
  std::vector<Session*> sessions;
  std::atomic<int> live_count{0};  // NOW_CON
};

// Recomputed once a second by the watchdog.
struct ServerTotals {
  std::atomic<uint32_t> uploading{0};
  std::atomic<uint32_t> downloading{0};
  std::atomic<uint32_t> upload_bps{0};
  std::atomic<uint32_t> download_bps{0};
};

uint32_t first_session_id();

struct CoreState {
  ProgramPaths paths;
  ServerConfig config;
  SessionTable table;
  ServerTotals totals;
  // Starts from a random value in every run, so that an id from an earlier run never
  // names a session of this one.
  std::atomic<uint32_t> next_session_id{first_session_id()};
  // Why the FTP listener is not running (empty while it runs); set once at start-up,
  // before any Manager connects, and sent to every Manager that connects.
  std::string startup_problem;
  std::atomic<uint16_t> passive_port_counter{0};
  std::vector<std::string> local_addresses;  // three slots, built at server start
  std::atomic<int> live_threads{0};          // accepting and session threads not yet finished
  // The TLS context: set at server start when [TLS] Enable is on and the key pair loaded.
  std::unique_ptr<platform::TlsContext> tls;
};

CoreState& core_state();

}  // namespace core
