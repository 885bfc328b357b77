// Placeholder: replaced by the Core-control implementation.
#include "manager/shell/core_control.h"

namespace manager {

CoreSettings read_core_settings(const std::string&) { return {}; }
bool core_is_running(const std::string&) { return false; }

struct CoreChannel::State {};
CoreChannel::CoreChannel(ProgramPaths, QObject* parent) : QObject(parent), state_(new State) {}
CoreChannel::~CoreChannel() = default;
bool CoreChannel::start_and_connect() { return false; }
bool CoreChannel::is_open() const { return false; }
void CoreChannel::send_kick(uint32_t) {}
void CoreChannel::send_abort(uint32_t) {}
void CoreChannel::send_stop() {}
void CoreChannel::close_channel() {}

CoreController::CoreController(CoreChannel& channel, ProgramPaths paths, ConnectHooks hooks)
    : channel_(channel), paths_(std::move(paths)), hooks_(std::move(hooks)) {}
bool CoreController::toggle(bool) { return false; }
bool CoreController::connect_core() { return false; }
bool CoreController::disconnect_core() { return false; }

}  // namespace manager
