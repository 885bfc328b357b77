#include "fileservice/global_ip.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "core/admin_channel.h"
#include "fileservice/http_client.h"
#include "platform/netif.h"
#include "platform/thread.h"
#include "shared/bounded_text.h"

namespace fileservice {
namespace {

constexpr size_t kHeaderSearchEnd = 5115;
constexpr size_t kRequestBodyMax = 255;
// Name resolution runs on this thread; give it more room than a session thread.
constexpr size_t kLookupStack = 256 * 1024;

std::mutex g_ip_lock;
std::string g_ip;
std::atomic<bool> g_known{false};
std::atomic<bool> g_finished{false};

platform::Thread g_thread;
std::unique_ptr<HttpCancel> g_cancel;  // the process-wide HTTP socket's owner

bool same_key(std::string_view key, std::string_view name) {
  if (key.size() != name.size()) return false;
  for (size_t i = 0; i < key.size(); ++i) {
    char c = key[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != name[i]) return false;
  }
  return true;
}

// The NUL-terminated text at pos (the end of the data also ends it).
std::string_view text_at(std::string_view data, size_t pos) {
  if (pos >= data.size()) return {};
  std::string_view rest = data.substr(pos);
  return rest.substr(0, rest.find('\0'));
}

size_t body_start(std::string_view response) {
  std::string_view head = response.substr(0, kHeaderSearchEnd + 3);
  size_t mark = head.find("\r\n\r\n");
  if (mark == std::string_view::npos || mark >= kHeaderSearchEnd) return kHeaderSearchEnd;
  return mark + 4;
}

void store_global_ip(std::string_view text) {
  std::lock_guard<std::mutex> guard(g_ip_lock);
  g_ip = std::string(text);
  g_known = true;
}

void lookup_once(const std::string& url, HttpCancel& cancel) {
  std::string body = lookup_request_body(platform::first_hardware_address());
  std::string response;
  if (!http_request(url, true, body, response, cancel)) return;
  LookupAnswer answer = parse_lookup_response(response);
  if (answer.global_ip) store_global_ip(*answer.global_ip);
  for (const std::string& notice : answer.notices) core::post_text(notice);
}

void run_lookup(std::string url, HttpCancel* cancel) {
  lookup_once(url, *cancel);
  g_finished = true;
}

}  // namespace

std::string lookup_request_body(const std::optional<std::string>& adapter_address) {
  std::string body = "ma=" + adapter_address.value_or("error") + "&ver=204";
  return std::string(shared::cut_text(body, kRequestBodyMax));
}

LookupAnswer parse_lookup_response(std::string_view response) {
  LookupAnswer answer;
  answer.status_ok = response.size() >= 12 && response.substr(9, 3) == "200";
  if (!answer.status_ok) return answer;
  size_t pos = body_start(response);
  for (;;) {
    std::string_view key = text_at(response, pos);
    if (key.empty()) break;
    pos += key.size() + 1;
    std::string_view value = text_at(response, pos);
    pos += value.size() + 1;
    if (same_key(key, "global_ip")) {
      answer.global_ip = std::string(shared::cut_text(value, kGlobalIpMax));
    } else if (same_key(key, "open_url") || same_key(key, "dialog")) {
      answer.notices.emplace_back(value);
    }
  }
  return answer;
}

void start_global_ip_lookup(const std::string& url) {
  if (url.empty() || g_thread.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(g_ip_lock);
    g_known = false;
    g_ip.clear();
  }
  g_finished = false;
  g_cancel = std::make_unique<HttpCancel>();
  HttpCancel* cancel = g_cancel.get();
  g_thread.start([url, cancel] { run_lookup(url, cancel); }, kLookupStack);
}

void stop_global_ip_lookup() {
  if (!g_thread.joinable()) return;
  g_cancel->cancel();
  g_thread.join();
}

bool global_ip_lookup_finished() { return g_finished; }

std::optional<std::string> global_ip() {
  if (!g_known) return std::nullopt;
  std::lock_guard<std::mutex> guard(g_ip_lock);
  return g_ip;
}

}  // namespace fileservice
