// The dialog "RAS Manager": choose a phone-book entry and the redial rules (settings
// mode), or dial the chosen entry and redial after failures (dialling mode).
#pragma once
#include <QDialog>
#include <cstdint>
#include <string>

#include "manager/shell/ras.h"
#include "shared/ini.h"

class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;

namespace manager {

class CRasDialog : public QDialog {
  Q_OBJECT

 public:
  CRasDialog(QWidget* parent, const std::string& ini_file, bool dialling);
  // Hangs up an attempt still in progress; an established connection stays up.
  ~CRasDialog() override;

  // Dialling mode: disables "接続" and dials (run_ras_dialog calls it once the dialog runs).
  void start();

  bool dialling() const { return dialling_; }
  bool attempt_in_progress() const { return handle_ != 0; }
  bool redial_pending() const { return redial_pending_; }
  int seconds_waited() const { return seconds_waited_; }

 public slots:
  void press_ok();       // the OK button, whatever its text
  void press_connect();  // button 1003 "接続"
  void on_timer();       // every second
  void reject() override;  // Cancel

 signals:
  void dialEvent(quint64 dial, uint state, uint error);

 private slots:
  void on_dial_event(quint64 dial, uint state, uint error);
  void show_credentials();

 private:
  void fill_entries();
  void save_settings();
  void dial();
  void dial_refused();
  void add_progress_line(const char* text);
  bool entry_selected() const;
  void close_with(int result);

  shared::IniFile ini_;
  bool service_available_ = false;
  bool dialling_ = false;
  bool have_entries_ = false;
  bool connected_ = false;
  RasHandle handle_ = 0;
  quint64 dial_ = 0;  // counts dials; reports of an earlier dial are ignored
  bool redial_pending_ = false;
  int seconds_waited_ = 0;
  QListWidget* entries_ = nullptr;
  QLineEdit* user_name_ = nullptr;
  QLineEdit* password_ = nullptr;
  QListWidget* progress_ = nullptr;
  QLineEdit* redials_left_ = nullptr;
  QLineEdit* wait_seconds_ = nullptr;
  QPushButton* connect_ = nullptr;
  QPushButton* ok_ = nullptr;
  QTimer* timer_ = nullptr;
};

}  // namespace manager
