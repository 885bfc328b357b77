// The pool of threads that take connections: the idle threads' wait for a connection,
// and the session served on the thread that took it.
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

// Ends the thread's time as an idle thread when the pool stops or, with end_if_surplus,
// when more than kMinIdle are idle; true when it ended.
bool leave_if(AcceptPool& pool, bool end_if_surplus) {
  std::lock_guard<std::mutex> hold(pool.lock);
  if (!pool.stopping && !(end_if_surplus && pool.idle > kMinIdle)) return false;
  --pool.idle;
  return true;
}

// Lets the waiter wake the next thread. Until then no thread is woken, so this keeps
// trying; a pool that stops is woken no more anyway.
void rearm(AcceptPool& pool) {
  while (!platform::rearm_accept_waiter(pool.waiter) && !stopped_within_a_moment(pool)) {
  }
}

// Takes the connection this thread was woken for and re-arms the waiter; kNoSocket when
// there is none to serve. Out of descriptors, the thread waits a moment before the
// re-arm, so the connection is tried again then and no thread spins on it.
platform::Socket take_and_rearm(AcceptPool& pool) {
  platform::Taken taken = platform::take_waiting_connection(pool.waiter);
  if (taken.result == platform::TakeResult::Shortage ||
      taken.result == platform::TakeResult::Closed) {
    stopped_within_a_moment(pool);
  }
  rearm(pool);
  return taken.socket;
}

// An idle thread's wait. kNoSocket when the thread is to end (no longer idle): the pool
// stops, or a minute passed without a connection while more than kMinIdle are idle.
platform::Socket take_connection(AcceptPool& pool) {
  for (;;) {
    const platform::WaitResult waited = platform::wait_for_connection(pool.waiter, kIdleLingerMs);
    if (waited == platform::WaitResult::TimedOut) {
      if (leave_if(pool, true)) return platform::kNoSocket;
      continue;
    }
    if (waited == platform::WaitResult::Failed) {
      stopped_within_a_moment(pool);
      if (leave_if(pool, false)) return platform::kNoSocket;
      continue;
    }
    platform::Socket connection = take_and_rearm(pool);
    std::lock_guard<std::mutex> hold(pool.lock);
    if (pool.stopping) {
      platform::close_socket(connection);
      --pool.idle;
      return platform::kNoSocket;
    }
    if (connection != platform::kNoSocket) {
      --pool.idle;
      return connection;
    }
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

// Serves one accepted connection on this thread. The pool must never be left without an
// idle thread to take the next connection: when none is idle and none can be started,
// the connection is closed (and this thread waits for the next one).
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
    pool.stopping = false;
  }
  platform::AcceptWaiter waiter;
  bool opened = false;
  while (!(opened = platform::open_accept_waiter(waiter, socket)) &&
         !stopped_within_a_moment(pool)) {
  }
  if (!opened) return;
  {
    // A thread of an earlier run whose session ends now reads these after rejoin().
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.waiter = waiter;
    pool.implicit_tls = implicit_tls;
  }
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
  // The shut-down listener wakes one waiting thread; each re-arms the waiter before it
  // ends, which wakes the next.
  platform::shutdown_both(pool.waiter.listener);
}

void close_pool(AcceptPool& pool) { platform::close_accept_waiter(pool.waiter); }

}  // namespace core
