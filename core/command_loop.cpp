// The command loop: read a line, offer it to the plug-ins, dispatch it by number.
#include "core/command_loop.h"

#include <cstring>

#include "core/admin_channel.h"
#include "core/commands.h"
#include "core/control.h"
#include "core/reply.h"
#include "fileservice/plugin_host.h"
#include "platform/clock.h"
#include "shared/bounded_text.h"

namespace core {
namespace {

// The session's message buffer as a plug-in left it (the reply sender rejects a text
// that is not terminated within the buffer).
std::string_view message_text(Session& s) {
  return std::string_view(s.view.message, shared::bounded_length(s.view.message, NFD_MESSAGE_SIZE));
}

}  // namespace

void run_command_loop(Session& s) {
  char line[kLineBufferSize];
  while (read_line(s, line) == ReadResult::Read) {
    SplitLine parts = split_line(line);
    int number = lookup_command(parts.word);
    std::string as_read(line, std::strcspn(line, "\r\n"));
    int answer = fileservice::plugin_message(s, fileservice::kMessageCommand, number,
                                             as_read.c_str());
    if (answer == 1 || answer == 2) {
      send_reply(s, message_text(s));
      if (answer == 2) return;
      continue;
    }
    if (!dispatch_command(s, number, parts.argument)) return;
  }
}

bool handle_quit(Session& s, const std::string&) {
  send_reply(s, "221 Good-Bye\r\n");
  report(s, shared::kEventQuit, "終了します。");
  return false;
}

bool handle_noop(Session& s, const std::string&) {
  if (s.forbidden & kProhibitNoop) {
    send_reply(s, "550 Requested action not taken.\r\n");
    return true;
  }
  s.last_activity_tick = platform::tick_ms();
  send_reply(s, "200 OK\r\n");
  report(s, shared::kEventStatus, "NOOP受け付けました。");
  return true;
}

}  // namespace core
