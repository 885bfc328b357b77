// The Core's process-wide state.
#include "core/server.h"

namespace core {

CoreState& core_state() {
  static CoreState state;
  return state;
}

}  // namespace core
