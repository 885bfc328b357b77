// The main view: the live user list (one row per session of the Core, eight columns), the
// owner of the admin channel, the notices and the account mails, the context-menu
// commands on a user, and the one-second tick.
#pragma once
#include <QByteArray>
#include <QTimer>
#include <QTreeWidget>
#include <memory>
#include <string>

#include "manager/notify/account_mail.h"
#include "manager/notify/notice.h"
#include "manager/shell/core_control.h"
#include "manager/shell/monitor.h"
#include "manager/shell/program_paths.h"

class QAction;

namespace manager {

class CLogView;

// The [Size] widths of the eight columns.
int stored_column_width(const std::string& ini_file, int column);

class CVelmoraFTPdView : public QTreeWidget, public MonitorOutput {
  Q_OBJECT
 public:
  explicit CVelmoraFTPdView(ProgramPaths paths, QWidget* parent = nullptr);
  ~CVelmoraFTPdView() override;  // saves column widths, closes the channel, stops notices

  // Loads the settings, builds the columns, sets the fonts and the log pane's limit,
  // starts the address lookup and the one-second tick.
  void initial_update(CLogView* log_view);

  void append_log(const std::string& text);
  void handle_record(const QByteArray& record);
  void reload_system_settings();
  void reload_notice_settings();
  void reload_fonts();
  // Asked before the main window closes: may stop the Core and send the end notice.
  bool may_close();
  // The connect/disconnect command; true when the wanted state took effect.
  bool toggle_connection(bool wanted);
  // One tick of the timer (tests call it with their own tick value).
  void on_tick(uint32_t now);

  Monitor& monitor() { return monitor_; }
  CoreChannel& channel() { return channel_; }
  Notifier& notifier() { return notifier_; }
  AccountMailer& mailer() { return mailer_; }
  const ProgramPaths& paths() const { return paths_; }

  // Context-menu and font commands (objectNames "c32774", "c32778", "c32776", "c32797",
  // "c32779", "c32780").
  QAction* status_action() const { return status_action_; }
  QAction* abort_action() const { return abort_action_; }
  QAction* kick_action() const { return kick_action_; }
  QAction* refuse_action() const { return refuse_action_; }
  QAction* user_font_action() const { return user_font_action_; }
  QAction* message_font_action() const { return message_font_action_; }

 signals:
  void status_changed(QString text);  // the transfer summary for status pane 0
  // The Core's state for status pane 1 ("接続中", "停止中", or why no client can connect).
  void server_state_changed(QString text, QString reason);
  // The channel to the Core was lost (the Core died or closed it): the view is cleared and
  // disconnected; the frame shows the stopped state.
  void connection_lost();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // MonitorOutput
  void row_added(size_t row) override;
  void row_removed(size_t row) override;
  void cell_changed(size_t row, int column, const std::string& text) override;
  void log_line(const std::string& text) override;
  void status_text(const std::string& text) override;
  void account_mail_requested(const shared::SessionSnapshot& snapshot) override;
  void startup_problem(const std::string& text) override;
  void on_channel_ended(quint64 generation);

  // The local address chosen by GlobalIP, as notices publish it (31 characters at most).
  std::string published_address() const;
  // The monitor's figures and the published address.
  NoticeSnapshot notice_snapshot() const;
  int first_selected_row() const;
  void show_status();
  void abort_transfer();
  void kick();
  void refuse();
  void change_font(const char* section);
  void save_column_widths();
  QAction* make_action(const char* text, const char* name, void (CVelmoraFTPdView::*slot)());

  ProgramPaths paths_;
  Monitor monitor_;
  CLogView* log_view_ = nullptr;
  CoreChannel channel_;
  std::unique_ptr<CoreController> controller_;
  Notifier notifier_;
  AccountMailer mailer_;
  QTimer tick_timer_;
  bool columns_built_ = false;
  QAction* status_action_;
  QAction* abort_action_;
  QAction* kick_action_;
  QAction* refuse_action_;
  QAction* user_font_action_;
  QAction* message_font_action_;
};

}  // namespace manager
