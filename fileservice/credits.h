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
void refund_capacity(core::Session& s, double bytes);

}  // namespace fileservice
