// Credits and ratio: download test, charging, earning, capacity.
#pragma once
#include <cstdint>
#include <string>

#include "core/session.h"

namespace fileservice {

bool has_ratio(const core::Session& s);
// Sends the two-line 550 reply and reports when the credit is short; true when allowed.
bool credit_test(core::Session& s, uint64_t file_size, const std::string& argument);
void charge_download(core::Session& s, uint64_t bytes);
void earn_upload(core::Session& s, uint64_t bytes);
// Capacity after an uploaded block; false when it is used up.
bool consume_capacity(core::Session& s, uint64_t bytes);
// Adds bytes to the credit when the capacity limit is on (DELE, STOR over stored bytes).
void refund_capacity(core::Session& s, double bytes);

// The credit truncated toward zero to a 64-bit integer (clamped at the ends of the range).
long long credit_as_integer(double credit);
// The second line of the credit refusal ("550 You have ...").
std::string credit_refusal_line(double credit, uint64_t needed);

}  // namespace fileservice
