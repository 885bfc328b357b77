// The admin channel: the Core's one TCP link to the Manager on 127.0.0.1.
#pragma once
#include <string_view>

#include "core/session.h"
#include "shared/admin_record.h"

namespace core {

// Runs on the main thread until the server is stopped or the port cannot be listened on.
void run_admin_channel();
// Closes the admin channel's sockets so that run_admin_channel returns (stop control).
void close_admin_channel();

// Sends one event with the session's snapshot under the admin-send lock.
void send_event(Session& s, shared::EventType type);
// Last activity := now; sends the event; writes a message-log line when message logging
// is on and the type is not 0 or 9.
void send_event_with_update(Session& s, shared::EventType type);
// Sets the message text and sends the event with update.
void report(Session& s, shared::EventType type, std::string_view message);
// A text event (type 26), cut to 4170 bytes.
void post_text(std::string_view text);

shared::SessionSnapshot take_snapshot(Session& s);

}  // namespace core
