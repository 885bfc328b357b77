// Placeholder: replaced by the local address table.
#include "manager/shell/local_addresses.h"

namespace manager {

void lookup_local_addresses() {}
std::string lookup_local_addresses_in_background() { return {}; }
std::string local_address_slot(int) { return {}; }
int last_filled_address_index() { return -1; }
void select_local_address(int) {}
int selected_local_address() { return 0; }

}  // namespace manager
