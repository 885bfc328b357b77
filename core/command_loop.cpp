// The command loop: read a line, offer it to the plug-ins, dispatch it by number.
#include "core/command_loop.h"

#include <array>
#include <cstring>

#include "core/admin_channel.h"
#include "core/control.h"
#include "core/login.h"
#include "fileservice/data_connection.h"
#include "fileservice/file_commands.h"
#include "fileservice/listing.h"
#include "fileservice/plugin_host.h"
#include "fileservice/transfer.h"
#include "platform/clock.h"
#include "shared/bounded_text.h"

namespace core {
namespace {

namespace fs = fileservice;

constexpr const char* kNotImplemented = "502 Command not implemented.\r\n";

// Handlers by command number; number 33 (an empty word) has none and gets no reply.
constexpr std::array<CommandHandler, 41> kHandlers = {
    handle_user,    handle_pass,   handle_not_implemented, fs::handle_cwd,
    fs::handle_cdup, handle_not_implemented, handle_quit, handle_not_implemented,
    fs::handle_port, fs::handle_pasv, fs::handle_type, handle_not_implemented,
    handle_not_implemented, fs::handle_retr, fs::handle_stor, handle_not_implemented,
    fs::handle_appe, handle_not_implemented, fs::handle_rest, fs::handle_rnfr,
    fs::handle_rnto, fs::handle_abor, fs::handle_dele, fs::handle_rmd,
    fs::handle_mkd, fs::handle_pwd, fs::handle_list, fs::handle_nlst,
    handle_not_implemented, fs::handle_syst, fs::handle_stat, handle_help,
    handle_noop, nullptr, fs::handle_pwd, fs::handle_cdup,
    fs::handle_cwd, fs::handle_mkd, fs::handle_rmd, fs::handle_mdtm,
    fs::handle_size};

constexpr std::array<const char*, 41> kSyntax = {
    "USER <sp> username",
    "PASS <sp> password",
    "ACCT is not implemented",
    "CWD <sp> pathname",
    "CDUP (up one directory)",
    "SMNT is not implemented",
    "QUIT (close control connection)",
    "REIN is not implemented",
    "PORT <sp> h1,h2,h3,h4,p1,p2",
    "PASV (returns address/port)",
    "TYPE <sp> type-code (A, I)",
    "STRU is not implemented (always F)",
    "MODE is not implemented (always S)",
    "RETR <sp> pathname",
    "STOR <sp> pathname",
    "STOU is not implemented",
    "APPE <sp> pathname",
    "ALLO is not implemented (ignored)",
    "REST <sp> byte-count",
    "RNFR <sp> pathname",
    "RNTO <sp> pathname",
    "ABOR (abort current operation)",
    "DELE <sp> pathname",
    "RMD <sp> pathname",
    "MKD <sp> pathname",
    "PWD (returns current working directory)",
    "LIST [<sp> pathname]",
    "NLST [<sp> (pathname)]",
    "SITE is not implemented",
    "SYST (returns system type)",
    "STAT [<sp> pathname]",
    "HELP [<sp> command]",
    "NOOP (no operation)",
    "Unknown command",
    "XPWD (returns current working directory)",
    "XCUP (up one directory)",
    "XCWD <sp> pathname",
    "XMKD <sp> pathname",
    "XRMD <sp> pathname",
    "MDTM <sp> pathname",
    "SIZE <sp> pathname"};

constexpr const char* kHelpList =
    "214-The following commands are recognized\n"
    "USER PASS PWD XPWD TYPE\n"
    "PORT PASV NLST LIST STAT\n"
    "CDUP XCUP CWD XCWD REST RETR STOR\n"
    "ABOR APPE DELE MKD XMKD RMD XRMD\n"
    "RNFR RNTO SYST QUIT NOOP HELP\n"
    "MDTM SIZE\n"
    "214 \r\n";

// The session's message buffer as a plug-in left it (the reply sender rejects a text
// that is not terminated within the buffer).
std::string_view message_text(Session& s) {
  return std::string_view(s.view.message, shared::bounded_length(s.view.message, NFD_MESSAGE_SIZE));
}

bool dispatch(Session& s, int number, const std::string& argument) {
  if (number < 0 || number >= static_cast<int>(kHandlers.size())) {
    return handle_not_implemented(s, argument);
  }
  CommandHandler handler = kHandlers[number];
  if (handler == nullptr) return true;
  return handler(s, argument);
}

}  // namespace

void run_command_loop(Session& s) {
  char line[kLineBufferSize];
  while (read_line(s, line) == ReadResult::Read) {
    SplitLine parts = split_line(line);
    int number = lookup_command(parts.word);
    std::string as_read(line, std::strcspn(line, "\r"));
    int answer = fileservice::plugin_message(s, fileservice::kMessageCommand, number,
                                             as_read.c_str());
    if (answer == 1 || answer == 2) {
      send_reply(s, message_text(s));
      if (answer == 2) return;
      continue;
    }
    if (!dispatch(s, number, parts.argument)) return;
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

bool handle_help(Session& s, const std::string& argument) {
  if (argument.empty()) {
    send_reply(s, kHelpList);
    return true;
  }
  int number = lookup_command(argument);
  if (number < 0 || number >= static_cast<int>(kSyntax.size())) {
    send_reply(s, "502 Unknown command\r\n");
    return true;
  }
  send_reply(s, shared::format_bounded(1024, "214 Syntax: %s\r\n", kSyntax[number]));
  return true;
}

bool handle_not_implemented(Session& s, const std::string&) {
  send_reply(s, kNotImplemented);
  return true;
}

}  // namespace core
