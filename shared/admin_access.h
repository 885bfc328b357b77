// Who may be the Manager of a Core: the rule the Core applies to every admin connection,
// and the Manager to explain a refusal.
#pragma once
#include <cstdint>

namespace shared {

// Members of this group manage the packaged service as themselves.
inline constexpr const char* kManagerGroup = "velmoraftpd";

// True when a process of peer_uid may manage a Core that runs as core_uid: the same
// user, root, or a member of the manager group.
bool may_manage(uint32_t peer_uid, uint32_t core_uid);

}  // namespace shared
