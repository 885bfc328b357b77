// The data worker: one thread per session that runs listings and transfers on request.
#pragma once
#include "core/session.h"

namespace fileservice {

// Starts the session's data worker; false when the thread cannot be started.
bool start_worker(core::Session& s);
// Tells the worker to exit, breaking its sockets if it is busy, and joins it.
void stop_worker(core::Session& s);
// Breaks the worker's data and passive sockets when it is busy and waits for it to idle.
void abort_worker(core::Session& s);
// Sets the worker command and wakes the worker; does not wait.
void hand_to_worker(core::Session& s, core::WorkerCommand command);
bool worker_busy(core::Session& s);

}  // namespace fileservice
