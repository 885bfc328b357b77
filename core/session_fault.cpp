// The session's internal error.
#include "core/session_fault.h"

namespace core {

void raise_session_fault(const char* reply) { throw SessionFault{reply}; }

}  // namespace core
