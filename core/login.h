// USER and PASS: the three login states, refusals and unknown IDs.
#pragma once
#include <string>

#include "core/session.h"

namespace core {

bool handle_user(Session& s, const std::string& argument);
bool handle_pass(Session& s, const std::string& argument);

}  // namespace core
