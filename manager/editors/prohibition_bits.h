// Operation bits of the account editor: the forbidden operations of a user (UserKinshi)
// and the permitted operations of a folder entry (stored inverted as Prhb<n>).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace manager {

// A folder entry keeps its permitted operations in memory; on disk every bit except
// rate-free (0x0800) is stored inverted.
inline constexpr uint32_t kFolderDiskFlip = 0xF7FF;
inline constexpr uint32_t kRateFree = 0x0800;
inline constexpr uint32_t kApplyBelow = 0x1000;

uint32_t folder_mask_from_disk(int prhb);
int folder_mask_to_disk(uint32_t mask);
// The 12-character column "許可": VCDM, a blank, WRODRFA, '-' for each clear bit.
std::string permission_text(uint32_t mask);

// One check box: the bits it stands for (set together; any of them checks the box).
struct BitBox {
  uint32_t bits;
  const char* caption;
  const char* object_name;
};

// "ユーザー別禁止動作" in dialog order (directory column, then file column).
const std::vector<BitBox>& kinshi_boxes();
// The folder page: the nine actions, "レートフリー", "このフォルダ以下のフォルダにも適応。",
// "リジューム".
const std::vector<BitBox>& folder_boxes();

bool box_checked(const BitBox& box, uint32_t mask);
uint32_t apply_box(const BitBox& box, uint32_t mask, bool checked);

}  // namespace manager
