#include "manager/editors/prohibition_bits.h"

namespace manager {

uint32_t folder_mask_from_disk(int prhb) {
  return (static_cast<uint32_t>(prhb) ^ kFolderDiskFlip) & 0xFFFF;
}

int folder_mask_to_disk(uint32_t mask) { return static_cast<int>((mask ^ kFolderDiskFlip) & 0xFFFF); }

std::string permission_text(uint32_t mask) {
  struct Letter {
    uint32_t bit;
    char letter;
  };
  static const Letter letters[] = {{0x0100, 'V'}, {0x0080, 'C'}, {0x0040, 'D'}, {0x0200, 'M'},
                                   {0, ' '},      {0x0008, 'W'}, {0x0020, 'R'}, {0x0002, 'O'},
                                   {0x0010, 'D'}, {0x0004, 'R'}, {0x0800, 'F'}, {0x1000, 'A'}};
  std::string text;
  for (const Letter& l : letters) {
    if (l.bit == 0) {
      text += ' ';
    } else {
      text += (mask & l.bit) != 0 ? l.letter : '-';
    }
  }
  return text;
}

const std::vector<BitBox>& kinshi_boxes() {
  static const std::vector<BitBox> boxes = {
      {0x0100, "表示", "kinshiDirList"},     {0x0080, "作成", "kinshiDirMake"},
      {0x0040, "削除", "kinshiDirDelete"},   {0x0200, "移動", "kinshiDirMove"},
      {0x0400, "リジューム", "kinshiResume"}, {0x2000, "NOOP", "kinshiNoop"},
      {0x0009, "write", "kinshiWrite"},      {0x0020, "read", "kinshiRead"},
      {0x0002, "上書き", "kinshiOverwrite"}, {0x0010, "削除", "kinshiFileDelete"},
      {0x0004, "リネーム", "kinshiRename"},  {0x4000, "再帰検索", "kinshiRecursive"},
  };
  return boxes;
}

const std::vector<BitBox>& folder_boxes() {
  static const std::vector<BitBox> boxes = {
      {0x0100, "表示", "dirList"},
      {0x0080, "作成", "dirMake"},
      {0x0040, "削除", "dirDelete"},
      {0x0200, "移動", "dirMove"},
      {0x0008, "write", "fileWrite"},
      {0x0020, "read", "fileRead"},
      {0x0002, "上書き", "fileOverwrite"},
      {0x0010, "削除", "fileDelete"},
      {0x0004, "リネーム", "fileRename"},
      {kRateFree, "レートフリー", "rateFree"},
      {kApplyBelow, "このフォルダ以下のフォルダにも適応。", "applyBelow"},
      {0x0001, "リジューム", "resume"},
  };
  return boxes;
}

bool box_checked(const BitBox& box, uint32_t mask) { return (mask & box.bits) != 0; }

uint32_t apply_box(const BitBox& box, uint32_t mask, bool checked) {
  return checked ? (mask | box.bits) : (mask & ~box.bits);
}

}  // namespace manager
