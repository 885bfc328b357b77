// The Manager's paths, derived once from the program directory (the folder of the
// executable, or VELMORAFTPD_HOME) and kept for the whole process.
#pragma once
#include <string>

namespace manager {

struct ProgramPaths {
  std::string program_dir;  // ends with '/'
  std::string ini_file;     // program_dir + "velmoraFTPd.ini"
  std::string user_dir;     // program_dir + "user/"
  std::string core_exe;     // program_dir + "quorsrv"
  std::string help_dir;     // program_dir + "help/" (one page per topic)
};

ProgramPaths derive_program_paths(const std::string& program_dir);
// Computed at the first call from platform::program_directory().
const ProgramPaths& program_paths();

}  // namespace manager
