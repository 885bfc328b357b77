#include "fileservice/transfer.h"

#include "core/command_loop.h"

namespace fileservice {

bool handle_retr(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_stor(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_appe(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_abor(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }

}  // namespace fileservice

namespace fileservice {
void send_file(core::Session&) {}
void receive_file(core::Session&) {}
}  // namespace fileservice
