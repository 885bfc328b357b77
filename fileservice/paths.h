// Client paths to disk paths, the permission check, directory rules, virtual folders.
//
// Inside a session every path is an absolute disk path with the native separator '/';
// folders end with '/'. The client sees the tree below its home directory as "/".
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/session.h"
#include "platform/text.h"

namespace fileservice {

enum class KeepForm { Directory = 0, AsIs = 1 };

// The rule word that stands for "no rule matched".
inline constexpr uint32_t kNoRule = 0xFFFFFFFFu;

using LeadByteTest = bool (*)(unsigned char);

// Client path to canonical disk path, at most size-1 bytes. Directory form appends '/'
// when the result names an existing folder (after virtual mapping). Raises the
// too-long-file-name fault when the client path and its base exceed 259 bytes.
std::string resolve_path(core::Session& s, const std::string& client_path, size_t size,
                         KeepForm form);
// Permission check for one operation bit; an empty path or one that begins with '-' is
// replaced by the current directory (in path). Besides the textual confinement to the
// home directory, the path must stay on disk inside the home directory or inside the real
// folder of the virtual folder it maps into (really_inside).
bool check_permission(core::Session& s, std::string& path, uint32_t operation);
// The word of the first matching rule, or kNoRule.
uint32_t rule_lookup(const core::Session& s, const std::string& path);
// The same, telling "no rule" apart from a rule whose word has every bit set.
std::optional<uint32_t> find_rule(const core::Session& s, const std::string& path);
// Rewrites path with the first virtual folder whose placement is its prefix.
std::string map_virtual(const std::string& path, size_t size = core::kPathMax);

struct VirtualMapping {
  std::string path;         // the mapped path (the input when no folder applied)
  int pair = -1;            // number of the Vir%d/Dir%d pair applied, -1 for none
  std::string real_folder;  // its Dir%d value
};
VirtualMapping map_virtual_pair(const std::string& path, size_t size = core::kPathMax);

// The current directory as the client sees it ("/", "/pub/").
std::string client_view(core::Session& s);

// Converts every byte from to the byte to, scanning from the end, except a byte that is
// the second half of a double-byte character (at index >= 2, after a lead byte).
void convert_separators(std::string& path, char from, char to,
                        LeadByteTest is_lead = platform::is_lead_byte);
// The folder that governs a path: the path itself when it ends with the separator, else
// everything up to and including its last separator (lead-byte rule as above).
std::string target_folder(const std::string& path, char separator = platform::kSeparator,
                          LeadByteTest is_lead = platform::is_lead_byte);
// True when the path, as far as its names exist on disk, stays inside the folder it maps
// into (the home directory or its virtual folder's real folder): links are followed only
// while they stay inside.
bool really_inside(const core::Session& s, const std::string& path);

}  // namespace fileservice
