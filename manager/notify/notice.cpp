// Placeholder: replaced by the automatic IP notification.
#include "manager/notify/notice.h"

namespace manager {

AutoIpSettings load_auto_ip_settings(const std::string&) { return {}; }
struct Notifier::State {};
Notifier::Notifier(QObject* parent) : QObject(parent), state_(new State) {}
Notifier::~Notifier() = default;
void Notifier::start_running_notice(const NoticeSnapshot&) {}
void Notifier::send_end_notice(const NoticeSnapshot&) {}
void Notifier::shut_down() {}
bool run_auto_ip_dialog(QWidget*, const std::string&) { return false; }

}  // namespace manager
