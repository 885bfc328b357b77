// The transaction window "取引したファイル": one row per file named in any user's transfer
// log, with the users who uploaded it, the number of downloads and the users who
// downloaded it. A filler thread reads the logs and hands each log's records to the
// window as a queued signal, so the window opens at once.
#pragma once
#include <QDialog>
#include <QMetaType>
#include <atomic>
#include <string>
#include <vector>

#include "manager/shell/transfer_log.h"
#include "platform/thread.h"

class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace manager {

// The records of one user's log, as the filler sends them.
struct UserTransfers {
  std::string user;
  std::vector<TransferRecord> records;
};

class CTransactionWindow : public QDialog {
  Q_OBJECT

 public:
  CTransactionWindow(QWidget* parent, const std::string& user_dir);
  // Stops the filler after the log it is reading and waits for it; what it sent and the
  // window did not take yet is dropped with the window.
  ~CTransactionWindow() override;

  // "検索[ret]" and Enter: from the first row. "次を検索[F3]" and F3: from the position.
  void search_from_top();
  void search_next();
  int search_position() const { return search_position_; }
  bool filling() const { return filling_; }
  QTreeWidget* list() const { return list_; }

 signals:
  void logRead(manager::UserTransfers log);
  void fillEnded();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private slots:
  void add_log(const manager::UserTransfers& log);
  void end_fill();
  void sort_by(int column);

 private:
  void fill(const std::string& user_dir);
  void show_row(size_t index);
  void search();

  QTreeWidget* list_ = nullptr;
  QLineEdit* search_text_ = nullptr;
  TransactionTable table_;
  std::vector<QTreeWidgetItem*> items_;  // by table row, whatever the shown order
  int search_position_ = 0;
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  bool filling_ = true;
  std::atomic<bool> stop_{false};
  platform::Thread filler_;
};

}  // namespace manager

Q_DECLARE_METATYPE(manager::UserTransfers)
