// The bytes of a session's control and data connections: through the connection's TLS
// stream when it has one, straight on the socket otherwise. Replies, command lines,
// listings and transfers all send and receive through here, so that encryption stays
// out of the command, plug-in, pacing and credit code; this is also the one place that
// says whether a connection's socket may be used directly (sendfile and the like).
#pragma once
#include <cstddef>
#include <memory>

#include "core/session.h"
#include "platform/tls.h"

namespace core {

bool encrypted(Session& s, SessionSocket which);
// True when the connection's socket carries the bytes as they are, so that calls that
// bypass this file (sendfile) may use it.
bool plain_socket(Session& s, SessionSocket which);
// The socket that plug-ins see in their I/O record: the connection's own, or -1 under
// TLS, where no one but the stream may read or write the socket.
platform::Socket hook_socket(Session& s, SessionSocket which);

size_t send_on(Session& s, SessionSocket which, const void* data, size_t size);
// One receive: bytes, 0 when the peer closed, -1 on error, -2 on time-out (timeout_ms >= 0).
long receive_on(Session& s, SessionSocket which, void* buffer, size_t size, int timeout_ms = -1);

// The same for the data paths that offer each block to the socket plug-ins first: on a
// plain connection the bytes go to the socket the plug-ins left in their record.
size_t send_on(Session& s, SessionSocket which, platform::Socket hooked, const void* data,
               size_t size);
long receive_on(Session& s, SessionSocket which, platform::Socket hooked, void* buffer,
                size_t size);

// Attaches the stream of a finished handshake to the connection.
void attach_stream(Session& s, SessionSocket which, std::unique_ptr<platform::TlsStream> stream);
// Ends the connection's stream (close_notify, then freed); only the thread that owns the
// connection calls it, just before the socket is closed.
void end_stream(Session& s, SessionSocket which);

}  // namespace core
