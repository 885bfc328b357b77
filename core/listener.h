// The FTP listener, accept thread, watchdog and the stop of the whole server.
#pragma once
#include <cstdint>

#include "core/session.h"

namespace core {

bool start_server();
void stop_server();

// Closes the passive listen, data and control sockets and sets closing (once).
void kick_session(Session& s);
// Breaks the data connection of a busy worker and waits until it is idle.
void abort_data_connection(Session& s);

// Watchdog arithmetic, kept apart so that the wrap of the tick counter can be tested.
bool idle_expired(uint32_t now, uint32_t last_activity, int idle_minutes);
bool connect_expired(uint32_t now, uint32_t connect_tick, int connect_minutes);
uint32_t transfer_rate_bps(uint32_t now, uint32_t start_tick, uint32_t transferred);

// Number of sessions in the table whose field equals value (table lock held by caller).
}  // namespace core
