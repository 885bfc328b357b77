// Commands that act on the disk without a data connection.
#pragma once
#include <cstdint>
#include <string>

#include "core/session.h"

namespace fileservice {

bool handle_cwd(core::Session& s, const std::string& argument);
bool handle_cdup(core::Session& s, const std::string& argument);
bool handle_pwd(core::Session& s, const std::string& argument);
bool handle_mkd(core::Session& s, const std::string& argument);
bool handle_rmd(core::Session& s, const std::string& argument);
bool handle_dele(core::Session& s, const std::string& argument);
bool handle_rnfr(core::Session& s, const std::string& argument);
bool handle_rnto(core::Session& s, const std::string& argument);
bool handle_size(core::Session& s, const std::string& argument);
bool handle_mdtm(core::Session& s, const std::string& argument);
bool handle_stat(core::Session& s, const std::string& argument);
bool handle_syst(core::Session& s, const std::string& argument);
bool handle_type(core::Session& s, const std::string& argument);
bool handle_rest(core::Session& s, const std::string& argument);

// The folder creation routine of MKD; with replies false it only creates.
// argument is a client path (empty: the current directory); true when the folder was made.
bool make_directories(core::Session& s, const std::string& argument, bool replies);
// REST's number: leading blanks and a sign, then decimal digits up to the first other
// byte; 0 when there are none; saturates at the 64-bit limits.
int64_t parse_restart_offset(const std::string& text);

}  // namespace fileservice
