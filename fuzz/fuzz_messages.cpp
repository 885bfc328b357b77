// Message slots built from a settings file written from the input, then the variables of
// the text expanded for a session whose numbers come from the input too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/messages.h"
#include "core/server.h"
#include "core/session.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr core::Slot kSlots[] = {core::Slot::Welcome220, core::Slot::Unknown3311,
                                 core::Slot::Known3310, core::Slot::Complete226,
                                 core::Slot::Logon230};
constexpr size_t kSizes[] = {core::kMessageBufferSize, core::kAccountSlotSize, 64, 8, 2, 1};

double credit_from(fuzz::Input& input) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits = (bits << 8) | input.byte();
  double value;
  std::memcpy(&value, &bits, sizeof value);  // any bit pattern: NaN, infinities, denormals
  return value;
}

}  // namespace

// Input: a choice byte, eight bytes of credit, two of rate, then the settings file (with
// a NUL byte before text to expand directly).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = fuzz::scratch_dir("messages") + "settings.ini";
  fuzz::Input input(data, size);
  uint8_t choice = input.byte();
  core::Session s;
  s.credit = credit_from(input);
  s.rate = static_cast<uint16_t>(input.byte() << 8 | input.byte());
  s.capacity_limit = choice & 1;
  s.user_name = (choice & 2) ? "" : "guest";
  s.password = (choice & 4) ? "" : "pa$$word";
  core::core_state().config.max_connect = choice >> 4;

  std::string_view content = input.until('\0');
  std::string_view direct = input.rest();
  fuzz::write_file(file, content);

  core::Slot slot = kSlots[(choice >> 3) % 5];
  size_t buffer = kSizes[(choice >> 5) % 6];
  std::string text = core::build_slot(slot, file, buffer);
  FUZZ_CHECK(text.size() < buffer || (buffer == 0 && text.empty()));
  std::string expanded = core::expand_variables(s, text, buffer);
  FUZZ_CHECK(expanded.size() + 1 <= buffer || expanded.empty());

  // The whole reply path: the slot from the configuration or the account's texts.
  core::core_state().paths.config_file = file;
  s.account_loaded = (choice & 4) != 0;
  s.message_3310 = s.message_226 = s.message_230 = std::string(direct);
  std::string reply = core::slot_reply(s, slot, buffer);
  FUZZ_CHECK(reply.size() < buffer || reply.empty());

  std::string again = core::expand_variables(s, direct, core::kMessageBufferSize);
  FUZZ_CHECK(again.size() < core::kMessageBufferSize);
  // Text without '$' comes through unchanged (cut to the buffer, less one byte).
  if (direct.find('$') == std::string_view::npos && direct.size() + 2 <= core::kMessageBufferSize)
    FUZZ_CHECK(again == direct);
  return 0;
}
