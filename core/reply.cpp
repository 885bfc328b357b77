// Replies on the control connection: the command log, the plug-ins' send hook, the
// transport.
#include "core/reply.h"

#include <algorithm>

#include "core/logs.h"
#include "core/session_fault.h"
#include "core/transport.h"
#include "fileservice/plugin_host.h"

namespace core {

constexpr size_t kReplyLimit = 2048;

void send_reply(Session& s, std::string_view text) {
  size_t length = std::min(text.find('\0'), text.size());
  if (length >= kReplyLimit) raise_session_fault(kInternalServerError);
  send_bytes(s, text.data(), length);
}

long send_bytes(Session& s, const char* data, size_t length) {
  write_command_log(s, std::string_view(data, length), "<<");
  fileservice::IoRecord record;
  record.socket = hook_socket(s, SessionSocket::Control);
  record.buffer = const_cast<char*>(data);
  record.length = static_cast<int>(std::min<size_t>(length, 0x7FFFFFFF));
  if (fileservice::plugin_socket(s, fileservice::kSocketControlSend, &record)) {
    return record.length;
  }
  if (record.buffer == nullptr || record.length <= 0) return 0;
  return static_cast<long>(send_on(s, SessionSocket::Control, record.buffer, record.length));
}

}  // namespace core
