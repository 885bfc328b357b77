#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/process.h"

namespace fuzz {

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string>& made_dirs() {
  static auto* made = new std::map<std::string, std::string>;  // outlives exit handlers
  return *made;
}

void remove_scratch_dirs() {
  std::error_code ignored;
  for (const auto& [tag, path] : made_dirs()) fs::remove_all(path, ignored);
}

}  // namespace

std::string scratch_dir(const std::string& tag) {
  auto& made = made_dirs();
  auto found = made.find(tag);
  if (found != made.end()) return found->second;
  std::error_code error;
  fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm")
                                                      : fs::temp_directory_path();
  if (auto chosen = platform::environment_variable("VELMORA_FUZZ_SCRATCH")) base = *chosen;
  fs::path dir = base / ("velmora-fuzz-" + tag + "-" +
                         std::to_string(platform::current_process_id()));
  fs::remove_all(dir, error);
  if (!fs::create_directories(dir, error)) fail("cannot create the scratch folder");
  std::string path = dir.string() + "/";
  if (made.empty()) std::atexit(remove_scratch_dirs);
  made[tag] = path;
  return path;
}

void write_file(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) fail("cannot write a scratch file");
}

void fail(const char* what) {
  std::fprintf(stderr, "fuzz harness: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace fuzz
