// RETR, STOR, APPE, ABOR and the send/receive routines of the data worker.
#pragma once
#include <string>

#include "core/session.h"

namespace fileservice {

bool handle_retr(core::Session& s, const std::string& argument);
bool handle_stor(core::Session& s, const std::string& argument);
bool handle_appe(core::Session& s, const std::string& argument);
bool handle_abor(core::Session& s, const std::string& argument);

void send_file(core::Session& s);     // worker command 2
void receive_file(core::Session& s);  // worker command 3

}  // namespace fileservice
