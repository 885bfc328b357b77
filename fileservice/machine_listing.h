// Machine-readable listings: the facts of MLST and MLSD lines and the MLST command. MLSD
// itself runs through the listing routine of listing.cpp.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/session.h"
#include "platform/files.h"

namespace fileservice {

// The facts offered, in the order they are written; Session::mlst_facts holds those the
// client chose (OPTS MLST), all of them by default.
enum Fact : uint32_t {
  kFactType = 1,
  kFactSize = 2,
  kFactModify = 4,
  kFactPerm = 8,
  kFactUnique = 16,
};

bool handle_mlst(core::Session& s, const std::string& argument);

// "type=file;size=5;modify=20260101120000;perm=adfrw;unique=801U2a; " for an entry: type
// is "file", "dir" or "cdir"; modify is UTC; perm follows the account's forbidden
// operations and the rules of the folder holding the entry (parent_rule) and, for a
// folder, its own rules (own_rule). Ends with the blank that precedes the name.
std::string entry_facts(const core::Session& s, const platform::FileInfo& info, const char* type,
                        uint32_t parent_rule, uint32_t own_rule);
// OPTS MLST: the facts named in a list such as "type;size;" (unknown names ignored), and
// the reply text naming those chosen.
uint32_t parse_fact_list(const std::string& text);
std::string fact_list_text(uint32_t facts);

}  // namespace fileservice
