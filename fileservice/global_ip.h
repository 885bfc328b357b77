// The global-IP lookup: one HTTP POST at start-up that learns the public address.
//
// Threads: the lookup thread is the only writer of the global IP; PASV reads it from
// session threads through global_ip(), which takes a lock.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fileservice {

// Starts the lookup thread and returns at once; an empty url makes no lookup.
void start_global_ip_lookup(const std::string& url);
// Shuts the lookup's socket down and joins the thread.
void stop_global_ip_lookup();
// The learnt address (at most 19 characters), or none while it is unknown.
std::optional<std::string> global_ip();
// True once the lookup thread has done all its work (for tests).
bool global_ip_lookup_finished();

inline constexpr size_t kGlobalIpMax = 19;

// "ma=<adapter address>&ver=204", or "ma=error&ver=204" without an adapter address.
std::string lookup_request_body(const std::optional<std::string>& adapter_address);

// What a lookup response says. notices are the values of open_url and dialog pairs in
// the order they came; each is posted to the Manager as it is.
struct LookupAnswer {
  bool status_ok = false;
  std::optional<std::string> global_ip;
  std::vector<std::string> notices;
};
// Parses a response as received (at most 5119 bytes): the status must be 200 (bytes
// 9-11); the body starts behind the first CR LF CR LF within the first 5115 bytes (at
// 5115 without one) and holds NUL-terminated key and value texts ended by an empty key.
// Keys are compared without regard to letter case; the last global_ip wins.
LookupAnswer parse_lookup_response(std::string_view response);

}  // namespace fileservice
