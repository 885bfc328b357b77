// Shared objects loaded at run time.
#include "platform/dynlib.h"

#include <dlfcn.h>

namespace platform {

void* load_library(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

void* find_symbol(void* library, const char* name) {
  if (!library || !name) return nullptr;
  return dlsym(library, name);
}

void unload_library(void* library) {
  if (library) dlclose(library);
}

}  // namespace platform
