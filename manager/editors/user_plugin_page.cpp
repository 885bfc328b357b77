// Placeholder: replaced by the user plug-in page.
#include "manager/editors/user_plugin_page.h"

namespace manager {

CUserPluginPage::CUserPluginPage(std::string account_file, std::string ini_file, QWidget* parent)
    : QWidget(parent), account_file_(std::move(account_file)), ini_file_(std::move(ini_file)) {}
std::vector<std::string> CUserPluginPage::entries() const { return entries_; }
bool CUserPluginPage::save(const std::string&) const { return false; }

}  // namespace manager
