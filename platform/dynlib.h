// Shared objects loaded at run time (plug-ins).
#pragma once
#include <string>

namespace platform {

void* load_library(const std::string& path);   // null on failure
void* find_symbol(void* library, const char* name);
void unload_library(void* library);

}  // namespace platform
