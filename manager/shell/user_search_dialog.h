// The dialog "ファイル→関連するユーザー検索": for one file name, every upload and download
// of it in the users' transfer logs. A worker thread reads the logs and reports through
// queued signals; "検索停止" asks it to stop after the log it is reading.
#pragma once
#include <QDialog>
#include <atomic>
#include <functional>
#include <string>

#include "platform/thread.h"

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace manager {

class CUserSearchDialog : public QDialog {
  Q_OBJECT

 public:
  // What a double-click opens: the user status dialog for user folder + the line's text.
  using StatusOpener = std::function<void(QWidget* parent, const std::string& base_path)>;

  CUserSearchDialog(QWidget* parent, const std::string& user_dir, StatusOpener open_status = {});
  // Asks a running worker to stop and waits for it.
  ~CUserSearchDialog() override;

  bool worker_active() const { return worker_active_; }
  // How long Cancel waits for a running search to end before it closes anyway.
  void set_cancel_wait_ms(int milliseconds) { cancel_wait_ms_ = milliseconds; }

  // Each dropped file's name and extension goes into the name field; the last one stays.
  // (Public so that a test can hand it a drop without a drag session.)
  void dropEvent(QDropEvent* event) override;

  // Progress kinds of the worker.
  enum Kind { kReading = 0, kUpload = 1, kDownload = 2, kEnded = 3 };

 public slots:
  void reject() override;  // Cancel: stops a running search and waits for its end

 signals:
  void progress(int kind, const QString& text);
  void searchEnded();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;

 private slots:
  void start_or_stop();
  void clear_lists();
  void on_progress(int kind, const QString& text);
  void open_status(QListWidgetItem* item);

 private:
  void start_search();
  void run_search(const std::string& wanted);
  void report(int kind, const std::string& text);

  std::string user_dir_;
  StatusOpener open_status_;
  QLineEdit* name_ = nullptr;
  QLineEdit* progress_text_ = nullptr;
  QListWidget* uploads_ = nullptr;
  QListWidget* downloads_ = nullptr;
  QPushButton* start_button_ = nullptr;
  bool worker_active_ = false;
  int cancel_wait_ms_ = 10000;
  std::atomic<bool> search_running_{false};  // the stop request: cleared to stop
  std::atomic<bool> abandoned_{false};       // the dialog is going away
  platform::Thread worker_;
};

}  // namespace manager
