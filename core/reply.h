// Replies on the control connection. The file service and the command loop both answer
// through here; every reply is logged, offered to the plug-ins, then sent (under TLS
// when the control connection has it).
#pragma once
#include <cstddef>
#include <string_view>

#include "core/session.h"

namespace core {

// Sends a reply text (raises the internal-server-error fault when it is 2048 bytes or
// longer); logs it and offers it to the plug-ins first.
void send_reply(Session& s, std::string_view text);
// Same with an explicit length; returns bytes sent or the length a plug-in left.
long send_bytes(Session& s, const char* data, size_t length);

}  // namespace core
