#include "shared/admin_access.h"

#include "platform/users.h"

namespace shared {

bool may_manage(uint32_t peer_uid, uint32_t core_uid) {
  constexpr uint32_t kRootUserId = 0;
  return peer_uid == core_uid || peer_uid == kRootUserId ||
         platform::user_in_group(peer_uid, kManagerGroup);
}

}  // namespace shared
