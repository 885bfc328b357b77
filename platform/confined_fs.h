// File access confined below a root folder. Every path is resolved from the root's open
// descriptor, one name at a time, so that no symbolic link and no folder swapped for a
// link between two calls can lead outside: a link whose target stays below the root is
// followed, any other refuses the access. Relative paths use '/', may end with '/', and
// "" names the root itself.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace platform {

// An open folder that serves as the root of confined access. Move-only.
class DirHandle {
 public:
  DirHandle() = default;
  ~DirHandle();
  DirHandle(DirHandle&& other) noexcept;
  DirHandle& operator=(DirHandle&& other) noexcept;
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;

  // Opens the folder at path (links in path itself are followed: the root is the
  // operator's choice). Not open when path names no folder.
  static DirHandle open(const std::string& path);
  bool is_open() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }
  // The names an absolute link may use for the root: as given, and as resolved (worked
  // out when first asked for: few paths hold an absolute link).
  const std::string& given_path() const { return given_; }
  const std::string& real_path() const;

 private:
  int fd_ = -1;
  std::string given_;
  mutable std::optional<std::string> real_;
};

// Information on the name, links inside followed; none when missing or when the name
// leads outside.
std::optional<FileInfo> stat_beneath(const DirHandle& root, const std::string& relative);
// True when something of that name exists, a final link not followed (a link is there
// even when it leads outside).
bool exists_beneath(const DirHandle& root, const std::string& relative);
// True when the path, as far as its names exist, stays below the root: a missing name
// ends the walk, a link that leads outside or nowhere fails it.
bool inside_beneath(const DirHandle& root, const std::string& relative);
// May the process write the file (a regular file, links inside followed)?
bool writable_beneath(const DirHandle& root, const std::string& relative);

// Regular files only, opened without blocking (see File::open_read and open_write).
File open_read_beneath(const DirHandle& root, const std::string& relative);
File open_write_beneath(const DirHandle& root, const std::string& relative);

// The last name itself is acted on, never a link's target.
MakeDirResult mkdir_beneath(const DirHandle& root, const std::string& relative);
bool rmdir_beneath(const DirHandle& root, const std::string& relative);
bool unlink_beneath(const DirHandle& root, const std::string& relative);
// Changes the mode bits or the last-write time of the name (links inside followed; the
// final name itself is never a link).
bool chmod_beneath(const DirHandle& root, const std::string& relative, unsigned mode);
bool set_time_beneath(const DirHandle& root, const std::string& relative, int64_t unix_seconds);
// Fails when to already exists.
bool rename_beneath(const DirHandle& from_root, const std::string& from,
                    const DirHandle& to_root, const std::string& to);

// As scan_directory, with relative_pattern = folder + pattern ("pub/*.*"). A link whose
// target stays below the root is described by its target; any other link by itself
// (FileInfo::is_link), so that a listing never shows what lies outside.
bool scan_beneath(const DirHandle& root, const std::string& relative_pattern,
                  std::vector<DirEntry>& out);

// Tests turn the kernel's resolver (openat2 with RESOLVE_BENEATH) off to exercise the
// name-by-name walk that stands in for it on older kernels.
void use_kernel_resolver(bool on);

}  // namespace platform
