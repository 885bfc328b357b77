// LIST, NLST and the listing routine of the data worker.
#pragma once
#include <string>

#include "core/session.h"
#include "platform/files.h"

namespace fileservice {

bool handle_list(core::Session& s, const std::string& argument);
bool handle_nlst(core::Session& s, const std::string& argument);
bool handle_mlsd(core::Session& s, const std::string& argument);
void send_listing(core::Session& s);  // worker command 1

// "-rwxrw-rw-" and friends for an entry in a folder with rule word rule.
std::string permission_text(bool is_directory, bool read_only, uint32_t rule);

}  // namespace fileservice
