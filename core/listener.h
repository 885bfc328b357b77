// The FTP listener, accept thread, watchdog and the stop of the whole server.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/config.h"
#include "core/session.h"
#include "platform/socket.h"
#include "platform/thread.h"

namespace core {

// ports_open runs once the FTP port listens, before any connection is accepted (the
// Core takes on its service user there); when it returns false the server does not start.
bool start_server(const std::function<bool()>& ports_open = {});
// A listening socket for FTP clients on port at [System] ListenAddress (empty: every IPv4
// and IPv6 address). Every FTP listener of the Core is opened here. kNoSocket on failure.
platform::Socket open_ftp_listener(const ServerConfig& config, uint16_t port);
void stop_server();

// Watchdog arithmetic, kept apart so that the wrap of the tick counter can be tested.
bool idle_expired(uint32_t now, uint32_t last_activity, int idle_minutes);
bool connect_expired(uint32_t now, uint32_t connect_tick, int connect_minutes);
// A session not logged in within the login time limit (LoginTimeout) is closed; NOOP
// does not extend it.
bool login_expired(uint32_t now, uint32_t connect_tick, int timeout_seconds);
uint32_t transfer_rate_bps(uint32_t now, uint32_t start_tick, uint64_t transferred);

// Number of sessions in the table whose text field equals value (table lock held by
// the caller).
int count_sessions_with(const std::string Session::*field, const std::string& value);

}  // namespace core
