// Confined file access: openat2 with RESOLVE_BENEATH where the kernel has it, else (and
// whenever a link must be judged) a walk from the root descriptor that opens one name at
// a time with O_NOFOLLOW and follows links itself.
#include "platform/confined_fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <string_view>

namespace platform {

FileInfo info_of(const struct stat& st);  // files.cpp

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit
std::atomic<bool> kernel_resolver{true};

// An owned descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Where a path ends: the folder that holds its last name, and that name ("" when the path
// names the folder itself).
struct Place {
  Fd folder;
  std::string name;
};

std::deque<std::string> components(std::string_view path) {
  std::deque<std::string> out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".") out.emplace_back(part);
    start = end + 1;
  }
  return out;
}

Fd reopen_folder(int fd) { return Fd(::openat(fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC)); }

std::optional<std::string> read_link(int folder, const std::string& name) {
  std::string target(PATH_MAX, '\0');
  ssize_t n = ::readlinkat(folder, name.c_str(), target.data(), target.size());
  if (n < 0 || static_cast<size_t>(n) >= target.size()) return std::nullopt;
  target.resize(static_cast<size_t>(n));
  return target;
}

// The part of an absolute link target below the root, or none when it leads elsewhere.
std::optional<std::string> below_root(const DirHandle& root, const std::string& target) {
  for (int i = 0; i < 2; ++i) {
    std::string prefix = i == 0 ? root.given_path() : root.real_path();
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    if (prefix == "/") return target;
    if (target.compare(0, prefix.size(), prefix) != 0) continue;
    if (target.size() == prefix.size() || target[prefix.size()] == '/')
      return target.substr(prefix.size());
  }
  return std::nullopt;
}

enum class MissingName { Fails, EndsWalk };

// The walk. Folders met are kept on a stack so that ".." goes back along the way taken
// and never above the root. follow_last: a last name that is a link is followed too.
// A missing last name is a place (to be created); a missing name before it fails the
// walk, or ends it as a place when missing is EndsWalk.
std::optional<Place> walk(const DirHandle& root, const std::string& relative, bool follow_last,
                          MissingName missing = MissingName::Fails) {
  std::vector<Fd> stack;
  stack.push_back(reopen_folder(root.descriptor()));
  if (!stack.back().ok()) return std::nullopt;
  std::deque<std::string> todo = components(relative);
  int links = 0;
  while (!todo.empty()) {
    std::string name = std::move(todo.front());
    todo.pop_front();
    if (name == "..") {
      if (stack.size() == 1) return std::nullopt;
      stack.pop_back();
      continue;
    }
    bool last = todo.empty();
    int top = stack.back().get();
    struct stat st {};
    if (::fstatat(top, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT && (last || missing == MissingName::EndsWalk))
        return Place{std::move(stack.back()), name};
      return std::nullopt;
    }
    if (S_ISLNK(st.st_mode) && (!last || follow_last)) {
      std::optional<std::string> target = read_link(top, name);
      if (!target || ++links > kMaxLinks) return std::nullopt;
      if (!target->empty() && (*target)[0] == '/') {
        target = below_root(root, *target);
        if (!target) return std::nullopt;
        stack.resize(1);
      }
      std::deque<std::string> spliced = components(*target);
      todo.insert(todo.begin(), spliced.begin(), spliced.end());
      continue;
    }
    if (last) return Place{std::move(stack.back()), name};
    Fd next(::openat(top, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.ok()) {
      // A file where a folder was expected ends the walk as a missing name would.
      if (errno == ENOTDIR && missing == MissingName::EndsWalk)
        return Place{std::move(stack.back()), name};
      return std::nullopt;
    }
    stack.push_back(std::move(next));
  }
  return Place{std::move(stack.back()), std::string()};
}

// The kernel's resolver for a folder; not open when it is missing or refused the path
// (the walk then decides, as it also accepts absolute links that stay below the root).
Fd kernel_folder(const DirHandle& root, const std::string& relative) {
  if (!kernel_resolver.load()) return Fd();
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  std::string path = relative.empty() ? "." : relative;
  long fd = ::syscall(SYS_openat2, root.descriptor(), path.c_str(), &how, sizeof how);
  return Fd(fd < 0 ? -1 : static_cast<int>(fd));
}

// Finds the place of a path: the kernel opens the folder part, and the walk takes over
// when it cannot or when the last name is a link to be followed.
std::optional<Place> locate(const DirHandle& root, const std::string& relative, bool follow_last) {
  if (!root.is_open()) return std::nullopt;
  std::deque<std::string> parts = components(relative);
  bool plain = true;
  for (const std::string& part : parts) plain = plain && part != "..";
  if (plain && !parts.empty()) {
    std::string folder;
    for (size_t i = 0; i + 1 < parts.size(); ++i) folder += parts[i] + "/";
    Fd fd = kernel_folder(root, folder);
    if (fd.ok()) {
      struct stat st {};
      bool link = ::fstatat(fd.get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                  S_ISLNK(st.st_mode);
      if (!link || !follow_last) return Place{std::move(fd), parts.back()};
    }
  }
  return walk(root, relative, follow_last);
}

// stat of the place (the folder itself when it has no name), its last link not followed.
bool stat_place(const Place& place, struct stat& st) {
  if (place.name.empty()) return ::fstat(place.folder.get(), &st) == 0;
  return ::fstatat(place.folder.get(), place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

File open_place(const Place& place, int flags) {
  if (place.name.empty()) return File();
  flags |= O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  return File::adopt_regular(::openat(place.folder.get(), place.name.c_str(), flags, 0666));
}

// Opens the place as a folder for reading its entries.
Fd open_listing(const Place& place) {
  const char* name = place.name.empty() ? "." : place.name.c_str();
  return Fd(::openat(place.folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// One entry of a listed folder: links are judged by where they lead. ".." of the root is
// described as the root itself (its real parent lies outside).
std::optional<FileInfo> entry_info(const DirHandle& root, int folder, const std::string& folder_path,
                                   const std::string& name, bool folder_is_root) {
  struct stat st {};
  const char* asked = (name == ".." && folder_is_root) ? "." : name.c_str();
  if (::fstatat(folder, asked, &st, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  if (!S_ISLNK(st.st_mode)) return info_of(st);
  if (auto target = stat_beneath(root, join(folder_path, name))) return target;
  return info_of(st);
}

bool same_file(int a, int b) {
  struct stat sa {}, sb {};
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

DirHandle::~DirHandle() {
  if (fd_ >= 0) ::close(fd_);
}

DirHandle::DirHandle(DirHandle&& other) noexcept
    : fd_(other.fd_), given_(std::move(other.given_)), real_(std::move(other.real_)) {
  other.fd_ = -1;
}

DirHandle& DirHandle::operator=(DirHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
    given_ = std::move(other.given_);
    real_ = std::move(other.real_);
  }
  return *this;
}

DirHandle DirHandle::open(const std::string& path) {
  DirHandle handle;
  handle.fd_ = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (handle.fd_ < 0) return handle;
  handle.given_ = path;
  return handle;
}

const std::string& DirHandle::real_path() const {
  if (!real_) {
    real_ = given_;
    if (char* real = ::realpath(given_.c_str(), nullptr)) {
      real_ = real;
      std::free(real);
    }
  }
  return *real_;
}

std::optional<FileInfo> stat_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, true);
  struct stat st {};
  if (!place || !stat_place(*place, st) || S_ISLNK(st.st_mode)) return std::nullopt;
  return info_of(st);
}

bool exists_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, false);
  struct stat st {};
  return place && stat_place(*place, st);
}

bool inside_beneath(const DirHandle& root, const std::string& relative) {
  if (!root.is_open()) return false;
  std::optional<Place> place = walk(root, relative, true, MissingName::EndsWalk);
  struct stat st {};
  // A last name that is still a link here leads nowhere.
  return place && !(stat_place(*place, st) && S_ISLNK(st.st_mode));
}

bool writable_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, true);
  struct stat st {};
  if (!place || place->name.empty() || !stat_place(*place, st) || !S_ISREG(st.st_mode))
    return false;
  return ::faccessat(place->folder.get(), place->name.c_str(), W_OK, 0) == 0;
}

File open_read_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, true);
  return place ? open_place(*place, O_RDONLY) : File();
}

File open_write_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, true);
  return place ? open_place(*place, O_WRONLY | O_CREAT) : File();
}

MakeDirResult mkdir_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, false);
  if (!place) return MakeDirResult::Failed;
  if (place->name.empty()) return MakeDirResult::AlreadyExists;
  if (::mkdirat(place->folder.get(), place->name.c_str(), 0777) == 0) return MakeDirResult::Created;
  return errno == EEXIST ? MakeDirResult::AlreadyExists : MakeDirResult::Failed;
}

bool rmdir_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, false);
  if (!place || place->name.empty()) return false;
  return ::unlinkat(place->folder.get(), place->name.c_str(), AT_REMOVEDIR) == 0;
}

bool unlink_beneath(const DirHandle& root, const std::string& relative) {
  std::optional<Place> place = locate(root, relative, false);
  if (!place || place->name.empty()) return false;
  return ::unlinkat(place->folder.get(), place->name.c_str(), 0) == 0;
}

bool chmod_beneath(const DirHandle& root, const std::string& relative, unsigned mode) {
  std::optional<Place> place = locate(root, relative, true);
  if (!place) return false;
  mode_t bits = static_cast<mode_t>(mode & 07777u);
  if (place->name.empty()) return ::fchmodat(place->folder.get(), ".", bits, 0) == 0;
  return ::fchmodat(place->folder.get(), place->name.c_str(), bits, AT_SYMLINK_NOFOLLOW) == 0;
}

bool set_time_beneath(const DirHandle& root, const std::string& relative, int64_t unix_seconds) {
  std::optional<Place> place = locate(root, relative, true);
  if (!place) return false;
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(unix_seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  const char* name = place->name.empty() ? "." : place->name.c_str();
  return ::utimensat(place->folder.get(), name, times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool rename_beneath(const DirHandle& from_root, const std::string& from, const DirHandle& to_root,
                    const std::string& to) {
  std::optional<Place> a = locate(from_root, from, false);
  std::optional<Place> b = locate(to_root, to, false);
  if (!a || !b || a->name.empty() || b->name.empty()) return false;
  int fa = a->folder.get(), fb = b->folder.get();
  const char* na = a->name.c_str();
  const char* nb = b->name.c_str();
  if (::renameat2(fa, na, fb, nb, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a link refuses an existing target, then the
  // old name goes. Folders cannot be linked; they are moved only when the target is free.
  if (::linkat(fa, na, fb, nb, 0) == 0) {
    ::unlinkat(fa, na, 0);
    return true;
  }
  if (errno != EPERM) return false;
  struct stat st {};
  if (::fstatat(fb, nb, &st, AT_SYMLINK_NOFOLLOW) == 0) return false;
  return ::renameat(fa, na, fb, nb) == 0;
}

bool scan_beneath(const DirHandle& root, const std::string& relative_pattern,
                  std::vector<DirEntry>& out) {
  size_t slash = relative_pattern.rfind('/');
  std::string folder = slash == std::string::npos ? "" : relative_pattern.substr(0, slash + 1);
  std::string pattern = relative_pattern.substr(slash == std::string::npos ? 0 : slash + 1);
  std::optional<Place> place = locate(root, folder, true);
  if (!place) return false;
  Fd listed = open_listing(*place);
  if (!listed.ok()) return false;
  bool is_root = same_file(listed.get(), root.descriptor());
  int folder_fd = ::dup(listed.get());
  DIR* dir = folder_fd >= 0 ? ::fdopendir(folder_fd) : nullptr;
  if (!dir) {
    if (folder_fd >= 0) ::close(folder_fd);
    return false;
  }
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (!name_matches(pattern, name)) continue;
    std::optional<FileInfo> info = entry_info(root, listed.get(), folder, name, is_root);
    if (!info) continue;
    out.push_back(DirEntry{name, *info, is_hidden_name(name)});
  }
  ::closedir(dir);
  return true;
}

void use_kernel_resolver(bool on) { kernel_resolver = on; }

}  // namespace platform
