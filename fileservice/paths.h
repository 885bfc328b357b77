// Client paths to disk paths, the permission check, directory rules, virtual folders.
#pragma once
#include <cstdint>
#include <string>

#include "core/session.h"

namespace fileservice {

enum class KeepForm { Directory = 0, AsIs = 1 };

// Client path to canonical disk path. Raises the too-long-file-name fault.
std::string resolve_path(core::Session& s, const std::string& client_path, size_t size,
                         KeepForm form);
// Permission check for one operation bit; an empty path or one that begins with '-' is
// replaced by the current directory (in path).
bool check_permission(core::Session& s, std::string& path, uint32_t operation);
// The word of the first matching rule, or -1 (all bits).
uint32_t rule_lookup(const core::Session& s, const std::string& path);
// Rewrites path with the first virtual folder whose placement is its prefix.
std::string map_virtual(const std::string& path, size_t size = core::kPathMax);
// The current directory as the client sees it ("/", "/pub/").
std::string client_view(core::Session& s);

}  // namespace fileservice
