#include "manager/shell/transaction_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "manager/shell/prompts.h"

namespace manager {

namespace {

constexpr int kDownloadColumn = 2;
constexpr int kColumnCount = 5;

// Rows sort by text, the download count by its number.
class TransactionItem : public QTreeWidgetItem {
 public:
  using QTreeWidgetItem::QTreeWidgetItem;
  bool operator<(const QTreeWidgetItem& other) const override {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column == kDownloadColumn) {
      return text(column).toInt() < other.text(column).toInt();
    }
    return text(column) < other.text(column);
  }
};

QPushButton* plain_button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromUtf8(text), parent);
  button->setObjectName(name);
  button->setAutoDefault(false);  // Enter searches; it never presses a button
  return button;
}

}  // namespace

CTransactionWindow::CTransactionWindow(QWidget* parent, const std::string& user_dir)
    : QDialog(parent) {
  qRegisterMetaType<manager::UserTransfers>();
  setWindowTitle(QString::fromUtf8("取引したファイル"));
  list_ = new QTreeWidget(this);
  list_->setObjectName("c1007");
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setHeaderLabels({QString::fromUtf8("ファイル名"), QString::fromUtf8("アップユーザー"),
                          QString::fromUtf8("参照数"), QString::fromUtf8("参照ユーザー"),
                          QString::fromUtf8("ファイルパス")});
  const int widths[kColumnCount] = {120, 120, 80, 500, 500};
  for (int column = 0; column < kColumnCount; ++column) list_->setColumnWidth(column, widths[column]);
  list_->header()->setSectionsClickable(true);
  connect(list_->header(), &QHeaderView::sectionClicked, this, &CTransactionWindow::sort_by);

  search_text_ = new QLineEdit(this);
  search_text_->setObjectName("c1000");
  QPushButton* find = plain_button("検索[ret]", "c1003", this);
  QPushButton* find_next = plain_button("次を検索[F3]", "c1018", this);
  QPushButton* ok = plain_button("OK", "ok", this);
  connect(find, &QPushButton::clicked, this, &CTransactionWindow::search_from_top);
  connect(find_next, &QPushButton::clicked, this, &CTransactionWindow::search_next);
  connect(ok, &QPushButton::clicked, this, &QWidget::close);

  auto* controls = new QHBoxLayout;
  controls->addWidget(search_text_, 1);
  controls->addWidget(find);
  controls->addWidget(find_next);
  controls->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(controls);
  resize(900, 480);

  connect(this, &CTransactionWindow::logRead, this, &CTransactionWindow::add_log,
          Qt::QueuedConnection);
  connect(this, &CTransactionWindow::fillEnded, this, &CTransactionWindow::end_fill,
          Qt::QueuedConnection);
  if (!filler_.start([this, user_dir] { fill(user_dir); })) filling_ = false;
}

CTransactionWindow::~CTransactionWindow() {
  stop_ = true;
  filler_.join();
}

// Runs on the filler thread: reads nothing of the window, only emits copies.
void CTransactionWindow::fill(const std::string& user_dir) {
  for (const UserLog& log : list_transfer_logs(user_dir)) {
    if (stop_) return;
    UserTransfers transfers{log.user, read_transfer_log(log.file)};
    if (stop_) return;
    if (!transfers.records.empty()) emit logRead(transfers);
  }
  emit fillEnded();
}

void CTransactionWindow::add_log(const UserTransfers& log) {
  for (const TransferRecord& record : log.records) show_row(table_.add(log.user, record));
}

void CTransactionWindow::end_fill() { filling_ = false; }

void CTransactionWindow::show_row(size_t index) {
  if (index == items_.size()) {
    items_.push_back(new TransactionItem(list_));
  }
  const TransactionRow& row = table_.rows()[index];
  QTreeWidgetItem* item = items_[index];
  item->setText(0, QString::fromStdString(row.name));
  item->setText(1, QString::fromStdString(row.up_users));
  item->setText(kDownloadColumn, QString::fromStdString(row.download_text()));
  item->setText(3, QString::fromStdString(row.down_users));
  item->setText(4, QString::fromStdString(row.path));
}

void CTransactionWindow::sort_by(int column) {
  sort_order_ = column == sort_column_ && sort_order_ == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                           : Qt::AscendingOrder;
  sort_column_ = column;
  list_->header()->setSortIndicatorShown(true);
  list_->sortItems(column, sort_order_);
}

void CTransactionWindow::search_from_top() {
  search_position_ = 0;
  search();
}

void CTransactionWindow::search_next() { search(); }

void CTransactionWindow::search() {
  const QString text = search_text_->text();
  for (int row = search_position_; row < list_->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    for (int column = 0; column < kColumnCount; ++column) {
      if (!item->text(column).contains(text)) continue;
      list_->clearSelection();
      list_->setCurrentItem(item);
      item->setSelected(true);
      list_->scrollToItem(item);
      search_position_ = row + 1;
      return;
    }
  }
  show_message(this, "見つかりませんでした。");
}

void CTransactionWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      search_from_top();
      return;
    case Qt::Key_F3:
      search_next();
      return;
    case Qt::Key_Escape:
      return;  // the window stays open; OK closes it
    default:
      QDialog::keyPressEvent(event);
  }
}

}  // namespace manager
