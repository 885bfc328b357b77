// The per-user logs: transfers (.flg), commands (.clg), messages (.mlg).
#pragma once
#include <string_view>

#include "core/session.h"

namespace core {

enum class TransferDirection { Received = 0, Sent = 1 };

void write_transfer_log(Session& s, TransferDirection direction, uint32_t duration_ms);
// direction is "<<" for text the Core sent, ">>" for a line it received.
void write_command_log(Session& s, std::string_view text, const char* direction);
// A line with the given status message (the one an event carried)...
void write_message_log(Session& s, std::string_view message);
// ...or with the session's current status message.
void write_message_log(Session& s);

}  // namespace core
