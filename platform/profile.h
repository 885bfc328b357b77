// Settings (INI) files with the private-profile semantics both programs rely on:
// case-insensitive sections and keys, blanks around keys and values trimmed, a value in
// double quotes loses them, ';' comment lines, the first of duplicate keys wins, a missing
// file reads as empty, writing a key keeps every other line, a new section goes at the end,
// writing no value deletes the key. Integers: optional sign and leading decimal digits;
// a missing key or non-numeric text gives the default.
// A written value that the reader would change (blanks at its ends, enclosing quotes) is
// put in quotes, so that every value reads back as it was written.
// Written files use CR LF; CR LF and LF are both read. Every write holds an inter-process
// lock and replaces the file atomically, so concurrent writers never lose a key. Reads of
// an unchanged file are served from a cache checked by modification time and size.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

std::string profile_read_string(const std::string& file, std::string_view section,
                                std::string_view key, std::string_view fallback = "");
int profile_read_int(const std::string& file, std::string_view section, std::string_view key,
                     int fallback);
bool profile_has_key(const std::string& file, std::string_view section, std::string_view key);
// A settings file as read once: every read answers from that one reading, so that many
// keys cost one check of the file instead of one each. Copies share the reading.
class ProfileSnapshot {
 public:
  explicit ProfileSnapshot(const std::string& file);
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  // True when the file exists but could not be read: it then answers no key, like a
  // missing file.
  bool read_failed() const;

 private:
  struct Content;
  std::shared_ptr<const Content> content_;
};

// value none deletes the key. False when the file cannot be written.
bool profile_write_string(const std::string& file, std::string_view section,
                          std::string_view key, std::optional<std::string_view> value);
// Several keys of one section written under one lock and one file replacement; a change
// without value deletes its key. False (and nothing written) when a text is unsafe.
struct ProfileChange {
  std::string key;
  std::optional<std::string> value;
};
bool profile_write_strings(const std::string& file, std::string_view section,
                           const std::vector<ProfileChange>& changes);
// Keys of several sections written under one lock and one file replacement: all of them
// or (false) none.
struct ProfileSectionChanges {
  std::string section;
  std::vector<ProfileChange> changes;
};
bool profile_write_sections(const std::string& file, const std::vector<ProfileSectionChanges>& all);
// Any text file rewritten under the same inter-process lock as the settings files: change
// gets the current content (none when the file is missing) and returns the new content,
// or none to leave the file as it is. The file is replaced atomically; false when the lock,
// the read or the write failed (the file is then unchanged).
using FileRewrite = std::function<std::optional<std::string>(const std::optional<std::string>&)>;
bool rewrite_file_locked(const std::string& file, const FileRewrite& change);
// Removes a settings file and the lock file that writes to it left beside it; false when
// the settings file itself could not be removed (a missing one counts as removed).
bool remove_profile_file(const std::string& file);
bool profile_delete_section(const std::string& file, std::string_view section);
std::vector<std::string> profile_section_names(const std::string& file);
std::vector<std::string> profile_key_names(const std::string& file, std::string_view section);
// The integer rule on its own: optional blanks and sign, then leading digits.
int parse_profile_int(std::string_view text, int fallback);

}  // namespace platform
