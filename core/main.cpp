// quorsrv: the FTP server process.
#include <string>
#include <vector>

#include "core/startup.h"

int main(int argc, char** argv) {
  std::vector<std::string> words(argv, argv + argc);
  return core::core_main(words);
}
