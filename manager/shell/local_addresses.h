// The Manager's local address table: three slots of host addresses (19 characters each)
// from which the system settings offer the choice of GlobalIP.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace manager {

// Fills the slots synchronously: address i goes to slot min(i, 2); the last filled index
// is that of the last address. With no address at all only the selected slot is cleared.
void lookup_local_addresses();
// Starts the lookup on a thread of its own unless one runs; returns the selected slot.
std::string lookup_local_addresses_in_background();
std::string local_address_slot(int index);  // index above 2 reads slot 2
int last_filled_address_index();            // -1 before any address was found
void select_local_address(int index);       // clipped to 0..2
int selected_local_address();
// True while a lookup runs.
bool local_address_lookup_running();

// Where the addresses come from: the host's IPv4 interface addresses (non-loopback first,
// loopback last) unless a test gives its own source; an empty function restores that.
using LocalAddressSource = std::function<std::vector<std::string>()>;
void set_local_address_source(LocalAddressSource source);

}  // namespace manager
