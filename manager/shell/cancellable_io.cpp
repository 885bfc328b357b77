// Placeholder: replaced by the cancellable socket calls.
#include "manager/shell/cancellable_io.h"

namespace manager {

struct CancelEvent::State {};
CancelEvent::CancelEvent() : state_(new State) {}
CancelEvent::~CancelEvent() { delete state_; }
void CancelEvent::set() {}
void CancelEvent::reset() {}
bool CancelEvent::is_set() const { return false; }
size_t cancellable_send(platform::Socket, const void*, size_t, CancelEvent&) { return 0; }
size_t cancellable_receive(platform::Socket, void*, size_t, CancelEvent&) { return 0; }

}  // namespace manager
