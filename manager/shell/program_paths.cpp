#include "manager/shell/program_paths.h"

#include "platform/process.h"

namespace manager {

ProgramPaths derive_program_paths(const std::string& program_dir) {
  ProgramPaths paths;
  paths.program_dir = program_dir;
  if (paths.program_dir.empty() || paths.program_dir.back() != '/') paths.program_dir += '/';
  paths.ini_file = paths.program_dir + "velmoraFTPd.ini";
  paths.user_dir = paths.program_dir + "user/";
  paths.core_exe = paths.program_dir + "quorsrv";
  paths.help_dir = paths.program_dir + "help/";
  return paths;
}

const ProgramPaths& program_paths() {
  static const ProgramPaths paths = derive_program_paths(platform::program_directory());
  return paths;
}

}  // namespace manager
