// The settings-file reader and writer, through a real file on a memory file system: the
// input is the file, a trailing part names a key to write. After the write, that key
// reads back as written and every other key reads as before.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "platform/profile.h"

namespace {

using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Every section and key the file shows, by lower-case names, with the value read.
Snapshot snapshot(const std::string& file) {
  Snapshot all;
  for (const std::string& section : platform::profile_section_names(file)) {
    for (const std::string& key : platform::profile_key_names(file, section)) {
      FUZZ_CHECK(platform::profile_has_key(file, section, key));
      all[{lower(section), lower(key)}] = platform::profile_read_string(file, section, key);
      int number = platform::profile_read_int(file, section, key, -7);
      (void)number;
    }
  }
  return all;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A value as it reads back: blanks at the ends trimmed, then one pair of enclosing quotes
// removed.
// A written value reads back byte for byte: the writer quotes a value whose blanks or
// quotes at its ends the reader would strip.
std::string read_back(std::string_view value) { return std::string(value); }

// Names and values of ordinary characters are always written.
bool ordinary(std::string_view text) {
  if (trim(text).empty()) return false;
  for (char c : text)
    if (c == '\r' || c == '\n' || c == '\0' || c == ']' || c == '=' || c == ';' || c == '[')
      return false;
  return true;
}

}  // namespace

// Input: the file's content, a NUL byte, section, NUL, key, NUL, value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = fuzz::scratch_dir("profile") + "settings.ini";
  fuzz::Input input(data, size);
  std::string_view content = input.until('\0');
  std::string section(input.until('\0'));
  std::string key(input.until('\0'));
  std::string value(input.rest());
  fuzz::write_file(file, content);

  Snapshot before = snapshot(file);
  platform::profile_read_string(file, section, key, "fallback");
  platform::profile_read_int(file, section, key, 3);
  platform::parse_profile_int(value, 5);

  bool written = platform::profile_write_string(file, section, key, value);
  if (!written) {
    // A refused write leaves the file as it was.
    FUZZ_CHECK(snapshot(file) == before);
    FUZZ_CHECK(!(ordinary(section) && ordinary(key) && ordinary(value)));
    return 0;
  }
  // The written key reads back under its trimmed names, every other key reads as before.
  FUZZ_CHECK(platform::profile_read_string(file, trim(section), trim(key), "missing") ==
             read_back(value));
  const std::pair<std::string, std::string> name{lower(trim(section)), lower(trim(key))};
  before[name] = read_back(value);
  FUZZ_CHECK(snapshot(file) == before);

  // Deleting the key takes it away and leaves the rest.
  FUZZ_CHECK(platform::profile_write_string(file, section, key, std::nullopt));
  FUZZ_CHECK(!platform::profile_has_key(file, trim(section), trim(key)));
  before.erase(name);
  FUZZ_CHECK(snapshot(file) == before);
  return 0;
}
