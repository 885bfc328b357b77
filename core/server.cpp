// The Core's process-wide state.
#include "core/server.h"

#include <random>

namespace core {

uint32_t first_session_id() {
  std::random_device source;
  const uint32_t id = static_cast<uint32_t>(source());
  return id == 0 ? 1 : id;
}

CoreState& core_state() {
  static CoreState state;
  return state;
}

}  // namespace core
