// The command table: one record per FTP command, read by the command loop, HELP and FEAT.
//
// Row i carries plug-in command number i (0-40 are the original set, new commands follow
// in the order they were added, so every plug-in keeps its numbers). The dispatcher reads
// the row before the handler runs: "530 Not log in." for a command that needs a login,
// "501" for a missing argument, so handlers start from a logged-in session.
#pragma once
#include <span>
#include <string>
#include <string_view>

#include "core/session.h"

namespace core {

// A command handler returns false to end the session.
using CommandHandler = bool (*)(Session& s, const std::string& argument);

struct Command {
  const char* name;          // "" for the empty word
  int number;                // passed to the plug-ins with every command line
  CommandHandler handler;    // nullptr: the line gets no reply (the empty word)
  const char* help;          // the text of "214 Syntax: %s"
  bool login_needed;         // answered "530 Not log in." before login
  bool argument_needed;      // answered "501" without an argument
  const char* feature;       // its line in the FEAT reply, nullptr for none
};

// Numbers 0-40 are the original set, 33 the empty word, 255 every unknown word.
inline constexpr int kCommandEmpty = 33;
inline constexpr int kCommandUnknown = 255;

std::span<const Command> command_table();
// The row of a command number, nullptr for an unknown number.
const Command* command_by_number(int number);
// The command number of a word (case-insensitive; one leading byte >= 0x80 is skipped):
// kCommandEmpty for an empty word or one starting with a byte >= 0x80, kCommandUnknown for
// any other word not in the table.
int lookup_command(std::string_view word);
const char* command_name(int number);

// Runs a command line's row: the login and argument tests, then the handler.
bool dispatch_command(Session& s, int number, const std::string& argument);

// Feature lines offered beside those of the rows (each without its leading blank).
std::span<const char* const> extra_features();

bool handle_help(Session& s, const std::string& argument);
bool handle_feat(Session& s, const std::string& argument);
bool handle_opts(Session& s, const std::string& argument);
bool handle_allo(Session& s, const std::string& argument);
bool handle_not_implemented(Session& s, const std::string& argument);

}  // namespace core
