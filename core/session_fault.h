// The session's internal error: a fatal condition that sends its reply and ends the
// session. Raised on the session thread; caught at the top of the session.
#pragma once
#include <string>

namespace core {

inline constexpr const char* kTooLongCommand =
    "330-too long command.\r\n330 This server kick you for security.\r\n";
inline constexpr const char* kTooLongFileName =
    "330-too long file name.\r\n330 This server kick you for security.\r\n";
inline constexpr const char* kInternalServerError = "330 Sorry.Internal Server Error.\r\n";

struct SessionFault {
  std::string reply;
};

[[noreturn]] void raise_session_fault(const char* reply);

}  // namespace core
