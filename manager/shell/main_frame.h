// The main window: menus, toolbar, status bar, the splitter with the live user list over
// the log pane, the tray icon, the stored placement, and the order of steps at the end.
#pragma once
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QIcon>
#include <QList>
#include <QRect>
#include <functional>
#include <string>

#include "manager/shell/program_paths.h"

class QAction;
class QMenu;
class QLabel;
class QSplitter;

namespace manager {

class CLogView;
class CVelmoraFTPdView;

struct Placement {
  int x = 0, y = 0, width = 600, height = 460;
  bool stored = false;  // [Position] holds a placement (x is present)
};
Placement read_placement(const std::string& ini_file);
// A stored size is used only when it fits the screen (both sums strictly less).
bool placement_fits(const Placement& placement, int screen_width, int screen_height);
// The window's frame at start: the stored placement when its size fits the primary screen
// (both sides strictly smaller) and its title bar lies on one of the screens; a stored size
// that fits but lies off every screen is centred on the primary screen; otherwise (nothing
// stored, or too large) the default size centred on the primary screen.
QRect initial_frame(const Placement& placement, const QList<QRect>& screens, const QRect& primary);

// Whether the desktop has a system tray; tests replace the answer.
bool tray_available();
void set_tray_available_hook(std::function<bool()> hook);
// The application's icon (also the window's and the tray's).
QIcon application_icon();

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(ProgramPaths paths, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Start-up after the windows exist: the log pane's start lines, the connect command when
  // StartServer is set or a Core runs, then showing (or hiding in the tray with MinRun).
  void start();

  CVelmoraFTPdView* view() const { return view_; }
  CLogView* log_view() const { return log_view_; }
  QSplitter* splitter() const { return splitter_; }
  QLabel* status_pane(int index) const { return panes_[index]; }
  QSystemTrayIcon* tray_icon() const { return tray_; }
  bool connected() const { return connected_; }
  // Finds the action of a command number ("c32796", ...).
  QAction* command(int number) const;

  void on_connect_command();
  void save_placement();
  // Shows the window normally (from the tray or a hidden start) and brings it forward.
  void restore_from_tray();
  QMenu* tray_menu() const { return tray_menu_; }

 signals:
  void closed();  // the window closed (the program ends)

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void build_menus();
  void build_toolbar();
  void build_status_bar();
  void build_tray();
  void apply_splitter_sizes();
  void apply_placement();
  void on_connection_lost();
  void show_server_state(const QString& text, const QString& reason);
  QAction* add_command(QMenu* menu, const char* text, int number);

  ProgramPaths paths_;
  CVelmoraFTPdView* view_;
  CLogView* log_view_;
  QSplitter* splitter_;
  QLabel* panes_[4] = {};
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* tray_menu_ = nullptr;
  QRect wanted_frame_;  // the frame the first show gives the window
  QAction* connect_action_ = nullptr;
  bool connected_ = false;
  bool splitter_applied_ = false;
};

}  // namespace manager
