// The settings-file wrapper both programs use: one object per file path.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace shared {

class IniFile {
 public:
  explicit IniFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // Reads a string of at most max_chars characters (longer values are cut).
  std::string get(std::string_view section, std::string_view key, std::string_view fallback = "",
                  size_t max_chars = 4095) const;
  int get_int(std::string_view section, std::string_view key, int fallback) const;
  bool has(std::string_view section, std::string_view key) const;
  bool set(std::string_view section, std::string_view key, std::string_view value) const;
  bool set_int(std::string_view section, std::string_view key, long long value) const;
  bool remove(std::string_view section, std::string_view key) const;

 private:
  std::string path_;
};

}  // namespace shared
