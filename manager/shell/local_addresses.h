// The Manager's local address table: three slots of host addresses (19 characters each)
// from which the system settings offer the choice of GlobalIP.
#pragma once
#include <string>

namespace manager {

// Fills the slots synchronously.
void lookup_local_addresses();
// Starts the lookup on a thread of its own unless one runs; returns the selected slot.
std::string lookup_local_addresses_in_background();
std::string local_address_slot(int index);  // index above 2 reads slot 2
int last_filled_address_index();            // -1 before any address was found
void select_local_address(int index);       // clipped to 0..2
int selected_local_address();

}  // namespace manager
