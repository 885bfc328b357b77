#include "core/messages.h"

#include <cmath>
#include <limits>

#include "core/server.h"
#include "shared/bounded_text.h"
#include "shared/ini.h"
#include "shared/size_text.h"

namespace core {

namespace {

constexpr const char* kEndOfLines = "_____endofline_____";
constexpr size_t kLineMax = 255;
constexpr size_t kVariableNameMax = 127;
constexpr const char* kNotLoaded = "550 Requested action not taken.\r\n";

struct SlotInfo {
  int number;      // in the line keys: Message<number>_<line>
  int reply_code;  // at the start of every reply line
  const char* switch_key;
  const char* default_text;
};

SlotInfo slot_info(Slot slot) {
  switch (slot) {
    case Slot::Welcome220:
      return {220, 220, "UseWelcomeMessage",
              "220-Welcome To velmoraFTP !!!\r\n220 Enter Your ID\r\n"};
    case Slot::Unknown3311:
      return {3311, 331, "UseUnKnownMessage", "331 Enter Password\r\n"};
    case Slot::Known3310:
      return {3310, 331, "UseKnownIDMessage", "331 Enter Your Password\r\n"};
    case Slot::Complete226:
      return {226, 226, "UseCompleteMessage", "226 Transfer complete.\r\n"};
    case Slot::Logon230:
      break;
  }
  return {230, 230, "UseLogOnMessage",
          "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230-      Welcome!!!\r\n"
          "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230 Login OK!!!\r\n"};
}

std::string cut(std::string text, size_t buffer_size) {
  if (buffer_size == 0) return {};
  if (text.size() > buffer_size - 1) text.resize(buffer_size - 1);
  return text;
}

// The credit as a 64-bit integer, truncated toward zero and kept inside the range.
long long credit_integer(double credit) {
  if (std::isnan(credit)) return 0;
  constexpr double kLimit = 9.2e18;
  if (credit >= kLimit) return std::numeric_limits<long long>::max();
  if (credit <= -kLimit) return std::numeric_limits<long long>::min();
  return static_cast<long long>(credit);
}

std::string credit_text(Session& s) {
  if (s.rate == kNoRatio && s.capacity_limit == 0) return "no need";
  const double credit = s.credit.load();
  return std::to_string(credit_integer(credit)) + "(" + shared::size_text(credit) + ")";
}

std::string rate_variable(uint16_t rate) {
  if (rate == kNoRatio || rate == 0) return "free";
  return std::to_string(rate >> 8) + ":" + std::to_string(rate & 0xFF);
}

std::string text_or_name(std::string value, const std::string& name) {
  return value.empty() ? name : value;
}

// The value of a variable, or the name itself when it is not one.
std::string variable_value(Session& s, const std::string& name) {
  CoreState& state = core_state();
  const long long now = state.table.live_count.load();
  const long long up = state.totals.uploading.load();
  const long long down = state.totals.downloading.load();
  if (name == "NOW_CON") return std::to_string(now);
  if (name == "MAX_CON") {
    return state.config.max_connect == 0 ? std::string("制限なし")
                                         : std::to_string(state.config.max_connect);
  }
  if (name == "CREDIT") return credit_text(s);
  if (name == "RATE") return rate_variable(s.rate);
  if (name == "USER") return text_or_name(read_field(s, &Session::user_name), name);
  if (name == "PASS") return text_or_name(read_field(s, &Session::password), name);
  if (name == "UP_CON") return std::to_string(up);
  if (name == "DOWN_CON") return std::to_string(down);
  if (name == "IDLE_CON" || name == "IDOL_CON") return std::to_string(now - down - up);
  if (name == "UP_BPS") return shared::rate_text(state.totals.upload_bps.load());
  if (name == "DOWN_BPS") return shared::rate_text(state.totals.download_bps.load());
  return name;
}

}  // namespace

std::string build_slot(Slot slot, const std::string& ini_file, size_t buffer_size) {
  return build_slot(slot, shared::IniFile::read_once(ini_file), buffer_size);
}

std::string build_slot(Slot slot, const shared::IniFile& ini, size_t buffer_size) {
  const SlotInfo info = slot_info(slot);
  if (ini.get_int("UserInfo", info.switch_key, 0) == 0) return cut(info.default_text, buffer_size);

  const std::string prefix = std::to_string(info.reply_code) + "-";
  std::string text;
  size_t total = 0;
  for (int n = 0;; ++n) {
    const std::string key = "Message" + std::to_string(info.number) + "_" + std::to_string(n);
    const std::string line = ini.get("UserInfo", key, kEndOfLines, kLineMax);
    if (line == kEndOfLines) break;
    total += line.size() + 12;
    if (total + 7 >= buffer_size) break;  // the line does not fit: it is dropped
    text += prefix + line + "\r\n";
  }
  text += std::to_string(info.reply_code) + " \r\n";
  return cut(std::move(text), buffer_size);
}

std::string slot_reply(Session& s, Slot slot, size_t buffer_size) {
  std::string text;
  switch (slot) {
    case Slot::Welcome220:
      text = build_slot(slot, core_state().paths.config_file, kMessageBufferSize);
      break;
    case Slot::Unknown3311:
      text = build_slot(slot, core_state().paths.config_file, kAccountSlotSize);
      break;
    case Slot::Known3310:
    case Slot::Complete226:
    case Slot::Logon230:
      if (!s.account_loaded) {
        text = kNotLoaded;
      } else if (slot == Slot::Known3310) {
        text = s.message_3310;
      } else if (slot == Slot::Complete226) {
        text = s.message_226;
      } else {
        text = s.message_230;
      }
      break;
  }
  return expand_variables(s, cut(std::move(text), buffer_size), buffer_size);
}

std::string expand_variables(Session& s, std::string_view text, size_t buffer_size) {
  if (buffer_size < 2) return {};
  const std::string_view input = shared::cut_text(text, buffer_size - 2);
  std::string out;
  size_t i = 0;
  while (i < input.size()) {
    const char c = input[i];
    if (c != '$') {
      out += c;
      ++i;
      continue;
    }
    const size_t close = input.find('$', i + 1);
    if (close == std::string_view::npos) break;  // no closing '$': the rest is dropped
    const std::string name(shared::cut_text(input.substr(i + 1, close - i - 1), kVariableNameMax));
    out += variable_value(s, name);
    i = close + 1;
    if (out.size() >= buffer_size - 1) break;
  }
  return cut(std::move(out), buffer_size);
}

}  // namespace core
