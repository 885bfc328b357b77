// The settings-file wrapper over the platform's profile functions.
#include "shared/ini.h"

#include "platform/profile.h"
#include "shared/bounded_text.h"

namespace shared {

IniFile IniFile::read_once(std::string path) {
  IniFile file(std::move(path));
  file.snapshot_ = std::make_shared<const platform::ProfileSnapshot>(file.path_);
  return file;
}

bool IniFile::read_failed() const { return snapshot_ && snapshot_->read_failed(); }

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  return snapshot_->value(section, key);
}

std::string IniFile::get(std::string_view section, std::string_view key,
                         std::string_view fallback, size_t max_chars) const {
  if (!snapshot_) {
    std::string text = platform::profile_read_string(path_, section, key, fallback);
    return std::string(cut_text(text, max_chars));
  }
  std::optional<std::string> found = value(section, key);
  return std::string(cut_text(found ? *found : std::string(fallback), max_chars));
}

int IniFile::get_int(std::string_view section, std::string_view key, int fallback) const {
  if (!snapshot_) return platform::profile_read_int(path_, section, key, fallback);
  std::optional<std::string> found = value(section, key);
  return found ? platform::parse_profile_int(*found, fallback) : fallback;
}

bool IniFile::has(std::string_view section, std::string_view key) const {
  if (!snapshot_) return platform::profile_has_key(path_, section, key);
  return value(section, key).has_value();
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
