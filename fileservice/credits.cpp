#include "fileservice/credits.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "shared/bounded_text.h"
#include "shared/size_text.h"

namespace fileservice {
namespace {

constexpr size_t kCreditReplySize = 1024;

uint32_t rate_up(const core::Session& s) { return s.rate >> 8; }
uint32_t rate_down(const core::Session& s) { return s.rate & 0xFFu; }

void add_credit(core::Session& s, double amount) { s.credit.fetch_add(amount); }

}  // namespace

bool has_ratio(const core::Session& s) { return s.rate != core::kNoRatio; }

long long credit_as_integer(double credit) {
  if (std::isnan(credit)) return 0;
  constexpr double kLimit = 9.2e18;  // inside the range of a 64-bit integer
  if (credit >= kLimit) return std::numeric_limits<long long>::max();
  if (credit <= -kLimit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(credit);  // truncates toward zero
}

std::string credit_refusal_line(double credit, uint64_t needed) {
  return shared::format_bounded(
      kCreditReplySize,
      "550 You have %lld(%s) credit.You need %lld(%s) credit to read this file.\r\n",
      credit_as_integer(credit), shared::size_text(credit).c_str(),
      static_cast<long long>(needed), shared::size_text(static_cast<double>(needed)).c_str());
}

bool credit_test(core::Session& s, uint64_t file_size, const std::string& argument) {
  uint64_t offset = s.restart_offset.load();
  uint64_t needed = file_size > offset ? file_size - offset : 0;
  double credit = s.credit.load();
  if (!(static_cast<double>(needed) > credit)) return true;
  core::send_reply(s, "550-Sorry You Need more credit.\r\n");
  core::send_reply(s, credit_refusal_line(credit, needed));
  core::report(s, shared::kEventRefused,
               shared::format_bounded(2048, "クレジット不足のため[%s]の読み込みを拒否しました。",
                                      argument.c_str()));
  return false;
}

void charge_download(core::Session& s, uint64_t bytes) {
  add_credit(s, -static_cast<double>(bytes));
}

// A ratio of 0:n would divide by zero and hand out an infinite credit; such an account
// earns nothing from uploads.
void earn_upload(core::Session& s, uint64_t bytes) {
  if (!has_ratio(s) || rate_up(s) == 0) return;
  add_credit(s, static_cast<double>(bytes) * rate_down(s) / rate_up(s));
}

bool consume_capacity(core::Session& s, uint64_t bytes) {
  if (!s.capacity_limit) return true;
  double left = s.credit.fetch_sub(static_cast<double>(bytes)) - static_cast<double>(bytes);
  return left > 0;
}

void refund_capacity(core::Session& s, double bytes) {
  if (s.capacity_limit) add_credit(s, bytes);
}

}  // namespace fileservice
