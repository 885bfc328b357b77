// The global-IP service's answer as received (at most 5119 bytes), and the lookup URL.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fileservice/global_ip.h"
#include "fileservice/http_client.h"
#include "fuzz/fuzz_support.h"

namespace {

void check_response(std::string_view response) {
  fileservice::LookupAnswer answer = fileservice::parse_lookup_response(response);
  FUZZ_CHECK(answer.status_ok == (response.size() >= 12 && response.substr(9, 3) == "200"));
  if (!answer.status_ok) FUZZ_CHECK(!answer.global_ip && answer.notices.empty());
  if (answer.global_ip) {
    FUZZ_CHECK(answer.global_ip->size() <= fileservice::kGlobalIpMax);
    FUZZ_CHECK(answer.global_ip->find('\0') == std::string::npos);
  }
  size_t notice_bytes = 0;
  for (const std::string& notice : answer.notices) {
    FUZZ_CHECK(notice.find('\0') == std::string::npos);
    notice_bytes += notice.size();
  }
  FUZZ_CHECK(notice_bytes <= response.size());
}

void check_url(std::string_view url) {
  std::optional<fileservice::HttpUrl> parsed = fileservice::parse_http_url(url);
  if (!parsed) return;
  FUZZ_CHECK(!parsed->host.empty());
  FUZZ_CHECK(parsed->port != 0);
  FUZZ_CHECK(!parsed->path.empty() && parsed->path[0] == '/');
  FUZZ_CHECK(parsed->host.find('/') == std::string::npos);
  std::string request = fileservice::build_http_request(*parsed, true, "ma=error&ver=204");
  FUZZ_CHECK(request.compare(0, 5, "POST ") == 0);
  FUZZ_CHECK(request.size() >= 16 &&
             request.compare(request.size() - 16, 16, "ma=error&ver=204") == 0);
  fileservice::build_http_request(*parsed, false, "");
}

}  // namespace

// Input: the response; its first line (up to the first LF) is also tried as the URL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view whole(reinterpret_cast<const char*>(data), size);
  std::string_view response = whole.substr(0, fileservice::kHttpResponseSize - 1);
  check_response(response);
  check_url(whole.substr(0, whole.find('\n')));
  return 0;
}
