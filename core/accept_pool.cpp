// The pool of threads that take connections: every idle thread waits in accept, and the
// thread that takes a connection serves it as its session thread.
#include "core/accept_pool.h"

#include <chrono>
#include <new>

#include "core/server.h"
#include "core/session.h"
#include "core/session_thread.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace core {
namespace {

constexpr int kMinIdle = 2;
constexpr int kMaxIdle = 512;
constexpr int kIdleLingerMs = 60000;
constexpr auto kShortageWait = std::chrono::milliseconds(100);

uint32_t next_session_id() {
  uint32_t id = core_state().next_session_id++;
  if (id == 0) id = core_state().next_session_id++;  // 0 names no session
  return id;
}

bool start_thread(AcceptPool& pool);

// Waits up to kShortageWait; true when the pool stops.
bool stopped_within_a_moment(AcceptPool& pool) {
  std::unique_lock<std::mutex> hold(pool.lock);
  return pool.stopped.wait_for(hold, kShortageWait, [&pool] { return pool.stopping; });
}

// An idle thread's accept. kNoSocket when the thread is to end (no longer idle): the pool
// stops, or the accept came back empty (a minute without a connection, or a shortage of
// descriptors or memory) while more than kMinIdle are idle.
platform::Socket take_connection(AcceptPool& pool) {
  for (;;) {
    platform::Socket connection = platform::accept_connection(pool.socket, nullptr);
    {
      std::lock_guard<std::mutex> hold(pool.lock);
      if (connection != platform::kNoSocket && !pool.stopping) {
        --pool.idle;
        return connection;
      }
      if (pool.stopping || pool.idle > kMinIdle) {
        --pool.idle;
        platform::close_socket(connection);
        return platform::kNoSocket;
      }
    }
    // A passing shortage, or a quiet minute with few threads idle. Try again shortly.
    stopped_within_a_moment(pool);
  }
}

// Becomes idle again after a session; false when enough threads are idle or the pool
// stops. With plug-ins loaded every session keeps a thread of its own that never served
// another: a plug-in may keep a session's state in thread-local storage.
bool rejoin(AcceptPool& pool) {
  if (fileservice::loaded_plugin_count() > 0) return false;
  std::lock_guard<std::mutex> hold(pool.lock);
  if (pool.stopping || pool.idle >= kMaxIdle) return false;
  ++pool.idle;
  return true;
}

// True when fewer than count threads are idle and the pool goes on.
bool idle_below(AcceptPool& pool, int count) {
  std::lock_guard<std::mutex> hold(pool.lock);
  return !pool.stopping && pool.idle < count;
}

void top_up(AcceptPool& pool) {
  while (idle_below(pool, kMinIdle) && start_thread(pool)) {
  }
}

// Serves one accepted connection on this thread. The accept must never be left without a
// thread to take it: when none is idle and none can be started, the connection is closed
// (and this thread takes the accept again).
void serve_connection(AcceptPool& pool, platform::Socket connection) {
  Session* s = nullptr;
  if (!idle_below(pool, 1) || start_thread(pool)) s = new (std::nothrow) Session;
  if (s == nullptr) {
    platform::close_socket(connection);
    return;
  }
  platform::send_immediately(connection);  // replies are whole lines, one send each
  s->id = next_session_id();
  s->control_socket = connection;
  s->implicit_tls = pool.implicit_tls;
  uint32_t now = platform::tick_ms();
  s->connect_tick = now;
  s->last_activity_tick = now;
  // Threads are started after the greeting has left, off the path of a login.
  run_session(s, [&pool] { top_up(pool); });
}

void run_pool_thread(AcceptPool& pool) {
  for (;;) {
    platform::Socket connection = take_connection(pool);
    if (connection == platform::kNoSocket) break;
    serve_connection(pool, connection);
    if (!rejoin(pool)) break;
  }
  --core_state().live_threads;
}

// Starts an idle thread; false when it cannot be started.
bool start_thread(AcceptPool& pool) {
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    ++pool.idle;
  }
  ++core_state().live_threads;
  if (platform::start_detached_thread([&pool] { run_pool_thread(pool); }, kSessionStackBytes)) {
    return true;
  }
  --core_state().live_threads;
  std::lock_guard<std::mutex> hold(pool.lock);
  --pool.idle;
  return false;
}

}  // namespace

void start_pool(AcceptPool& pool, platform::Socket socket, bool implicit_tls) {
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.socket = socket;
    pool.implicit_tls = implicit_tls;
    pool.stopping = false;
  }
  // An accept that waited a minute comes back, so that surplus idle threads end.
  platform::set_accept_time_limit(socket, kIdleLingerMs);
  int started = 0;
  for (int i = 0; i < kMinIdle; ++i) started += start_thread(pool) ? 1 : 0;
  while (started == 0 && !stopped_within_a_moment(pool)) started += start_thread(pool) ? 1 : 0;
}

void stop_pool(AcceptPool& pool) {
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.stopping = true;
  }
  pool.stopped.notify_all();
  platform::shutdown_both(pool.socket);  // every waiting accept returns
}

}  // namespace core
