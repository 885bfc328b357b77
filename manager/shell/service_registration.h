// Registering the Core as the systemd service "velmoraftpd" from the settings dialog.
// Each call returns the one message the operator is shown and updates the dialog's copy
// of [System] Service (1 after a registration, 0 after a removal).
#pragma once
#include <string>

#include "manager/shell/program_paths.h"

namespace manager {

std::string register_core_service(int& service_copy, const ProgramPaths& paths);
std::string remove_core_service(int& service_copy, const ProgramPaths& paths);

}  // namespace manager
