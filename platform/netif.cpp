// Network interfaces: IPv4 addresses (getifaddrs) and hardware addresses (sysfs).
#include "platform/netif.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>

#include "platform/files.h"
#include "platform/process.h"
#include "platform/socket.h"

namespace platform {

std::vector<std::string> local_ipv4_addresses() {
  std::vector<std::string> outside, loopback;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    std::string text = format_ipv4(address);
    if (i->ifa_flags & IFF_LOOPBACK)
      loopback.push_back(text);
    else
      outside.push_back(text);
  }
  freeifaddrs(list);
  outside.insert(outside.end(), loopback.begin(), loopback.end());
  return outside;
}

namespace {

// "aa:bb:cc:dd:ee:ff" -> "AABBCCDDEEFF"; none for other forms and for all zeros.
std::optional<std::string> hardware_hex(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  if (text.size() != 17) return std::nullopt;
  std::string hex;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (i % 3 == 2) {
      if (c != ':') return std::nullopt;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    hex += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (hex.find_first_not_of('0') == std::string::npos) return std::nullopt;
  return hex;
}

}  // namespace

std::optional<std::string> first_hardware_address() {
  std::string folder = environment_variable("VELMORAFTPD_NET_SYSFS").value_or("/sys/class/net");
  if (folder.empty()) return std::nullopt;
  if (folder.back() != '/') folder += '/';
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "lo") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    std::optional<std::string> text = read_whole_file(folder + name + "/address");
    if (!text) continue;
    if (auto hex = hardware_hex(*text)) return hex;
  }
  return std::nullopt;
}

}  // namespace platform
