// Message slots (configurable reply texts) and their variables.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "core/session.h"
#include "shared/ini.h"

namespace core {

enum class Slot { Welcome220, Unknown3311, Known3310, Complete226, Logon230 };

// The session's message buffer, and the most a slot built from an account may hold.
inline constexpr size_t kMessageBufferSize = 2048;
inline constexpr size_t kAccountSlotSize = 512;

// Builds a slot's text from the INI file named (the configuration file for 220 and
// 3311, the account's settings file for the others), at most buffer_size - 1 bytes.
std::string build_slot(Slot slot, const std::string& ini_file, size_t buffer_size);
// The same from a file already read (several slots of one file from one reading).
std::string build_slot(Slot slot, const shared::IniFile& ini, size_t buffer_size);
// The slot's text for this session with its variables expanded, at most
// buffer_size - 1 bytes.
std::string slot_reply(Session& s, Slot slot, size_t buffer_size);
// Replaces $NAME$ variables with their live values.
std::string expand_variables(Session& s, std::string_view text, size_t buffer_size);

}  // namespace core
