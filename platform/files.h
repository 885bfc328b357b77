// Files and folders. Paths are absolute POSIX paths in UTF-8.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct FileInfo {
  bool is_directory = false;
  bool read_only = false;    // no write bit for the owner
  uint64_t size = 0;
  int64_t modified = 0;      // last write, Unix seconds
  uint64_t device = 0;       // device and inode identify a folder (loop detection)
  uint64_t inode = 0;
  bool is_link = false;      // a symbolic link described by itself, not by its target
};

// stat() following symbolic links; none when nothing of that name exists.
std::optional<FileInfo> file_info(const std::string& path);
bool path_exists(const std::string& path);
bool is_directory(const std::string& path);
bool is_writable_file(const std::string& path);  // exists and may be opened for writing
// A name is hidden when it begins with '.', other than "." and "..".
bool is_hidden_name(std::string_view name);

enum class MakeDirResult { Created, AlreadyExists, Failed };
MakeDirResult make_directory(const std::string& path);
bool remove_directory(const std::string& path);  // only an empty folder
bool remove_file(const std::string& path);
// Moves from to to; fails when to already exists.
bool rename_no_replace(const std::string& from, const std::string& to);

struct DirEntry {
  std::string name;
  FileInfo info;
  bool hidden = false;
};

// Lists the folder of pattern_path (everything up to its last '/') and keeps the entries
// whose name matches the last component with '*' and '?' ("*.*" matches every name).
// "." and ".." are included when they match. Platform order. False when the folder
// cannot be read.
bool scan_directory(const std::string& pattern_path, std::vector<DirEntry>& out);
// The name test of scan_directory.
bool name_matches(std::string_view pattern, std::string_view name);

// An open file. Move-only; closes itself.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Regular files only: a folder, FIFO, device or socket is not opened, and no open
  // waits (a FIFO without its other end fails at once).
  static File open_read(const std::string& path);         // existing files only
  static File open_write(const std::string& path);        // created when missing, not cut
  // Takes an open descriptor; keeps it only when it names a regular file.
  static File adopt_regular(int fd);
  bool is_open() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }
  std::optional<uint64_t> size() const;
  bool seek(uint64_t offset);
  bool truncate_at(uint64_t offset);
  long read(void* buffer, size_t size);                   // -1 on error
  size_t write_all(const void* data, size_t size);        // bytes written
  void close();

 private:
  int fd_ = -1;
};

// Makes a named pipe (FIFO).
bool make_fifo(const std::string& path);

// Appends text with one write to a file opened in append mode (created when missing).
// False when the file cannot be opened.
bool append_to_file(const std::string& path, std::string_view text);
// Whole-file helpers for configuration files.
std::optional<std::string> read_whole_file(const std::string& path);
// The same for small files read again and again (lists checked at every connection):
// served from a cache while the file's modification and change times (nanoseconds), size
// and identity stay the same; a file changed within two seconds of its reading is read
// again, since a coarse clock could stamp a second change alike.
std::optional<std::string> read_whole_file_cached(const std::string& path);
// Writes a temporary file in the same folder, flushes it to disk and renames it over path,
// so readers see the old or the new content, never a mix. False on any failure (path is
// then unchanged).
bool write_file_atomically(const std::string& path, std::string_view content);
// Sets the last-write (and last-access) time; false when the file cannot be changed.
bool set_modified_time(const std::string& path, int64_t unix_seconds);

}  // namespace platform
