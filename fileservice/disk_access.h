// The disk as a session may touch it: every path is a session path (below the home
// directory, before virtual mapping), and every access is confined to the folder the path
// was mapped into — the home directory, or the real folder of its virtual folder — so
// that no symbolic link, and no folder swapped for a link meanwhile, leads outside it.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "core/session.h"
#include "platform/confined_fs.h"
#include "platform/files.h"

namespace fileservice {

// The root a session path was mapped into and the path below it.
struct DiskPlace {
  platform::DirHandle root;
  std::string relative;
};
// None when the path lies outside the home directory (or the root cannot be opened).
std::optional<DiskPlace> disk_place(const core::Session& s, const std::string& path);

std::optional<platform::FileInfo> disk_info(const core::Session& s, const std::string& path);
bool disk_folder_exists(const core::Session& s, const std::string& path);
bool disk_name_exists(const core::Session& s, const std::string& path);  // a link counts
bool disk_inside(const core::Session& s, const std::string& path);
bool disk_writable(const core::Session& s, const std::string& path);
platform::File disk_open_read(const core::Session& s, const std::string& path);
platform::File disk_open_write(const core::Session& s, const std::string& path);
platform::MakeDirResult disk_make_folder(const core::Session& s, const std::string& path);
bool disk_remove_folder(const core::Session& s, const std::string& path);
bool disk_remove_file(const core::Session& s, const std::string& path);
bool disk_set_mode(const core::Session& s, const std::string& path, unsigned mode);
bool disk_set_modified_time(const core::Session& s, const std::string& path, int64_t unix_seconds);
bool disk_rename(const core::Session& s, const std::string& from, const std::string& to);
// Entries of the folder of pattern_path that match its last name (see scan_directory).
bool disk_scan(const core::Session& s, const std::string& pattern_path,
               std::vector<platform::DirEntry>& out);

}  // namespace fileservice
