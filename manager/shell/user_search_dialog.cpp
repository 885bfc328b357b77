#include "manager/shell/user_search_dialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "manager/shell/prompts.h"
#include "manager/shell/transfer_log.h"
#include "manager/shell/user_status_dialog.h"

namespace manager {

namespace {

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

QListWidget* user_list(const char* name, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setObjectName(name);
  return list;
}

}  // namespace

CUserSearchDialog::CUserSearchDialog(QWidget* parent, const std::string& user_dir,
                                     StatusOpener open_status)
    : QDialog(parent), user_dir_(user_dir), open_status_(std::move(open_status)) {
  if (!open_status_) open_status_ = show_user_status;
  setWindowTitle(text("ファイル→関連するユーザー検索"));
  setAcceptDrops(true);
  name_ = new QLineEdit(this);
  name_->setObjectName("c1000");
  progress_text_ = new QLineEdit(this);
  progress_text_->setObjectName("c1001");
  progress_text_->setReadOnly(true);
  uploads_ = user_list("c1021", this);
  downloads_ = user_list("c1007", this);
  start_button_ = new QPushButton(text("検索開始"), this);
  start_button_->setObjectName("c1003");
  auto* clear = new QPushButton(text("リストクリア"), this);
  clear->setObjectName("c1018");
  auto* cancel = new QPushButton(text("キャンセル"), this);
  cancel->setObjectName("cancel");
  for (QPushButton* button : {start_button_, clear, cancel}) button->setAutoDefault(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(text("検索するファイル名（ドロップで登録）"), this), 0, 0, 1, 2);
  layout->addWidget(name_, 1, 0, 1, 2);
  layout->addWidget(progress_text_, 2, 0, 1, 2);
  layout->addWidget(new QLabel(text("UPしたユーザー"), this), 3, 0);
  layout->addWidget(new QLabel(text("DOWNしたユーザー"), this), 3, 1);
  layout->addWidget(uploads_, 4, 0);
  layout->addWidget(downloads_, 4, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_button_);
  buttons->addWidget(clear);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 5, 0, 1, 2);
  resize(640, 420);

  connect(start_button_, &QPushButton::clicked, this, &CUserSearchDialog::start_or_stop);
  connect(clear, &QPushButton::clicked, this, &CUserSearchDialog::clear_lists);
  connect(cancel, &QPushButton::clicked, this, &CUserSearchDialog::reject);
  connect(uploads_, &QListWidget::itemDoubleClicked, this, &CUserSearchDialog::open_status);
  connect(downloads_, &QListWidget::itemDoubleClicked, this, &CUserSearchDialog::open_status);
  connect(this, &CUserSearchDialog::progress, this, &CUserSearchDialog::on_progress,
          Qt::QueuedConnection);
}

CUserSearchDialog::~CUserSearchDialog() {
  search_running_ = false;
  abandoned_ = true;
  worker_.join();
}

void CUserSearchDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CUserSearchDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CUserSearchDialog::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    const QString path = url.toLocalFile();
    if (!path.isEmpty()) name_->setText(QFileInfo(path).fileName());
  }
  event->acceptProposedAction();
}

void CUserSearchDialog::start_or_stop() {
  if (worker_active_) {
    search_running_ = false;  // the worker ends after the log it is reading
    return;
  }
  start_search();
}

void CUserSearchDialog::start_search() {
  const std::string name = name_->text().toStdString();
  if (name.empty()) {
    show_message(this, "検索対象のファイルをドロップしてください。");
    return;
  }
  const std::string wanted = blanks_to_stars(name);
  worker_.join();  // a finished search's thread
  const QString header = QString::fromStdString("_/_/_/_/" + wanted + "_/_/_/_/");
  for (QListWidget* list : {uploads_, downloads_}) {
    list->addItem(header);
    list->addItem(QString());
  }
  search_running_ = true;
  worker_active_ = true;
  start_button_->setText(text("検索停止"));
  if (!worker_.start([this, wanted] { run_search(wanted); })) {
    on_progress(kEnded, QString());
  }
}

// Runs on the worker thread; touches no control, only emits copies.
void CUserSearchDialog::run_search(const std::string& wanted) {
  for (const UserLog& log : list_transfer_logs(user_dir_)) {
    if (!search_running_ || abandoned_) break;
    report(kReading, log.user);
    for (const SearchHit& hit : find_transfers(log.user, read_transfer_log(log.file), wanted)) {
      report(hit.upload ? kUpload : kDownload, hit.user);
      report(hit.upload ? kUpload : kDownload, hit.detail);
    }
  }
  report(kEnded, "");
}

void CUserSearchDialog::report(int kind, const std::string& line) {
  if (abandoned_) return;
  emit progress(kind, QString::fromStdString(line));
}

void CUserSearchDialog::on_progress(int kind, const QString& line) {
  switch (kind) {
    case kReading:
      progress_text_->setText(line);
      break;
    case kUpload:
      uploads_->addItem(line);
      break;
    case kDownload:
      downloads_->addItem(line);
      break;
    case kEnded:
      progress_text_->setText("Finish!");
      worker_active_ = false;
      start_button_->setText(text("検索開始"));
      uploads_->addItem(QString());
      downloads_->addItem(QString());
      emit searchEnded();
      break;
    default:
      break;
  }
}

void CUserSearchDialog::clear_lists() {
  uploads_->clear();
  downloads_->clear();
}

void CUserSearchDialog::open_status(QListWidgetItem* item) {
  QListWidget* list = item ? item->listWidget() : nullptr;
  QListWidgetItem* selected = list ? list->currentItem() : nullptr;
  if (!selected) selected = item;
  if (!selected) return;
  open_status_(this, user_dir_ + selected->text().toStdString());
}

// Cancel waits for a running search to report its end (bounded), then closes.
void CUserSearchDialog::reject() {
  if (worker_active_) {
    search_running_ = false;
    QEventLoop wait;
    connect(this, &CUserSearchDialog::searchEnded, &wait, &QEventLoop::quit);
    QTimer::singleShot(cancel_wait_ms_, &wait, &QEventLoop::quit);
    if (worker_active_) wait.exec();
  }
  QDialog::reject();
}

}  // namespace manager
