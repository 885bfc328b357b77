// The data worker: one thread per session that runs listings and transfers on request.
#pragma once
#include "core/session.h"

namespace fileservice {

// The data worker: started by the first command handed to it, it ends its thread after a
// while without commands and is started again by the next one.
//
// Starts the session's data worker now; false when the thread cannot be started.
bool start_worker(core::Session& s);
// Tells the worker to exit, breaking its sockets if it is busy, and joins it.
void stop_worker(core::Session& s);
// Breaks the worker's data and passive sockets when it is busy and waits for it to idle.
void abort_worker(core::Session& s);
// Sets the worker command and wakes the worker, starting its thread when none runs; does
// not wait. A thread that cannot be started raises the session's internal error.
void hand_to_worker(core::Session& s, core::WorkerCommand command);
bool worker_busy(core::Session& s);

}  // namespace fileservice
