// The settings-file wrapper both programs use: one object per file path.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {
class ProfileSnapshot;
}

namespace shared {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  // Reads answer from the file as it is now, read once (for many keys at a time); writes
  // still go to the file.
  static IniFile read_once(std::string path);
  const std::string& path() const { return path_; }
  // True when read_once found the file but could not read it.
  bool read_failed() const;

  // Reads a string of at most max_chars characters (longer values are cut).
  std::string get(std::string_view section, std::string_view key, std::string_view fallback = "",
                  size_t max_chars = 4095) const;
  int get_int(std::string_view section, std::string_view key, int fallback) const;
  bool has(std::string_view section, std::string_view key) const;
  bool set(std::string_view section, std::string_view key, std::string_view value) const;
  bool set_int(std::string_view section, std::string_view key, long long value) const;
  bool remove(std::string_view section, std::string_view key) const;

 private:
  // A key of the snapshot (only when there is one).
  std::optional<std::string> value(std::string_view section, std::string_view key) const;

  std::string path_;
  std::shared_ptr<const platform::ProfileSnapshot> snapshot_;
};

}  // namespace shared
