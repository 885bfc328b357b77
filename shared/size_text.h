// Byte counts and rates as operators read them: "512B", "1.50KB", "10.0MB", "117MB".
#pragma once
#include <string>

namespace shared {

std::string size_text(double bytes);
// A rate in bits per second: the size text without its last character, then "bps"
// ("12.0Kbps", "500bps").
std::string rate_text(double bits_per_second);

}  // namespace shared
