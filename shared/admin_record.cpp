// Admin-channel records, built and parsed field by field (little-endian integers,
// NUL-terminated texts in fixed fields).
#include "shared/admin_record.h"

#include "shared/bounded_text.h"

namespace shared {
namespace {

namespace off = admin_offset;

constexpr size_t kName = 256;
constexpr size_t kPath = 260;
constexpr size_t kMessageField = 2048;

void put_u32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t get_u32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

// The field keeps at most size-1 bytes so that it ends with a NUL; the record is zeroed.
void put_text(uint8_t* at, size_t size, const std::string& text) {
  copy_bounded(reinterpret_cast<char*>(at), size, text);
}

std::string get_text(const uint8_t* at, size_t size) {
  const char* p = reinterpret_cast<const char*>(at);
  return std::string(p, bounded_length(p, size));
}

void put_snapshot(uint8_t* p, const SessionSnapshot& s) {
  put_u32(p + off::kTransferring, s.transferring);
  put_u32(p + off::kUpload, s.upload);
  put_text(p + off::kUserName, kName, s.user_name);
  put_text(p + off::kGroupName, kName, s.group_name);
  put_text(p + off::kPassword, kName, s.password);
  put_text(p + off::kHomeDirectory, kPath, s.home_directory);
  put_text(p + off::kCurrentDirectory, kPath, s.current_directory);
  put_text(p + off::kEmail, kName, s.email);
  put_text(p + off::kTransferPath, kPath, s.transfer_path);
  put_u32(p + off::kFileSizeLow, s.file_size_low);
  put_u32(p + off::kRestartLow, s.restart_offset_low);
  put_u32(p + off::kTransferred, s.transferred);
  put_u32(p + off::kConnectTick, s.connect_tick);
  put_u32(p + off::kTransferStartTick, s.transfer_start_tick);
  put_u32(p + off::kLastActivityTick, s.last_activity_tick);
  put_u32(p + off::kSecurity, s.security);
  put_text(p + off::kHostText, kName, s.host_text);
  put_text(p + off::kMessage, kMessageField, s.message);
  put_u32(p + off::kIdleMinutes, s.idle_minutes);
  put_u32(p + off::kMaxPerHost, s.max_per_host);
  put_u32(p + off::kMaxPerUser, s.max_per_user);
  put_u32(p + off::kSaveCredit, s.save_credit);
  put_u32(p + off::kRestartHigh, s.restart_offset_high);
  put_u32(p + off::kFileSizeHigh, s.file_size_high);
  put_u32(p + off::kSnapshotSessionId, s.session_id);
}

SessionSnapshot get_snapshot(const uint8_t* p) {
  SessionSnapshot s;
  s.transferring = get_u32(p + off::kTransferring);
  s.upload = get_u32(p + off::kUpload);
  s.user_name = get_text(p + off::kUserName, kName);
  s.group_name = get_text(p + off::kGroupName, kName);
  s.password = get_text(p + off::kPassword, kName);
  s.home_directory = get_text(p + off::kHomeDirectory, kPath);
  s.current_directory = get_text(p + off::kCurrentDirectory, kPath);
  s.email = get_text(p + off::kEmail, kName);
  s.transfer_path = get_text(p + off::kTransferPath, kPath);
  s.file_size_low = get_u32(p + off::kFileSizeLow);
  s.restart_offset_low = get_u32(p + off::kRestartLow);
  s.transferred = get_u32(p + off::kTransferred);
  s.connect_tick = get_u32(p + off::kConnectTick);
  s.transfer_start_tick = get_u32(p + off::kTransferStartTick);
  s.last_activity_tick = get_u32(p + off::kLastActivityTick);
  s.security = get_u32(p + off::kSecurity);
  s.host_text = get_text(p + off::kHostText, kName);
  s.message = get_text(p + off::kMessage, kMessageField);
  s.idle_minutes = get_u32(p + off::kIdleMinutes);
  s.max_per_host = get_u32(p + off::kMaxPerHost);
  s.max_per_user = get_u32(p + off::kMaxPerUser);
  s.save_credit = get_u32(p + off::kSaveCredit);
  s.restart_offset_high = get_u32(p + off::kRestartHigh);
  s.file_size_high = get_u32(p + off::kFileSizeHigh);
  s.session_id = get_u32(p + off::kSnapshotSessionId);
  return s;
}

}  // namespace

AdminEventBytes encode_event(const AdminEvent& event) {
  AdminEventBytes bytes{};
  put_u32(bytes.data() + off::kSessionId, event.session_id);
  put_u32(bytes.data() + off::kType, event.type);
  uint8_t* payload = bytes.data() + off::kPayload;
  if (event.type == kEventPluginText || event.type == kEventStartupProblem) {
    // At most 4170 bytes of text; the rest of the payload stays zero.
    std::string_view text = cut_text(event.text, kPluginTextMax);
    for (size_t i = 0; i < text.size(); ++i) payload[i] = static_cast<uint8_t>(text[i]);
  } else {
    put_snapshot(payload, event.snapshot);
  }
  return bytes;
}

AdminEvent decode_event(const AdminEventBytes& bytes) {
  AdminEvent event;
  event.session_id = get_u32(bytes.data() + off::kSessionId);
  event.type = get_u32(bytes.data() + off::kType);
  const uint8_t* payload = bytes.data() + off::kPayload;
  if (event.type == kEventPluginText || event.type == kEventStartupProblem)
    event.text = get_text(payload, kPluginTextMax);
  else
    event.snapshot = get_snapshot(payload);
  return event;
}

AdminCommandBytes encode_command(const AdminCommand& command) {
  AdminCommandBytes bytes{};
  bytes[0] = command.command;
  put_u32(bytes.data() + 4, command.session_id);
  return bytes;
}

AdminCommand decode_command(const AdminCommandBytes& bytes) {
  AdminCommand command;
  command.command = bytes[0];
  command.session_id = get_u32(bytes.data() + 4);
  return command;
}

}  // namespace shared
