#include "manager/shell/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "manager/editors/system_settings_dialog.h"
#include "manager/editors/user_list_dialog.h"
#include "manager/notify/notice.h"
#include "manager/shell/about_dialog.h"
#include "manager/shell/core_control.h"
#include "manager/shell/help.h"
#include "manager/shell/log_browser.h"
#include "manager/shell/log_view.h"
#include "manager/shell/prompts.h"
#include "manager/shell/ras.h"
#include "manager/shell/velmora_view.h"
#include "shared/ini.h"

// The resources live in a static library: they are registered on first use.
static void load_manager_resources() { Q_INIT_RESOURCE(manager); }

namespace manager {

namespace {

constexpr int kTitleBarHeight = 24;  // the strip that must lie on a screen

std::function<bool()>& tray_hook() {
  static std::function<bool()> hook;
  return hook;
}

}  // namespace

bool tray_available() {
  return tray_hook() ? tray_hook()() : QSystemTrayIcon::isSystemTrayAvailable();
}

void set_tray_available_hook(std::function<bool()> hook) { tray_hook() = std::move(hook); }

QIcon application_icon() {
  load_manager_resources();
  return QIcon(":/velmoraFTPd.xpm");
}

Placement read_placement(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  Placement p;
  p.stored = !ini.get("Position", "x", "").empty();
  p.x = ini.get_int("Position", "x", 0);
  p.y = ini.get_int("Position", "y", 0);
  p.width = ini.get_int("Position", "width", 600);
  p.height = ini.get_int("Position", "height", 460);
  return p;
}

bool placement_fits(const Placement& p, int screen_width, int screen_height) {
  return static_cast<long long>(p.x) + p.width < screen_width &&
         static_cast<long long>(p.y) + p.height < screen_height;
}

QRect initial_frame(const Placement& p, const QList<QRect>& screens, const QRect& primary) {
  // The size must fit the screen; where the window lies is judged by its title bar, so
  // that a window on a second screen keeps its place.
  const bool usable = p.stored && p.width > 0 && p.height > 0 &&
                      placement_fits({0, 0, p.width, p.height}, primary.width(), primary.height());
  const Placement defaults;
  QRect frame(p.x, p.y, usable ? p.width : defaults.width, usable ? p.height : defaults.height);
  const QRect title(frame.x(), frame.y(), frame.width(), kTitleBarHeight);
  bool on_screen = false;
  for (const QRect& screen : screens) on_screen = on_screen || screen.intersects(title);
  if (!usable || !on_screen) frame.moveCenter(primary.center());
  if (frame.top() < primary.top()) frame.moveTop(primary.top());
  if (frame.left() < primary.left()) frame.moveLeft(primary.left());
  return frame;
}

CMainFrame::CMainFrame(ProgramPaths paths, QWidget* parent)
    : QMainWindow(parent), paths_(std::move(paths)) {
  setObjectName("mainFrame");
  setWindowTitle("velmoraFTPd");
  setWindowIcon(application_icon());
  apply_placement();
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName("splitter");
  view_ = new CVelmoraFTPdView(paths_, splitter_);
  log_view_ = new CLogView(splitter_);
  view_->resize(100, 100);
  log_view_->resize(100, 100);
  splitter_->addWidget(view_);
  splitter_->addWidget(log_view_);
  setCentralWidget(splitter_);
  build_menus();
  build_toolbar();
  build_status_bar();
  build_tray();
  connect(view_, &CVelmoraFTPdView::status_changed, panes_[0], &QLabel::setText);
  connect(view_, &CVelmoraFTPdView::server_state_changed, this, &CMainFrame::show_server_state);
  connect(view_, &CVelmoraFTPdView::connection_lost, this, &CMainFrame::on_connection_lost);
  show_server_state("停止中", {});
  view_->initial_update(log_view_);
}

CMainFrame::~CMainFrame() {
  if (tray_) tray_->hide();
}

QAction* CMainFrame::add_command(QMenu* menu, const char* text, int number) {
  auto* action = new QAction(text, this);
  action->setObjectName(QString("c%1").arg(number));
  menu->addAction(action);
  return action;
}

QAction* CMainFrame::command(int number) const {
  return findChild<QAction*>(QString("c%1").arg(number));
}

void CMainFrame::build_menus() {
  QMenu* link = menuBar()->addMenu("接続(&C)");
  connect_action_ = add_command(link, "接続/切断(&C)", 32796);
  connect_action_->setCheckable(true);
  connect(connect_action_, &QAction::triggered, this, [this] { on_connect_command(); });

  QMenu* show = menuBar()->addMenu("表示(&V)");
  connect(add_command(show, "ユーザー検索(&U)", 32801), &QAction::triggered, this,
          [this] { run_user_search_dialog(this, paths_.user_dir); });
  connect(add_command(show, "取引したファイル(&T)", 32799), &QAction::triggered, this,
          [this] { show_transaction_window(this, paths_.user_dir); });

  QMenu* settings = menuBar()->addMenu("設定(&O)");
  connect(add_command(settings, "ユーザーリスト(&U)", 32771), &QAction::triggered, this,
          [this] { run_user_list_dialog(this, paths_.user_dir); });
  connect(add_command(settings, "システム(&S)", 32772), &QAction::triggered, this, [this] {
    run_system_settings_dialog(this, paths_.ini_file);
    view_->reload_system_settings();
  });
  settings->addSeparator();
  connect(add_command(settings, "自動IP告知機能(&A)", 32773), &QAction::triggered, this, [this] {
    run_auto_ip_dialog(this, paths_.ini_file);
    view_->reload_notice_settings();
  });
  QAction* ras = add_command(settings, "RAS(&R)", 32800);
  connect(ras, &QAction::triggered, this, [this] { run_ras_dialog(this, paths_.ini_file, false); });
  if (!ras_service().available()) {
    // Without NetworkManager there is nothing to dial: the entry says why.
    const QString why = QString::fromStdString(ras_service().unavailable_reason());
    ras->setEnabled(false);
    ras->setToolTip(why);
    ras->setStatusTip(why);
    settings->setToolTipsVisible(true);
  }
  settings->addSeparator();
  QMenu* fonts = settings->addMenu("フォント変更(&F)");
  fonts->addAction(view_->user_font_action());
  fonts->addAction(view_->message_font_action());

  QMenu* help = menuBar()->addMenu("ﾍﾙﾌﾟ(&H)");
  connect(add_command(help, "ヘルプ(&H)", 161), &QAction::triggered, this,
          [] { open_help("はじめに"); });
  connect(add_command(help, "velmoraFTPd のﾊﾞｰｼﾞｮﾝ情報(&A)...", 57664), &QAction::triggered,
          this, [this] {
            CAboutDlg about(this);
            about.exec();
          });
}

void CMainFrame::build_toolbar() {
  QToolBar* bar = addToolBar("velmoraFTPd");
  bar->setObjectName("toolbar");
  bar->setIconSize(QSize(16, 15));
  connect_action_->setIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
  command(32771)->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  command(32772)->setIcon(style()->standardIcon(QStyle::SP_FileDialogInfoView));
  command(57664)->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
  bar->addAction(connect_action_);
  bar->addSeparator();
  bar->addAction(command(32771));
  bar->addAction(command(32772));
  bar->addSeparator();
  bar->addAction(command(57664));
}

void CMainFrame::build_status_bar() {
  const int widths[4] = {300, 60, 60, 60};
  for (int i = 0; i < 4; ++i) {
    panes_[i] = new QLabel(this);
    panes_[i]->setObjectName(QString("pane%1").arg(i));
    panes_[i]->setMinimumWidth(widths[i]);
    statusBar()->addWidget(panes_[i], i == 0 ? 1 : 0);
  }
}

// The tray icon with its menu: show the window, connect/disconnect, end the program.
// A click (or double-click) on the icon brings the window back.
void CMainFrame::build_tray() {
  tray_ = new QSystemTrayIcon(application_icon(), this);
  tray_->setObjectName("trayIcon");
  tray_->setToolTip("VelmoraFtpd");
  tray_menu_ = new QMenu(this);
  tray_menu_->setObjectName("trayMenu");
  connect(tray_menu_->addAction("表示(&S)"), &QAction::triggered, this,
          &CMainFrame::restore_from_tray);
  tray_menu_->addAction(connect_action_);
  tray_menu_->addSeparator();
  connect(tray_menu_->addAction("終了(&X)"), &QAction::triggered, this, [this] { close(); });
  tray_->setContextMenu(tray_menu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) restore_from_tray();
  });
  if (tray_available()) tray_->show();
}

void CMainFrame::restore_from_tray() {
  setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  show();
  raise();
  activateWindow();
}

// MinRun: with a tray the window starts hidden (only the icon shows); without one it
// starts as an ordinary minimised window, so that it can always be found again.
void CMainFrame::start() {
  log_view_->write_start_lines();
  const shared::IniFile ini(paths_.ini_file);
  if (ini.get_int("System", "StartServer", 0) != 0 || core_is_running(paths_.ini_file)) {
    on_connect_command();
  }
  if (ini.get_int("System", "MinRun", 0) == 0) {
    show();
  } else if (tray_available()) {
    hide();
  } else {
    showMinimized();
  }
}

void CMainFrame::on_connect_command() {
  const bool wanted = !connected_;
  if (view_->toggle_connection(wanted)) connected_ = wanted;
  connect_action_->setChecked(connected_);
}

// The Core went away: the stopped state, and the offer to start it again.
void CMainFrame::on_connection_lost() {
  connected_ = false;
  connect_action_->setChecked(false);
  if (ask_yes_no(this, "FTPサーバーとの接続が切れました。再接続しますか？")) on_connect_command();
}

void CMainFrame::show_server_state(const QString& text, const QString& reason) {
  panes_[1]->setText(text);
  panes_[1]->setToolTip(reason);
  if (!reason.isEmpty()) panes_[0]->setText(reason);
}

void CMainFrame::apply_placement() {
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
  const QScreen* primary = QGuiApplication::primaryScreen();
  if (!primary) return;
  wanted_frame_ = initial_frame(read_placement(paths_.ini_file), screens, primary->availableGeometry());
  // The frame's position; the size is corrected by the frame's margins once shown.
  move(wanted_frame_.topLeft());
  resize(wanted_frame_.size());
}

void CMainFrame::apply_splitter_sizes() {
  const shared::IniFile ini(paths_.ini_file);
  splitter_->setSizes({std::max(0, ini.get_int("Position", "splitter11", 200)),
                       std::max(0, ini.get_int("Position", "splitter12", 400))});
  splitter_applied_ = true;
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (splitter_applied_) return;
  apply_splitter_sizes();
  // The stored placement is the whole frame: take the window manager's margins off.
  const QSize margins = frameGeometry().size() - size();
  if (!wanted_frame_.isEmpty() && !margins.isEmpty()) {
    resize(wanted_frame_.size() - margins);
    move(wanted_frame_.topLeft());
  }
}

// Minimised with a tray: only the tray icon remains. Without a tray the window stays an
// ordinary minimised window.
void CMainFrame::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_available()) {
    QTimer::singleShot(0, this, [this] {
      if (isMinimized()) hide();
    });
  }
}

void CMainFrame::save_placement() {
  const QRect frame = frameGeometry();
  const QList<int> sizes = splitter_->sizes();
  const shared::IniFile ini(paths_.ini_file);
  ini.set_int("Position", "x", frame.x());
  ini.set_int("Position", "y", frame.y());
  ini.set_int("Position", "width", frame.width());
  ini.set_int("Position", "height", frame.height());
  if (sizes.size() == 2) {
    ini.set_int("Position", "splitter11", sizes[0]);
    ini.set_int("Position", "splitter12", sizes[1]);
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!view_->may_close()) {
    event->ignore();
    return;
  }
  save_placement();
  event->accept();
  emit closed();
}

}  // namespace manager
