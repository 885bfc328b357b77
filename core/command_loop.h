// The command loop and the commands handled by the control connection itself.
#pragma once
#include <string>

#include "core/session.h"

namespace core {

// A command handler returns false to end the session.
using CommandHandler = bool (*)(Session& s, const std::string& argument);

void run_command_loop(Session& s);
bool handle_quit(Session& s, const std::string& argument);
bool handle_noop(Session& s, const std::string& argument);
bool handle_help(Session& s, const std::string& argument);
bool handle_not_implemented(Session& s, const std::string& argument);

}  // namespace core
