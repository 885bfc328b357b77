// The command table and the commands that read it: HELP and FEAT.
#include "core/commands.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/command_loop.h"
#include "core/reply.h"
#include "core/login.h"
#include "core/tls_commands.h"
#include "fileservice/attribute_commands.h"
#include "fileservice/data_connection.h"
#include "fileservice/file_commands.h"
#include "fileservice/listing.h"
#include "fileservice/machine_listing.h"
#include "fileservice/transfer.h"
#include "shared/bounded_text.h"

namespace core {
namespace {

namespace fs = fileservice;

constexpr bool kLogin = true;
constexpr bool kAnyone = false;
constexpr bool kArgument = true;
constexpr bool kOptional = false;

constexpr auto kNotImpl = handle_not_implemented;

// clang-format off
constexpr std::array kCommands = {
    Command{"USER", 0, handle_user, "USER <sp> username", kAnyone, kOptional, nullptr},
    Command{"PASS", 1, handle_pass, "PASS <sp> password", kAnyone, kOptional, nullptr},
    Command{"ACCT", 2, kNotImpl, "ACCT is not implemented", kAnyone, kOptional, nullptr},
    Command{"CWD", 3, fs::handle_cwd, "CWD <sp> pathname", kLogin, kOptional, nullptr},
    Command{"CDUP", 4, fs::handle_cdup, "CDUP (up one directory)", kLogin, kOptional, nullptr},
    Command{"SMNT", 5, kNotImpl, "SMNT is not implemented", kAnyone, kOptional, nullptr},
    Command{"QUIT", 6, handle_quit, "QUIT (close control connection)", kAnyone, kOptional, nullptr},
    Command{"REIN", 7, kNotImpl, "REIN is not implemented", kAnyone, kOptional, nullptr},
    Command{"PORT", 8, fs::handle_port, "PORT <sp> h1,h2,h3,h4,p1,p2", kLogin, kOptional, nullptr},
    Command{"PASV", 9, fs::handle_pasv, "PASV (returns address/port)", kLogin, kOptional, nullptr},
    Command{"TYPE", 10, fs::handle_type, "TYPE <sp> type-code (A, I)", kLogin, kOptional, nullptr},
    Command{"STRU", 11, kNotImpl, "STRU is not implemented (always F)", kAnyone, kOptional, nullptr},
    Command{"MODE", 12, kNotImpl, "MODE is not implemented (always S)", kAnyone, kOptional, nullptr},
    Command{"RETR", 13, fs::handle_retr, "RETR <sp> pathname", kLogin, kOptional, nullptr},
    Command{"STOR", 14, fs::handle_stor, "STOR <sp> pathname", kLogin, kOptional, nullptr},
    Command{"STOU", 15, kNotImpl, "STOU is not implemented", kAnyone, kOptional, nullptr},
    Command{"APPE", 16, fs::handle_appe, "APPE <sp> pathname", kLogin, kOptional, nullptr},
    Command{"ALLO", 17, handle_allo, "ALLO (superfluous, answered 202)", kLogin, kOptional, nullptr},
    Command{"REST", 18, fs::handle_rest, "REST <sp> byte-count", kLogin, kOptional, nullptr},
    Command{"RNFR", 19, fs::handle_rnfr, "RNFR <sp> pathname", kLogin, kOptional, nullptr},
    Command{"RNTO", 20, fs::handle_rnto, "RNTO <sp> pathname", kLogin, kOptional, nullptr},
    Command{"ABOR", 21, fs::handle_abor, "ABOR (abort current operation)", kAnyone, kOptional, nullptr},
    Command{"DELE", 22, fs::handle_dele, "DELE <sp> pathname", kLogin, kOptional, nullptr},
    Command{"RMD", 23, fs::handle_rmd, "RMD <sp> pathname", kLogin, kOptional, nullptr},
    Command{"MKD", 24, fs::handle_mkd, "MKD <sp> pathname", kLogin, kOptional, nullptr},
    Command{"PWD", 25, fs::handle_pwd, "PWD (returns current working directory)", kAnyone, kOptional, nullptr},
    Command{"LIST", 26, fs::handle_list, "LIST [<sp> pathname]", kLogin, kOptional, nullptr},
    Command{"NLST", 27, fs::handle_nlst, "NLST [<sp> (pathname)]", kLogin, kOptional, nullptr},
    Command{"SITE", 28, fs::handle_site, "SITE <sp> CHMOD <sp> mode <sp> pathname | SITE HELP", kLogin, kArgument, nullptr},
    Command{"SYST", 29, fs::handle_syst, "SYST (returns system type)", kAnyone, kOptional, nullptr},
    Command{"STAT", 30, fs::handle_stat, "STAT [<sp> pathname]", kLogin, kOptional, nullptr},
    Command{"HELP", 31, handle_help, "HELP [<sp> command]", kAnyone, kOptional, nullptr},
    Command{"NOOP", 32, handle_noop, "NOOP (no operation)", kAnyone, kOptional, nullptr},
    Command{"", 33, nullptr, "Unknown command", kAnyone, kOptional, nullptr},
    Command{"XPWD", 34, fs::handle_pwd, "XPWD (returns current working directory)", kAnyone, kOptional, nullptr},
    Command{"XCUP", 35, fs::handle_cdup, "XCUP (up one directory)", kLogin, kOptional, nullptr},
    Command{"XCWD", 36, fs::handle_cwd, "XCWD <sp> pathname", kLogin, kOptional, nullptr},
    Command{"XMKD", 37, fs::handle_mkd, "XMKD <sp> pathname", kLogin, kOptional, nullptr},
    Command{"XRMD", 38, fs::handle_rmd, "XRMD <sp> pathname", kLogin, kOptional, nullptr},
    Command{"MDTM", 39, fs::handle_mdtm, "MDTM <sp> pathname", kLogin, kOptional, "MDTM"},
    Command{"SIZE", 40, fs::handle_size, "SIZE <sp> pathname", kLogin, kOptional, "SIZE"},
    Command{"FEAT", 41, handle_feat, "FEAT (lists the features)", kAnyone, kOptional, nullptr},
    Command{"OPTS", 42, handle_opts, "OPTS <sp> UTF8 ON | MLST facts", kAnyone, kArgument, nullptr},
    Command{"MLSD", 43, fs::handle_mlsd, "MLSD [<sp> pathname]", kLogin, kOptional, nullptr},
    Command{"MLST", 44, fs::handle_mlst, "MLST [<sp> pathname]", kLogin, kOptional,
            "MLST type*;size*;modify*;perm*;unique*;"},
    Command{"EPSV", 45, fs::handle_epsv, "EPSV [<sp> 1 | ALL]", kLogin, kOptional, "EPSV"},
    Command{"EPRT", 46, fs::handle_eprt, "EPRT <sp> |1|address|port|", kLogin, kArgument, "EPRT"},
    Command{"MFMT", 47, fs::handle_mfmt, "MFMT <sp> YYYYMMDDHHMMSS <sp> pathname", kLogin, kArgument, "MFMT"},
    Command{"AUTH", 48, handle_auth, "AUTH <sp> TLS", kAnyone, kArgument, "AUTH TLS"},
    Command{"PBSZ", 49, handle_pbsz, "PBSZ <sp> 0", kAnyone, kArgument, "PBSZ"},
    Command{"PROT", 50, handle_prot, "PROT <sp> P | C", kAnyone, kArgument, "PROT"},
    Command{"CCC", 51, handle_ccc, "CCC (refused: the control connection stays protected)", kAnyone, kOptional, nullptr},
};
// clang-format on

constexpr bool numbered_by_position() {
  for (size_t i = 0; i < kCommands.size(); ++i) {
    if (kCommands[i].number != static_cast<int>(i)) return false;
  }
  return true;
}
static_assert(numbered_by_position(), "row i of the command table carries number i");

// Features that are not a command of their own.
constexpr std::array kExtraFeatures = {"REST STREAM", "UTF8"};

constexpr size_t kHelpNamesPerLine = 8;

bool high_byte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// A command HELP lists: one the server carries out (not the empty word, not one that is
// only answered "not implemented").
bool implemented(const Command& command) {
  return command.handler != nullptr && command.handler != handle_not_implemented;
}

// "214-The following commands are recognized", the names of the implemented commands in
// table order, eight to an inner line (inner lines end in LF alone), and "214 ".
std::string help_list() {
  std::string text = "214-The following commands are recognized\n";
  size_t on_line = 0;
  for (const Command& command : kCommands) {
    if (!implemented(command)) continue;
    if (on_line > 0) text += ' ';
    text += command.name;
    if (++on_line == kHelpNamesPerLine) {
      text += '\n';
      on_line = 0;
    }
  }
  if (on_line > 0) text += '\n';
  return text + "214 \r\n";
}

}  // namespace

std::span<const Command> command_table() { return kCommands; }

std::span<const char* const> extra_features() { return kExtraFeatures; }

const Command* command_by_number(int number) {
  if (number < 0 || number >= static_cast<int>(kCommands.size())) return nullptr;
  return &kCommands[static_cast<size_t>(number)];
}

int lookup_command(std::string_view word) {
  if (!word.empty() && high_byte(word[0])) word.remove_prefix(1);
  if (word.empty() || high_byte(word[0])) return kCommandEmpty;
  for (const Command& command : kCommands) {
    if (command.number != kCommandEmpty && equal_ignoring_case(word, command.name)) {
      return command.number;
    }
  }
  return kCommandUnknown;
}

const char* command_name(int number) {
  const Command* command = command_by_number(number);
  return command != nullptr ? command->name : "";
}

bool dispatch_command(Session& s, int number, const std::string& argument) {
  const Command* command = command_by_number(number);
  if (command == nullptr) return handle_not_implemented(s, argument);
  if (command->handler == nullptr) return true;
  if (command->login_needed && s.login_state.load() < kLoggedIn) {
    send_reply(s, "530 Not log in.\r\n");
    return true;
  }
  if (command->argument_needed && argument.empty()) {
    send_reply(s, "501 Syntax error in parameters or arguments.\r\n");
    return true;
  }
  return command->handler(s, argument);
}

bool handle_help(Session& s, const std::string& argument) {
  if (argument.empty()) {
    send_reply(s, help_list());
    return true;
  }
  const Command* command = command_by_number(lookup_command(argument));
  if (command == nullptr) {
    send_reply(s, "502 Unknown command\r\n");
    return true;
  }
  send_reply(s, shared::format_bounded(1024, "214 Syntax: %s\r\n", command->help));
  return true;
}

// "211-Features:", one line per feature (the rows' and the extra ones, sorted), "211 End".
bool handle_feat(Session& s, const std::string&) {
  std::vector<std::string> lines(kExtraFeatures.begin(), kExtraFeatures.end());
  for (const Command& command : kCommands) {
    // AUTH TLS, PBSZ and PROT only where TLS can be negotiated.
    bool tls_row = command.handler == handle_auth || command.handler == handle_pbsz ||
                   command.handler == handle_prot;
    if (command.feature != nullptr && (!tls_row || tls_available())) {
      lines.emplace_back(command.feature);
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text = "211-Features:\r\n";
  for (const std::string& line : lines) text += " " + line + "\r\n";
  send_reply(s, text + "211 End\r\n");
  return true;
}

// OPTS UTF8 ON: names are always UTF-8. OPTS MLST facts: the facts of MLST and MLSD.
bool handle_opts(Session& s, const std::string& argument) {
  std::string word = argument.substr(0, argument.find(' '));
  std::string rest = word.size() < argument.size() ? argument.substr(word.size() + 1) : "";
  if (equal_ignoring_case(word, "UTF8") && equal_ignoring_case(rest, "ON")) {
    send_reply(s, "200 Always in UTF8 mode.\r\n");
  } else if (equal_ignoring_case(word, "MLST") && rest.find(' ') == std::string::npos) {
    s.mlst_facts = fs::parse_fact_list(rest);
    std::string chosen = fs::fact_list_text(s.mlst_facts.load());
    send_reply(s, shared::format_bounded(1024, "200 MLST OPTS %s\r\n", chosen.c_str()));
  } else {
    send_reply(s, "501 Option not understood.\r\n");
  }
  return true;
}

bool handle_allo(Session& s, const std::string&) {
  send_reply(s, "202 Command not implemented, superfluous at this site.\r\n");
  return true;
}

bool handle_not_implemented(Session& s, const std::string&) {
  send_reply(s, "502 Command not implemented.\r\n");
  return true;
}

}  // namespace core
