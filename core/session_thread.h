// A session's life on its own thread: start, command loop, clean-up.
#pragma once
#include <functional>

#include "core/session.h"

namespace core {

// Owns s; frees it at the end. started runs once, as soon as the session no longer needs
// its thread's whole attention: after the greeting, or before the first step that may
// wait on the network or a plug-in (name look-up, TLS handshake, plug-in hooks).
void run_session(Session* s, const std::function<void()>& started);

}  // namespace core
