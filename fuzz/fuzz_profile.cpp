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

// Blanks at the ends and a pair of enclosing quotes do not survive a read; such names and
// values are left to the unit tests.
bool plain(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c == '\r' || c == '\n' || c == '\0' || c == '"') return false;
  return text.front() != ' ' && text.front() != '\t' && text.back() != ' ' && text.back() != '\t';
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
  bool writable = plain(section) && plain(key) && plain(value) &&
                  section.find(']') == std::string::npos && key.find('=') == std::string::npos &&
                  key[0] != ';' && key[0] != '[';
  if (!writable) return 0;
  FUZZ_CHECK(written);
  FUZZ_CHECK(platform::profile_read_string(file, section, key, "missing") == value);

  Snapshot after = snapshot(file);
  before[{lower(section), lower(key)}] = value;
  FUZZ_CHECK(after == before);

  // Deleting the key takes it away and leaves the rest.
  FUZZ_CHECK(platform::profile_write_string(file, section, key, std::nullopt));
  FUZZ_CHECK(!platform::profile_has_key(file, section, key));
  before.erase({lower(section), lower(key)});
  Snapshot gone = snapshot(file);
  FUZZ_CHECK(gone == before);
  return 0;
}
