#include "core/login.h"

#include "core/command_loop.h"

namespace core {

bool handle_user(Session& s, const std::string& argument) { return handle_not_implemented(s, argument); }
bool handle_pass(Session& s, const std::string& argument) { return handle_not_implemented(s, argument); }

}  // namespace core
