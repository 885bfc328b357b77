// A session's life on its own thread: start, command loop, clean-up.
#pragma once
#include "core/session.h"

namespace core {

void run_session(Session* s);  // owns s; frees it at the end

}  // namespace core
