// Placeholder: replaced by the refusal operations.
#include "manager/editors/refusal.h"

namespace manager {

bool refuse_address(const std::string&, const std::string&) { return false; }
bool refuse_user(const std::string&, const std::string&, int) { return false; }

}  // namespace manager
