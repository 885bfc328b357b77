// The data worker: one thread per busy session that runs the passive listen, listings and
// transfers on request. Nothing here kills the thread: a busy worker is freed by
// shutting down its data sockets, then waited for.
#include "fileservice/data_worker.h"

#include <exception>
#include <mutex>
#include <optional>
#include <string>

#include "core/reply.h"
#include "core/session_fault.h"
#include "fileservice/data_connection.h"
#include "fileservice/listing.h"
#include "fileservice/transfer.h"

namespace fileservice {
namespace {

using core::Session;
using core::SessionSocket;
using core::WorkerCommand;

constexpr int kWaitRoundMs = 100;

void break_data_sockets(Session& s) {
  core::shutdown_session_socket(s, SessionSocket::Data);
  core::shutdown_session_socket(s, SessionSocket::PassiveListen);
}

// Waits until the worker is back in its loop, shutting its data sockets down again on
// every round (a routine may have opened a new one meanwhile).
void wait_until_idle(Session& s) {
  while (!s.worker_idle.wait_for(kWaitRoundMs)) break_data_sockets(s);
}

// A fault inside a routine ends the session as it would on the session thread: the
// reply goes out and the control connection is broken, which ends the command loop.
void end_session_from_worker(Session& s, const std::string& reply) {
  try {
    core::send_bytes(s, reply.data(), reply.size());
  } catch (...) {
  }
  core::kick_session(s);
}

// Runs one command; false for the exit command.
bool run_command(Session& s, uint16_t command) {
  switch (static_cast<WorkerCommand>(command)) {
    case WorkerCommand::PassiveListen: passive_listen(s); break;
    case WorkerCommand::Listing: send_listing(s); break;
    case WorkerCommand::SendFile: send_file(s); break;
    case WorkerCommand::ReceiveFile: receive_file(s); break;
    case WorkerCommand::Exit: return false;
  }
  return true;
}

// A worker with nothing to do for this long ends its thread; the next data command starts
// a new one. An idle session thus owns one thread, its own.
constexpr int kWorkerLingerMs = 2000;

// Waits for the next command and takes it; nullopt when the worker has waited long enough
// and ends (it then counts as not running, under the same lock that a hand-over takes).
// Idle is signalled only while no command waits: a command handed over during the last
// routine is taken at once, without a moment of idle in which an abort would find nothing
// to wait for. A wake-up left over from a command that was already taken starts nothing.
std::optional<uint16_t> take_next_command(Session& s) {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(s.worker_lock);
      if (s.worker_taken != s.worker_handed) {
        s.worker_taken = s.worker_handed;
        return s.worker_command.load();
      }
      s.worker_idle.set();
    }
    if (s.worker_wakeup.wait_for(kWorkerLingerMs)) continue;
    std::lock_guard<std::mutex> guard(s.worker_lock);
    if (s.worker_taken == s.worker_handed) {
      s.worker_running = false;
      return std::nullopt;
    }
  }
}

void worker_loop(Session& s) {
  while (true) {
    std::optional<uint16_t> command = take_next_command(s);
    if (!command) return;
    s.worker_closing_reply.clear();  // a routine cut short by a fault left its reply unsent
    try {
      if (!run_command(s, *command)) {
        {
          std::lock_guard<std::mutex> guard(s.worker_lock);
          s.worker_running = false;
        }
        s.worker_idle.set();  // tells stop_worker that no routine runs any more
        return;
      }
    } catch (const core::SessionFault& fault) {
      end_session_from_worker(s, fault.reply);
    } catch (const std::exception&) {
      end_session_from_worker(s, core::kInternalServerError);
    }
  }
}

// Hands a command over; true when no worker thread runs to take it (the caller then
// starts one, which counts as running from here on).
bool hand_over(Session& s, WorkerCommand command) {
  bool needs_thread = false;
  {
    std::lock_guard<std::mutex> guard(s.worker_lock);
    s.worker_command = static_cast<uint16_t>(command);
    ++s.worker_handed;
    // Busy from the moment of the hand-over, so that an abort right after it is not lost.
    s.worker_idle.reset();
    needs_thread = !s.worker_running;
    s.worker_running = true;
  }
  s.worker_wakeup.set();
  return needs_thread;
}

// Starts a worker thread, after joining one that has ended; false when it cannot start
// (the session is then left with no worker, idle).
bool start_worker_thread(Session& s) {
  if (s.worker_started) s.worker.join();
  s.worker_started = s.worker.start([&s] { worker_loop(s); }, core::kSessionStackBytes);
  if (s.worker_started) return true;
  {
    std::lock_guard<std::mutex> guard(s.worker_lock);
    s.worker_running = false;
    s.worker_taken = s.worker_handed;
  }
  s.worker_idle.set();
  return false;
}

}  // namespace

bool start_worker(Session& s) {
  {
    std::lock_guard<std::mutex> guard(s.worker_lock);
    if (s.worker_running) return true;
    s.worker_running = true;
    s.worker_idle.reset();
  }
  return start_worker_thread(s);
}

void stop_worker(Session& s) {
  if (!s.worker_started) return;
  if (worker_busy(s)) {
    s.abort_sleep.set();
    break_data_sockets(s);
  }
  // A worker that has ended on its own needs no exit command, only the join.
  bool running = false;
  {
    std::lock_guard<std::mutex> guard(s.worker_lock);
    running = s.worker_running;
    if (running) {
      s.worker_command = static_cast<uint16_t>(WorkerCommand::Exit);
      ++s.worker_handed;
      s.worker_idle.reset();
    }
  }
  if (running) {
    s.worker_wakeup.set();
    wait_until_idle(s);
  }
  s.worker.join();
  s.worker_started = false;
  // The worker is gone: whatever it left open is this thread's to close.
  core::close_session_socket(s, SessionSocket::Data);
  core::close_session_socket(s, SessionSocket::PassiveListen);
}

void abort_worker(Session& s) {
  if (!s.worker_started || !worker_busy(s)) return;
  s.abort_sleep.set();
  break_data_sockets(s);
  wait_until_idle(s);
  s.abort_sleep.reset();
}

void hand_to_worker(Session& s, WorkerCommand command) {
  if (!hand_over(s, command)) return;
  // A worker that cannot be started ends the session, as at its start in the past.
  if (!start_worker_thread(s)) core::raise_session_fault(core::kTooLongFileName);
}

bool worker_busy(Session& s) { return !s.worker_idle.is_set(); }

}  // namespace fileservice
