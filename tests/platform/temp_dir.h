// Fresh folders for the platform and shared unit tests, under the build tree, removed
// again when the test ends.
#pragma once
#include <atomic>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/process.h"

namespace unit {

inline void remove_tree(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  if (!platform::scan_directory(folder + "*", entries)) return;
  for (const auto& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    if (e.info.is_directory)
      remove_tree(folder + e.name + "/");
    else
      platform::remove_file(folder + e.name);
  }
  platform::remove_directory(folder);
}

class TempDir {
 public:
  explicit TempDir(const std::string& tag) {
    static std::atomic<int> counter{0};
    std::string base = std::string(TEST_BINARY_DIR) + "/unit-tmp/";
    platform::make_directory(base);
    path_ = base + tag + "-" + std::to_string(platform::current_process_id()) + "-" +
            std::to_string(counter++) + "/";
    remove_tree(path_);
    platform::make_directory(path_);
  }
  ~TempDir() { remove_tree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace unit
