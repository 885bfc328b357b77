#include "core/messages.h"

namespace core {

// Placeholder until message slots are built from the INI files.
std::string build_slot(Slot, const std::string&, size_t) { return {}; }
std::string slot_reply(Session&, Slot slot, size_t) {
  switch (slot) {
    case Slot::Welcome220: return "220-Welcome To velmoraFTP !!!\r\n220 Enter Your ID\r\n";
    case Slot::Unknown3311: return "331 Enter Password\r\n";
    case Slot::Known3310: return "331 Enter Your Password\r\n";
    case Slot::Complete226: return "226 Transfer complete.\r\n";
    case Slot::Logon230: return "230 Login OK!!!\r\n";
  }
  return {};
}
std::string expand_variables(Session&, std::string_view text, size_t) { return std::string(text); }

}  // namespace core
