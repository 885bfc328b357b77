#include "manager/shell/help.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "manager/shell/program_paths.h"

namespace manager {

std::string help_page_path(const std::string& help_dir, const std::string& topic) {
  return help_dir + topic + ".html";
}

bool open_help(const std::string& topic) {
  if (topic.empty()) return false;
  const std::string page = help_page_path(program_paths().help_dir, topic);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(page)));
}

}  // namespace manager
