// The pool of threads that take connections: the leader's accept, the hand-over to a
// follower, and the session served on the thread that took the connection.
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
constexpr auto kFollowerLinger = std::chrono::minutes(1);
constexpr auto kShortageWait = std::chrono::milliseconds(100);

uint32_t next_session_id() {
  uint32_t id = core_state().next_session_id++;
  if (id == 0) id = core_state().next_session_id++;  // 0 names no session
  return id;
}

bool start_thread(AcceptPool& pool);

// Waits for the turn to lead. False when the thread is to end (no longer idle): the pool
// stops, or it waited a minute without its turn while more than kMinIdle are idle.
bool await_turn(AcceptPool& pool) {
  std::unique_lock<std::mutex> hold(pool.lock);
  while (pool.led && !pool.stopping) {
    if (pool.turn.wait_for(hold, kFollowerLinger) == std::cv_status::timeout && pool.led &&
        pool.idle > kMinIdle) {
      --pool.idle;
      return false;
    }
  }
  if (pool.stopping) {
    --pool.idle;
    return false;
  }
  pool.led = true;
  return true;
}

// Hands the accept to a follower.
void step_down(AcceptPool& pool) {
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.led = false;
  }
  pool.turn.notify_one();
}

// Waits up to kShortageWait; true when the pool stops.
bool stopped_within_a_moment(AcceptPool& pool) {
  std::unique_lock<std::mutex> hold(pool.lock);
  return pool.turn.wait_for(hold, kShortageWait, [&pool] { return pool.stopping; });
}

// The leader's accept. Either way the thread is no longer idle: it serves the connection
// and steps down once the session has started, or (kNoSocket) the pool stops.
platform::Socket lead(AcceptPool& pool) {
  for (;;) {
    platform::Socket connection = platform::accept_connection(pool.socket, nullptr);
    {
      std::lock_guard<std::mutex> hold(pool.lock);
      if (connection != platform::kNoSocket || pool.stopping) {
        --pool.idle;
        return connection;
      }
    }
    // Not a stop: a passing shortage (descriptors, memory). Try again shortly.
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
  if (idle_below(pool, kMinIdle)) start_thread(pool);
}

// Serves one accepted connection on this thread. The accept must never be left without a
// thread to take it: when none is idle and none can be started, the connection is closed
// (and this thread takes the accept again).
void serve_connection(AcceptPool& pool, platform::Socket connection) {
  Session* s = nullptr;
  if (!idle_below(pool, 1) || start_thread(pool)) s = new (std::nothrow) Session;
  if (s == nullptr) {
    step_down(pool);
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
  // The greeting leaves before the hand-over: waking a follower costs the time of a
  // wake-up, and connections that arrive meanwhile wait in the listen queue.
  run_session(s, [&pool] { step_down(pool); });
}

void run_pool_thread(AcceptPool& pool) {
  while (await_turn(pool)) {
    top_up(pool);  // a follower must be ready when this thread takes a connection
    platform::Socket connection = lead(pool);
    if (connection == platform::kNoSocket) {
      step_down(pool);
      break;
    }
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
  int started = 0;
  for (int i = 0; i < kMinIdle; ++i) started += start_thread(pool) ? 1 : 0;
  while (started == 0 && !stopped_within_a_moment(pool)) started += start_thread(pool) ? 1 : 0;
}

void stop_pool(AcceptPool& pool) {
  {
    std::lock_guard<std::mutex> hold(pool.lock);
    pool.stopping = true;
  }
  pool.turn.notify_all();
  platform::shutdown_both(pool.socket);
}

}  // namespace core
