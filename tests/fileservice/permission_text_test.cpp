// The permission column of long listings.
#include <gtest/gtest.h>

#include "core/session.h"
#include "fileservice/listing.h"

namespace {

using fileservice::permission_text;
constexpr uint32_t kNoRule = 0xFFFFFFFFu;

TEST(PermissionText, PlainEntriesWithoutRules) {
  EXPECT_EQ(permission_text(false, false, kNoRule), "-rwxrw-rw-");
  EXPECT_EQ(permission_text(true, false, kNoRule), "drwxrw-rw-");
  EXPECT_EQ(permission_text(false, true, kNoRule), "-r-xr--r--");
}

TEST(PermissionText, RetrieveRuleClearsGroupAndOtherRead) {
  EXPECT_EQ(permission_text(false, false, core::kProhibitRetrieve), "-rwx-w--w-");
}

TEST(PermissionText, OverwriteRuleClearsGroupAndOtherWrite) {
  EXPECT_EQ(permission_text(false, false, core::kProhibitOverwrite), "-rwxr--r--");
  EXPECT_EQ(permission_text(true, false, core::kProhibitOverwrite | core::kProhibitRetrieve), "drwx------");
}

TEST(PermissionText, RuleWithoutListingBitsChangesNothing) {
  EXPECT_EQ(permission_text(false, false, core::kProhibitDelete), "-rwxrw-rw-");
  EXPECT_EQ(permission_text(false, true, core::kProhibitDelete), "-r-xr--r--");
}

}  // namespace
