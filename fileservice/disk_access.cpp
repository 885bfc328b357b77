#include "fileservice/disk_access.h"

#include "fileservice/paths.h"

namespace fileservice {

namespace {

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// The root that a mapped path lies in and the rest of it. A real folder that does not
// end with the separator cannot hold the mapped names: none.
std::optional<std::pair<std::string, std::string>> split_root(const core::Session& s,
                                                              const std::string& path) {
  VirtualMapping mapping = map_virtual_pair(path);
  std::string root = mapping.pair >= 0 ? mapping.real_folder : s.home_directory;
  if (root.empty() || root.back() != '/') return std::nullopt;
  const std::string& mapped = mapping.pair >= 0 ? mapping.path : path;
  if (mapped + "/" == root) return std::make_pair(root, std::string());
  if (!starts_with(mapped, root)) return std::nullopt;
  return std::make_pair(root, mapped.substr(root.size()));
}

template <typename Result, typename Action>
Result on_place(const core::Session& s, const std::string& path, Result none, Action action) {
  std::optional<DiskPlace> place = disk_place(s, path);
  if (!place) return none;
  return action(place->root, place->relative);
}

}  // namespace

std::optional<DiskPlace> disk_place(const core::Session& s, const std::string& path) {
  auto parts = split_root(s, path);
  if (!parts) return std::nullopt;
  platform::DirHandle root = platform::DirHandle::open(parts->first);
  if (!root.is_open()) return std::nullopt;
  return DiskPlace{std::move(root), parts->second};
}

std::optional<platform::FileInfo> disk_info(const core::Session& s, const std::string& path) {
  return on_place(s, path, std::optional<platform::FileInfo>(), platform::stat_beneath);
}

bool disk_folder_exists(const core::Session& s, const std::string& path) {
  std::optional<platform::FileInfo> info = disk_info(s, path);
  return info && info->is_directory;
}

bool disk_name_exists(const core::Session& s, const std::string& path) {
  return on_place(s, path, false, platform::exists_beneath);
}

bool disk_inside(const core::Session& s, const std::string& path) {
  return on_place(s, path, false, platform::inside_beneath);
}

bool disk_writable(const core::Session& s, const std::string& path) {
  return on_place(s, path, false, platform::writable_beneath);
}

platform::File disk_open_read(const core::Session& s, const std::string& path) {
  return on_place(s, path, platform::File(), platform::open_read_beneath);
}

platform::File disk_open_write(const core::Session& s, const std::string& path) {
  return on_place(s, path, platform::File(), platform::open_write_beneath);
}

platform::MakeDirResult disk_make_folder(const core::Session& s, const std::string& path) {
  return on_place(s, path, platform::MakeDirResult::Failed, platform::mkdir_beneath);
}

bool disk_remove_folder(const core::Session& s, const std::string& path) {
  return on_place(s, path, false, platform::rmdir_beneath);
}

bool disk_remove_file(const core::Session& s, const std::string& path) {
  return on_place(s, path, false, platform::unlink_beneath);
}

bool disk_set_mode(const core::Session& s, const std::string& path, unsigned mode) {
  std::optional<DiskPlace> place = disk_place(s, path);
  return place && platform::chmod_beneath(place->root, place->relative, mode);
}

bool disk_set_modified_time(const core::Session& s, const std::string& path, int64_t unix_seconds) {
  std::optional<DiskPlace> place = disk_place(s, path);
  return place && platform::set_time_beneath(place->root, place->relative, unix_seconds);
}

bool disk_rename(const core::Session& s, const std::string& from, const std::string& to) {
  std::optional<DiskPlace> a = disk_place(s, from);
  std::optional<DiskPlace> b = disk_place(s, to);
  return a && b && platform::rename_beneath(a->root, a->relative, b->root, b->relative);
}

bool disk_scan(const core::Session& s, const std::string& pattern_path,
               std::vector<platform::DirEntry>& out) {
  std::optional<DiskPlace> place = disk_place(s, pattern_path);
  return place && platform::scan_beneath(place->root, place->relative, out);
}

}  // namespace fileservice
