#include "fileservice/data_connection.h"

#include "core/command_loop.h"
#include "core/control.h"

namespace fileservice {

bool handle_port(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
bool handle_pasv(core::Session& s, const std::string& argument) { return core::handle_not_implemented(s, argument); }
void passive_listen(core::Session& s) { s.data_failed.set(); }
bool open_data_connection(core::Session& s) {
  worker_reply(s, "425 Can't open data connection.\r\n");
  return false;
}
void worker_reply(core::Session& s, std::string_view text) { core::send_bytes(s, text.data(), text.size()); }
std::optional<platform::Ipv4Endpoint> parse_port_argument(const std::string&, const std::string&, bool) { return std::nullopt; }
std::vector<std::string> build_local_address_slots() { return {"127.0.0.1", "", ""}; }

}  // namespace fileservice
