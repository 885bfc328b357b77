// Commands that change a file's attributes: MFMT (modification time) and SITE CHMOD
// (permission bits), and SITE HELP. Both changes need the folder rules to allow writing.
#pragma once
#include <optional>
#include <string>

#include "core/session.h"

namespace fileservice {

bool handle_mfmt(core::Session& s, const std::string& argument);
bool handle_site(core::Session& s, const std::string& argument);

// "YYYYMMDDHHMMSS" (UTC, an optional ".fff" fraction ignored) as Unix seconds; none for
// anything else or a date that does not exist.
std::optional<int64_t> parse_utc_timestamp(const std::string& text);
// One to four octal digits whose value has no bit above 0777; none otherwise.
std::optional<unsigned> parse_mode(const std::string& text);

}  // namespace fileservice
