#include "fileservice/listing.h"

#include "core/command_loop.h"

namespace fileservice {

bool handle_list(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_nlst(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }

}  // namespace fileservice

namespace fileservice {
void send_listing(core::Session&) {}
std::string permission_text(bool, bool, uint32_t) { return "----------"; }
}  // namespace fileservice
