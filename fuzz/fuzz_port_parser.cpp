// The PORT and EPRT argument parsers (h1,h2,h3,h4,p1,p2 and |1|address|port|) against the
// client's own address, and the rule on the port a data connection may go to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fileservice/data_connection.h"
#include "fileservice/port_rules.h"
#include "fuzz/fuzz_support.h"
#include "platform/socket.h"

namespace {

// A parsed target passes the port rule exactly when its port is unprivileged and none of
// the Core's own listening ports.
void check_port_rule(uint16_t port, uint16_t own_port) {
  const uint16_t own[] = {own_port, 54253};
  bool allowed = fileservice::data_port_allowed(port, own);
  FUZZ_CHECK(allowed == (port >= 1024 && port != own_port && port != 54253));
}

}  // namespace

// Input: one byte of choices, four bytes of the client's address, then the argument. The
// low half of the address doubles as the Core's own FTP port for the port rule.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  uint8_t choices = input.byte();
  bool use_client_address = (choices & 1) != 0;
  uint32_t client = 0;
  for (int i = 0; i < 4; ++i) client = (client << 8) | input.byte();
  std::string client_text = platform::format_ipv4(client);
  std::string argument(input.rest());

  auto endpoint = fileservice::parse_port_argument(argument, client_text, use_client_address);
  if (endpoint) {
    // Whatever the argument says, data only ever goes to the client's own address.
    std::optional<uint32_t> expected = platform::parse_ipv4(client_text);
    FUZZ_CHECK(expected.has_value());
    FUZZ_CHECK(endpoint->address == *expected);
    check_port_rule(endpoint->port, static_cast<uint16_t>(client));
  }

  // The well-formed argument for the client's address and a port taken from the input
  // names exactly that endpoint.
  uint8_t high = static_cast<uint8_t>(choices >> 1);
  uint8_t low = static_cast<uint8_t>(argument.empty() ? 0 : argument[0]);
  std::string canonical = client_text + "," + std::to_string(high) + "," + std::to_string(low);
  for (char& c : canonical) c = c == '.' ? ',' : c;
  auto exact = fileservice::parse_port_argument(canonical, client_text, use_client_address);
  bool representable = client != 0xFFFFFFFFu;  // the classic parser's no-address value
  FUZZ_CHECK(exact.has_value() == representable);
  if (exact) {
    FUZZ_CHECK(exact->address == client);
    FUZZ_CHECK(exact->port == high * 256 + low);
    check_port_rule(exact->port, static_cast<uint16_t>(client));
  }

  // EPRT: whatever parses names a port of 1-65535 and an address of 1-45 characters; as a
  // data connection target it is the client or nothing.
  if (auto extended = fileservice::parse_eprt_argument(argument)) {
    FUZZ_CHECK(extended->port >= 1);
    FUZZ_CHECK(!extended->address.empty() && extended->address.size() <= 45);
    auto target = fileservice::data_target(extended->address, extended->port, client_text, use_client_address);
    if (target) FUZZ_CHECK(target->address == client && target->port == extended->port);
  }
  return 0;
}
