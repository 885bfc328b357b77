#include "manager/shell/log_browser.h"

#include <QPointer>

#include "manager/shell/transaction_window.h"
#include "manager/shell/user_search_dialog.h"

namespace manager {

void show_transaction_window(QWidget* parent, const std::string& user_dir) {
  static QPointer<CTransactionWindow> window;
  if (window && window->isVisible()) return;
  delete window.data();
  window = new CTransactionWindow(parent, user_dir);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

void run_user_search_dialog(QWidget* parent, const std::string& user_dir) {
  CUserSearchDialog dialog(parent, user_dir);
  dialog.exec();
}

}  // namespace manager
