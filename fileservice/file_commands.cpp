#include "fileservice/file_commands.h"

#include "core/command_loop.h"

namespace fileservice {

bool handle_cwd(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_cdup(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_pwd(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_mkd(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_rmd(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_dele(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_rnfr(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_rnto(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_size(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_mdtm(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_stat(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_syst(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_type(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_rest(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }

}  // namespace fileservice

namespace fileservice {
bool make_directories(core::Session&, const std::string&, bool) { return false; }
}  // namespace fileservice
