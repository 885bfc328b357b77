// Records of the admin channel between the Core and the Manager. Every message has a
// fixed size; integers are 32-bit little-endian; texts are NUL-terminated in fixed
// fields, the rest zero. Built and parsed field by field.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace shared {

inline constexpr size_t kAdminCommandSize = 8;
inline constexpr size_t kAdminEventSize = 4180;
inline constexpr size_t kSnapshotSize = 4172;
inline constexpr size_t kPluginTextMax = 4170;

enum class AdminCommandCode : uint8_t { Kick = 1, AbortTransfer = 2, StopServer = 3 };

enum EventType : uint32_t {
  kEventConnected = 0,
  kEventUserAccepted = 1,
  kEventListingSent = 3,
  kEventDownloadStarted = 4,
  kEventUploadStarted = 5,
  kEventDirectoryChanged = 6,
  kEventDownloadEnded = 7,
  kEventUploadEnded = 8,
  kEventProgress = 9,
  kEventFileDeleted = 10,
  kEventDirectoryRemoved = 11,
  kEventDirectoryCreated = 12,
  kEventRenamed = 13,
  kEventQuit = 14,
  kEventDisconnected = 15,
  kEventAccountMailed = 22,
  kEventAccountCreated = 23,
  kEventRefused = 24,
  kEventStatus = 25,
  kEventPluginText = 26,
  // The Core runs without its FTP listener; the text (as in type 26) says why. Sent to
  // every Manager right after the snapshot of the live sessions.
  kEventStartupProblem = 27,
};

// Bits of SessionSnapshot::security.
inline constexpr uint32_t kSecureControl = 1;  // the control connection runs over TLS
inline constexpr uint32_t kSecureData = 2;     // data connections are protected (PROT P)

struct AdminCommand {
  uint8_t command = 0;
  uint32_t session_id = 0;
};

// A copy of a session's state as the Manager sees it.
struct SessionSnapshot {
  uint32_t transferring = 0;
  uint32_t upload = 0;
  std::string user_name;       // 256
  std::string group_name;      // 256
  std::string password;        // 256
  std::string home_directory;  // 260
  std::string current_directory;  // 260
  std::string email;           // 256
  std::string transfer_path;   // 260
  uint32_t file_size_low = 0;
  uint32_t restart_offset_low = 0;
  uint32_t transferred = 0;
  uint32_t connect_tick = 0;
  uint32_t transfer_start_tick = 0;
  uint32_t last_activity_tick = 0;
  uint32_t security = 0;       // kSecure* bits
  std::string host_text;       // 256
  std::string message;         // 2048
  uint32_t idle_minutes = 0;
  uint32_t max_per_host = 0;
  uint32_t max_per_user = 0;
  uint32_t save_credit = 0;
  uint32_t restart_offset_high = 0;
  uint32_t file_size_high = 0;
  uint32_t session_id = 0;
};

struct AdminEvent {
  uint32_t session_id = 0;
  uint32_t type = 0;
  SessionSnapshot snapshot;  // types 0-25
  std::string text;          // type 26
};

// Byte offsets inside an AdminEvent record.
namespace admin_offset {
inline constexpr size_t kSessionId = 0;
inline constexpr size_t kType = 4;
inline constexpr size_t kPayload = 8;
// Offsets inside the snapshot (add kPayload for the record).
inline constexpr size_t kTransferring = 0x000;
inline constexpr size_t kUpload = 0x004;
inline constexpr size_t kUserName = 0x008;
inline constexpr size_t kGroupName = 0x108;
inline constexpr size_t kPassword = 0x208;
inline constexpr size_t kHomeDirectory = 0x308;
inline constexpr size_t kCurrentDirectory = 0x40C;
inline constexpr size_t kEmail = 0x510;
inline constexpr size_t kTransferPath = 0x610;
inline constexpr size_t kFileSizeLow = 0x714;
inline constexpr size_t kRestartLow = 0x718;
inline constexpr size_t kTransferred = 0x71C;
inline constexpr size_t kConnectTick = 0x720;
inline constexpr size_t kTransferStartTick = 0x724;
inline constexpr size_t kLastActivityTick = 0x728;
inline constexpr size_t kSecurity = 0x72C;  // once reserved (0): old Cores send 0
inline constexpr size_t kHostText = 0x730;
inline constexpr size_t kMessage = 0x830;
inline constexpr size_t kIdleMinutes = 0x1030;
inline constexpr size_t kMaxPerHost = 0x1034;
inline constexpr size_t kMaxPerUser = 0x1038;
inline constexpr size_t kSaveCredit = 0x103C;
inline constexpr size_t kRestartHigh = 0x1040;
inline constexpr size_t kFileSizeHigh = 0x1044;
inline constexpr size_t kSnapshotSessionId = 0x1048;
}  // namespace admin_offset

using AdminEventBytes = std::array<uint8_t, kAdminEventSize>;
using AdminCommandBytes = std::array<uint8_t, kAdminCommandSize>;

AdminEventBytes encode_event(const AdminEvent& event);
AdminEvent decode_event(const AdminEventBytes& bytes);
AdminCommandBytes encode_command(const AdminCommand& command);
AdminCommand decode_command(const AdminCommandBytes& bytes);

}  // namespace shared
