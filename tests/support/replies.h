// Replies of the Core that many tests compare against, byte for byte.
#pragma once

namespace replies {

inline constexpr const char* kOpening = "150 Opening data connection.\r\n";
inline constexpr const char* kGreeting = "220-Welcome To velmoraFTP !!!\r\n220 Enter Your ID\r\n";
inline constexpr const char* kAborClosed = "226 Closed data connection.\r\n";
inline constexpr const char* kComplete = "226 Transfer complete.\r\n";
inline constexpr const char* kDone = "250 Requested file action okay, completed.\r\n";
inline constexpr const char* kCantOpen = "425 Can't open data connection.\r\n";
inline constexpr const char* kAborted = "426 Connection closed transfer aborted.\r\n";
inline constexpr const char* kLocalError = "451 Requested action aborted. Local error in processing.\r\n";
inline constexpr const char* kNotLoggedIn = "530 Not log in.\r\n";
inline constexpr const char* kNotTaken = "550 Requested action not taken.\r\n";

}  // namespace replies
