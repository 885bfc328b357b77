// Files and folders over the POSIX file calls.
#include "platform/files.h"

#include <cerrno>
#include <ctime>
#include <map>
#include <mutex>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

}  // namespace

FileInfo info_of(const struct stat& st) {
  FileInfo info;
  info.is_directory = S_ISDIR(st.st_mode);
  info.read_only = (st.st_mode & S_IWUSR) == 0;
  info.size = static_cast<uint64_t>(st.st_size);
  info.modified = static_cast<int64_t>(st.st_mtim.tv_sec);
  info.device = static_cast<uint64_t>(st.st_dev);
  info.inode = static_cast<uint64_t>(st.st_ino);
  info.is_link = S_ISLNK(st.st_mode);
  return info;
}

namespace {

// '*' any run, '?' one byte, case-sensitive; iterative with one backtrack point.
bool wildcard_match(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

// "*.*" is the classic "every name" pattern: it also matches names without a dot.
bool name_matches(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") return true;
  return wildcard_match(pattern, name);
}

std::optional<FileInfo> file_info(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return info_of(st);
}

bool path_exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool is_directory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_writable_file(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return access(path.c_str(), W_OK) == 0;
}

bool is_hidden_name(std::string_view name) {
  return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

MakeDirResult make_directory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return MakeDirResult::Created;
  return errno == EEXIST ? MakeDirResult::AlreadyExists : MakeDirResult::Failed;
}

bool remove_directory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool remove_file(const std::string& path) { return unlink(path.c_str()) == 0; }

bool rename_no_replace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: link() refuses an existing target, then the
  // old name goes. Folders cannot be linked; they are moved only when the target is free.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno != EPERM) return false;
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

bool scan_directory(const std::string& pattern_path, std::vector<DirEntry>& out) {
  size_t slash = pattern_path.rfind('/');
  std::string folder = slash == std::string::npos ? "." : pattern_path.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? pattern_path : pattern_path.substr(slash + 1);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (!name_matches(pattern, name)) continue;
    struct stat st {};
    std::string full = folder + std::string(name);
    if (stat(full.c_str(), &st) != 0) continue;
    DirEntry item;
    item.name = std::string(name);
    item.info = info_of(st);
    item.hidden = is_hidden_name(name);
    out.push_back(std::move(item));
  }
  closedir(dir);
  return true;
}

File::~File() { close(); }

File::File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

File File::adopt_regular(int fd) {
  File f;
  f.fd_ = fd;
  if (fd < 0) return f;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    f.close();
    return f;
  }
  // Opened without blocking; a regular file reads and writes the same either way, but
  // the descriptor goes back to the ordinary mode.
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return f;
}

// O_NONBLOCK: opening a FIFO waits for its other end, and a device may wait too; such an
// open returns at once and the type test then turns it away.
File File::open_read(const std::string& path) {
  return adopt_regular(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
}

File File::open_write(const std::string& path) {
  return adopt_regular(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
}

bool make_fifo(const std::string& path) { return mkfifo(path.c_str(), 0666) == 0; }

std::optional<uint64_t> File::size() const {
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

bool File::seek(uint64_t offset) {
  return fd_ >= 0 && lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool File::truncate_at(uint64_t offset) {
  return fd_ >= 0 && ftruncate(fd_, static_cast<off_t>(offset)) == 0;
}

long File::read(void* buffer, size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

size_t File::write_all(const void* data, size_t size) {
  if (fd_ < 0) return 0;
  const char* p = static_cast<const char*>(data);
  size_t written = 0;
  while (written < size) {
    ssize_t n = ::write(fd_, p + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  return written;
}

void File::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool append_to_file(const std::string& path, std::string_view text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  if (!text.empty()) {
    ssize_t n;
    do {
      n = ::write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    ok = n == static_cast<ssize_t>(text.size());
  }
  ::close(fd);
  return ok;
}

std::optional<std::string> read_whole_file(const std::string& path) {
  File f = File::open_read(path);
  if (!f.is_open()) return std::nullopt;
  std::string content;
  char buffer[16384];
  for (;;) {
    long n = f.read(buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  return content;
}

namespace {

struct FileStamp {
  int64_t modified_ns = 0;
  int64_t changed_ns = 0;
  uint64_t size = 0;
  uint64_t inode = 0;
  uint64_t device = 0;
  bool operator==(const FileStamp&) const = default;
};

struct CachedFile {
  FileStamp stamp;
  int64_t read_at_ns = 0;
  std::string content;
};

constexpr int64_t kRacyMarginNs = 2'000'000'000;
constexpr size_t kCachedFilesMax = 64;

int64_t nanoseconds(const timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::optional<FileStamp> stamp_of(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return FileStamp{nanoseconds(st.st_mtim), nanoseconds(st.st_ctim),
                   static_cast<uint64_t>(st.st_size), static_cast<uint64_t>(st.st_ino),
                   static_cast<uint64_t>(st.st_dev)};
}

std::mutex cached_files_lock;
std::map<std::string, CachedFile> cached_files;

}  // namespace

std::optional<std::string> read_whole_file_cached(const std::string& path) {
  std::optional<FileStamp> before = stamp_of(path);
  if (!before) return std::nullopt;
  {
    std::lock_guard<std::mutex> guard(cached_files_lock);
    auto found = cached_files.find(path);
    if (found != cached_files.end() && found->second.stamp == *before &&
        found->second.read_at_ns - before->modified_ns > kRacyMarginNs) {
      return found->second.content;
    }
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::optional<std::string> content = read_whole_file(path);
  std::optional<FileStamp> after = stamp_of(path);
  if (content && after && *after == *before) {
    std::lock_guard<std::mutex> guard(cached_files_lock);
    if (cached_files.size() >= kCachedFilesMax) cached_files.clear();
    cached_files[path] = CachedFile{*before, nanoseconds(now), *content};
  }
  return content;
}

bool write_file_atomically(const std::string& path, std::string_view content) {
  std::string temp = path + ".tmp" + std::to_string(getpid()) + "." +
                     std::to_string(static_cast<unsigned long>(gettid()));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  // Keep the mode of the file being replaced.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);
  size_t written = 0;
  while (written < content.size()) {
    ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  bool ok = written == content.size() && fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

bool set_modified_time(const std::string& path, int64_t unix_seconds) {
  timespec times[2];
  times[0].tv_sec = static_cast<time_t>(unix_seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace platform
