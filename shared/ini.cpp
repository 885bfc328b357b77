// The settings-file wrapper over the platform's profile functions.
#include "shared/ini.h"

#include "platform/profile.h"
#include "shared/bounded_text.h"

namespace shared {

std::string IniFile::get(std::string_view section, std::string_view key,
                         std::string_view fallback, size_t max_chars) const {
  std::string value = platform::profile_read_string(path_, section, key, fallback);
  return std::string(cut_text(value, max_chars));
}

int IniFile::get_int(std::string_view section, std::string_view key, int fallback) const {
  return platform::profile_read_int(path_, section, key, fallback);
}

bool IniFile::has(std::string_view section, std::string_view key) const {
  return platform::profile_has_key(path_, section, key);
}

bool IniFile::set(std::string_view section, std::string_view key, std::string_view value) const {
  return platform::profile_write_string(path_, section, key, value);
}

bool IniFile::set_int(std::string_view section, std::string_view key, long long value) const {
  return platform::profile_write_string(path_, section, key, std::to_string(value));
}

bool IniFile::remove(std::string_view section, std::string_view key) const {
  return platform::profile_write_string(path_, section, key, std::nullopt);
}

}  // namespace shared
