// Client paths through resolve_path and check_permission on a session built here, over a
// folder tree with a virtual folder, symbolic links that lead out of the home directory,
// and directory rules. Whatever the path, a granted operation never reaches a place on
// disk outside the home directory or the virtual folder's real folder.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/server.h"
#include "core/session.h"
#include "core/session_fault.h"
#include "fileservice/paths.h"
#include "fuzz/fuzz_support.h"
#include "platform/profile.h"

namespace {

namespace fs = std::filesystem;

// root/home/ is the home directory, root/outside/ lies beside it, root/real/ is the real
// folder of the virtual folder home/v/.
struct Layout {
  std::string root;
  std::string home;
  std::string outside;
  std::string real;
  std::string real_home;
  std::string real_real;
  std::string real_outside;
};

// A folder name that brings the current directory close to the 259-byte limit.
std::string deep_name() { return std::string(180, 'd'); }

const Layout& layout() {
  static const Layout made = [] {
    Layout l;
    l.root = fuzz::scratch_dir("paths");
    l.home = l.root + "home/";
    l.outside = l.root + "outside/";
    l.real = l.root + "real/";
    fs::create_directories(l.home + "pub/sub");
    fs::create_directories(l.home + "pub/" + deep_name());
    fs::create_directories(l.outside + "deep");
    fs::create_directories(l.real + "inner");
    fuzz::write_file(l.home + "pub/a.txt", "a");
    fuzz::write_file(l.outside + "secret.txt", "secret");
    fuzz::write_file(l.real + "inner/b.txt", "b");
    fs::create_directory_symlink("../outside", l.home + "link");
    fs::create_symlink("../../outside/secret.txt", l.home + "pub/up");
    fs::create_directory_symlink(l.outside + "deep", l.real + "inner/out");
    fs::create_symlink(l.root + "missing", l.home + "dangling");
    fs::create_symlink("loop", l.home + "loop");
    std::string config = l.root + "velmoraFTPd.ini";
    fuzz::write_file(config, "[System]\r\n");
    platform::profile_write_string(config, "VirtualDir", "Vir0", l.home + "v/");
    platform::profile_write_string(config, "VirtualDir", "Dir0", l.real);
    core::core_state().paths.config_file = config;
    l.real_home = fs::canonical(l.home).string();
    l.real_real = fs::canonical(l.real).string();
    l.real_outside = fs::canonical(l.outside).string();
    return l;
  }();
  return made;
}

bool lies_in(const std::string& path, const std::string& folder) {
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

// Where an operation on a path really lands: the path as the file commands map it through
// the virtual folders, then every link of its longest existing part followed.
std::string real_place(const std::string& path) {
  std::error_code error;
  fs::path place = fs::weakly_canonical(fileservice::map_virtual(path), error);
  return error ? std::string() : place.string();
}

constexpr std::array<uint32_t, 12> kOperations = {
    core::kProhibitAppend,   core::kProhibitOverwrite, core::kProhibitRename,
    core::kProhibitStore,    core::kProhibitDelete,    core::kProhibitRetrieve,
    core::kProhibitRemoveDir, core::kProhibitMakeDir,  core::kProhibitList,
    core::kProhibitChangeDir, core::kFreeFolder,       core::kNoRecursiveList};
constexpr std::array<size_t, 3> kSizes = {core::kPathMax, core::kPathMax + 1, 1024};

}  // namespace

// Input: a byte for the current directory and the form, a byte for the operation and the
// size, then the client path.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Layout& l = layout();
  fuzz::Input input(data, size);
  uint8_t first = input.byte();
  uint8_t second = input.byte();
  std::string client_path(input.rest());

  core::Session s;
  s.home_directory = l.home;
  const std::array<std::string, 5> currents = {l.home, l.home + "pub/", l.home + "pub/sub/",
                                               l.home + "v/inner/",
                                               l.home + "pub/" + deep_name() + "/"};
  s.current_directory = currents[first % currents.size()];
  s.dir_rules.push_back({core::kProhibitDelete | core::kRuleThisFolderOnly, l.home + "pub/"});
  s.dir_rules.push_back({core::kProhibitStore | core::kProhibitMakeDir, l.home + "pub/sub/"});
  s.dir_rules.push_back({core::kProhibitRetrieve, l.real});
  auto form = (first & 0x80) ? fileservice::KeepForm::Directory : fileservice::KeepForm::AsIs;
  uint32_t operation = kOperations[second % kOperations.size()];
  size_t buffer = kSizes[(second >> 4) % kSizes.size()];

  std::string path;
  try {
    path = fileservice::resolve_path(s, client_path, buffer, form);
  } catch (const core::SessionFault& fault) {
    FUZZ_CHECK(fault.reply == core::kTooLongFileName);
    return 0;
  }
  FUZZ_CHECK(path.size() < buffer);
  std::string granted_path = path;
  if (!fileservice::check_permission(s, granted_path, operation)) return 0;

  FUZZ_CHECK(lies_in(granted_path, l.home.substr(0, l.home.size() - 1)));
  std::string place = real_place(granted_path);
  FUZZ_CHECK(!place.empty());
  FUZZ_CHECK(lies_in(place, l.real_home) || lies_in(place, l.real_real));
  FUZZ_CHECK(!lies_in(place, l.real_outside));
  return 0;
}
