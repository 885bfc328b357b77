// The command loop and the commands handled by the control connection itself.
#pragma once
#include <string>

#include "core/session.h"

namespace core {

void run_command_loop(Session& s);
bool handle_quit(Session& s, const std::string& argument);
bool handle_noop(Session& s, const std::string& argument);

}  // namespace core
