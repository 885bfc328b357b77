#include "manager/shell/velmora_view.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <algorithm>

#include "manager/editors/plugin_manager.h"
#include "manager/editors/refusal.h"
#include "manager/shell/fonts.h"
#include "manager/shell/local_addresses.h"
#include "manager/shell/log_view.h"
#include "manager/shell/mail_result.h"
#include "manager/shell/prompts.h"
#include "manager/shell/ras.h"
#include "manager/shell/refuse_user_dialog.h"
#include "manager/shell/stop_wait.h"
#include "manager/shell/user_status_dialog.h"
#include "platform/clock.h"
#include "shared/ini.h"

namespace manager {
namespace {

// Wide enough for "DOWN_COMP", "1023.9MB/1023.9MB", a dotted IPv4 address and an
// eight-digit id in the list's default font.
constexpr int kDefaultColumnWidths[kColumnCount] = {150, 100, 90, 140, 70, 120, 300, 80};
const char* const kColumnTitles[kColumnCount] = {"User",    "AccessFile", "Up/Down", "FileSize",
                                                 "bps",     "Host/IP",    "Comment", "ID"};
constexpr const char* kKickQuestion = "このユーザーを切断します。本当によろしいですか？";

std::string column_key(int column) { return "DownColumn" + std::to_string(column); }

}  // namespace

int stored_column_width(const std::string& ini_file, int column) {
  return shared::IniFile(ini_file).get_int("Size", column_key(column),
                                           kDefaultColumnWidths[column]);
}

CVelmoraFTPdView::CVelmoraFTPdView(ProgramPaths paths, QWidget* parent)
    : QTreeWidget(parent),
      paths_(std::move(paths)),
      channel_(paths_),
      mailer_(paths_.ini_file) {
  setObjectName("userList");
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  monitor_.set_output(this);

  ConnectHooks hooks;
  hooks.log = [this](const std::string& text) { append_log(text); };
  hooks.show_message = [this](const std::string& text) { show_message(window(), text); };
  hooks.ask_yes_no = [this](const std::string& text) { return ask_yes_no(window(), text); };
  hooks.session_count = [this] { return monitor_.rows().size(); };
  hooks.on_connected = [this] {
    lookup_local_addresses();
    // The plug-ins' log service may be called from any thread: lines reach the pane on
    // the user-interface thread.
    load_system_plugins(paths_.ini_file, [this](const std::string& text) {
      QMetaObject::invokeMethod(this, [this, text] { append_log(text); }, Qt::AutoConnection);
    });
  };
  hooks.on_disconnected = [] { unload_system_plugins(); };
  hooks.wait_for_stop = [this] { return wait_for_core_stop(window(), channel_); };
  controller_ = std::make_unique<CoreController>(channel_, paths_, std::move(hooks));

  connect(&channel_, &CoreChannel::record_received, this,
          [this](QByteArray record) { handle_record(record); }, Qt::QueuedConnection);
  connect(&channel_, &CoreChannel::channel_ended, this,
          [this](quint64 generation) { on_channel_ended(generation); }, Qt::QueuedConnection);
  connect(&notifier_, &Notifier::status_text, this,
          [this](QString text) { append_log("FtpCliantMessage:" + text.toStdString()); });
  connect(&mailer_, &AccountMailer::mail_finished, this, [this](AccountMailResult result) {
    apply_mail_result(result, paths_, [this](const std::string& text) { append_log(text); });
  });
  connect(&tick_timer_, &QTimer::timeout, this, [this] { on_tick(platform::tick_ms()); });

  status_action_ = make_action("ステータス表示(&S)", "c32774", &CVelmoraFTPdView::show_status);
  abort_action_ = make_action("転送接続を切断(&T)", "c32778", &CVelmoraFTPdView::abort_transfer);
  kick_action_ = make_action("強制切断(&K)", "c32776", &CVelmoraFTPdView::kick);
  refuse_action_ = make_action("ユーザー拒否(&R)", "c32797", &CVelmoraFTPdView::refuse);
  user_font_action_ = new QAction("ユーザー(&U)", this);
  user_font_action_->setObjectName("c32779");
  connect(user_font_action_, &QAction::triggered, this, [this] { change_font(kUserFontSection); });
  message_font_action_ = new QAction("メッセージ(&M)", this);
  message_font_action_->setObjectName("c32780");
  connect(message_font_action_, &QAction::triggered, this,
          [this] { change_font(kMessageFontSection); });
}

CVelmoraFTPdView::~CVelmoraFTPdView() {
  tick_timer_.stop();
  save_column_widths();
  channel_.close_channel();
  notifier_.shut_down();
  unload_system_plugins();
}

QAction* CVelmoraFTPdView::make_action(const char* text, const char* name,
                                       void (CVelmoraFTPdView::*slot)()) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  connect(action, &QAction::triggered, this, slot);
  return action;
}

void CVelmoraFTPdView::initial_update(CLogView* log_view) {
  log_view_ = log_view;
  reload_system_settings();
  reload_notice_settings();
  if (const auto outcome = take_end_notice_record(paths_.ini_file))
    append_log("前回終了時の自動通知：" + *outcome);
  QStringList titles;
  for (const char* title : kColumnTitles) titles << title;
  setHeaderLabels(titles);
  for (int i = 0; i < kColumnCount; ++i) {
    header()->resizeSection(i, stored_column_width(paths_.ini_file, i));
  }
  header()->setStretchLastSection(false);
  columns_built_ = true;
  reload_fonts();
  lookup_local_addresses_in_background();
  tick_timer_.start(1000);
}

void CVelmoraFTPdView::reload_system_settings() {
  monitor_.set_settings(load_monitor_settings(paths_.ini_file));
  select_local_address(monitor_.settings().global_ip);
  if (log_view_) log_view_->set_max_lines(monitor_.settings().max_log_lines);
}

void CVelmoraFTPdView::reload_notice_settings() {
  AutoIpSettings auto_ip = load_auto_ip_settings(paths_.ini_file);
  if (auto_ip.password.size() > 99) auto_ip.password.resize(99);
  monitor_.set_auto_ip(auto_ip);
}

void CVelmoraFTPdView::reload_fonts() {
  setFont(to_qfont(read_log_font(paths_.ini_file, kUserFontSection)));
  if (log_view_) log_view_->setFont(to_qfont(read_log_font(paths_.ini_file, kMessageFontSection)));
}

void CVelmoraFTPdView::change_font(const char* section) {
  const std::optional<QFont> chosen = choose_font(window(), font());
  if (!chosen) return;
  write_log_font(paths_.ini_file, section, from_qfont(*chosen, read_log_font(paths_.ini_file, section)));
  reload_fonts();
}

void CVelmoraFTPdView::append_log(const std::string& text) {
  if (log_view_) log_view_->append_line(text);
}

void CVelmoraFTPdView::handle_record(const QByteArray& record) {
  // A short receive leaves the rest of the record zero.
  shared::AdminEventBytes bytes{};
  std::copy_n(reinterpret_cast<const uint8_t*>(record.constData()),
              std::min<size_t>(static_cast<size_t>(record.size()), bytes.size()), bytes.begin());
  monitor_.dispatch(shared::decode_event(bytes), platform::tick_ms());
}

void CVelmoraFTPdView::on_tick(uint32_t now) {
  const TickActions actions = monitor_.tick(now, published_address());
  if (actions.refresh_addresses) lookup_local_addresses_in_background();
  if (actions.start_running_notice) notifier_.start_running_notice(notice_snapshot());
  if (actions.ras_keep_alive) ras_keep_alive_step(window(), paths_.ini_file);
}

std::string CVelmoraFTPdView::published_address() const {
  return local_address_slot(selected_local_address()).substr(0, 31);
}

NoticeSnapshot CVelmoraFTPdView::notice_snapshot() const {
  NoticeSnapshot snapshot = monitor_.notice_snapshot();
  snapshot.ip_address = published_address();
  return snapshot;
}

// Connecting starts a join: the Core's replay of its live sessions fills the list quietly.
// Both ways, the list starts empty: what it showed belonged to a Core that is gone.
bool CVelmoraFTPdView::toggle_connection(bool wanted) {
  if (wanted && !controller_->connected()) {
    monitor_.clear(platform::tick_ms());
    monitor_.begin_join(platform::tick_ms());
  }
  if (!controller_->toggle(wanted)) return false;
  if (!wanted) monitor_.clear(platform::tick_ms());
  emit server_state_changed(wanted ? "接続中" : "停止中", {});
  return true;
}

void CVelmoraFTPdView::on_channel_ended(quint64 generation) {
  if (!controller_->channel_lost(generation)) return;
  monitor_.clear(platform::tick_ms());
  append_log("FTPサーバーとの接続が切れました。");
  emit server_state_changed("停止中", {});
  emit connection_lost();
}

void CVelmoraFTPdView::startup_problem(const std::string& text) {
  emit server_state_changed("FTP受付不可", QString::fromStdString(text));
}

bool CVelmoraFTPdView::may_close() {
  if (monitor_.settings().close_server && !controller_->toggle(false)) return false;
  const AutoIpSettings& auto_ip = monitor_.auto_ip();
  if (auto_ip.enabled && auto_ip.at_end) {
    monitor_.clear_end_notice();  // the end notice goes out once
    append_log("サーバー終了を自動通知します。");
    record_end_notice(paths_.ini_file, notifier_.send_end_notice(notice_snapshot()));
  }
  return true;
}

void CVelmoraFTPdView::row_added(size_t row) {
  insertTopLevelItem(static_cast<int>(row), new QTreeWidgetItem);
}

void CVelmoraFTPdView::row_removed(size_t row) {
  delete takeTopLevelItem(static_cast<int>(row));
}

void CVelmoraFTPdView::cell_changed(size_t row, int column, const std::string& text) {
  if (QTreeWidgetItem* item = topLevelItem(static_cast<int>(row))) {
    item->setText(column, QString::fromStdString(text));
  }
}

void CVelmoraFTPdView::log_line(const std::string& text) { append_log(text); }

void CVelmoraFTPdView::status_text(const std::string& text) {
  emit status_changed(QString::fromStdString(text));
}

void CVelmoraFTPdView::account_mail_requested(const shared::SessionSnapshot& snapshot) {
  hand_off_account_mail(mailer_, snapshot, paths_,
                        [this](const std::string& text) { append_log(text); });
}

void CVelmoraFTPdView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(status_action_);
  menu.addSeparator();
  menu.addAction(abort_action_);
  menu.addAction(kick_action_);
  menu.addAction(refuse_action_);
  menu.exec(event->globalPos());
}

int CVelmoraFTPdView::first_selected_row() const {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    if (topLevelItem(i)->isSelected()) return i;
  }
  return -1;
}

void CVelmoraFTPdView::show_status() {
  const int row = first_selected_row();
  if (row < 0) return;
  const shared::SessionSnapshot* snap = monitor_.snapshot(monitor_.row_session_id(row));
  const std::string user = snap ? snap->user_name : "";
  show_user_status(window(), paths_.user_dir + user);
}

void CVelmoraFTPdView::kick() {
  const int row = first_selected_row();
  if (row < 0) return;
  const uint32_t id = monitor_.row_session_id(row);
  if (ask_yes_no(window(), kKickQuestion)) channel_.send_kick(id);
}

void CVelmoraFTPdView::abort_transfer() {
  const int row = first_selected_row();
  if (row < 0) return;
  const uint32_t id = monitor_.row_session_id(row);
  const shared::SessionSnapshot* snap = monitor_.snapshot(id);
  if (!snap || !snap->transferring) {
    show_message(window(), "データ転送中ではありません。");
    return;
  }
  if (ask_yes_no(window(), "データ転送を中断させます。本当によろしいですか？")) {
    channel_.send_abort(id);
  }
}

void CVelmoraFTPdView::refuse() {
  const int row = first_selected_row();
  if (row < 0) return;
  const uint32_t id = monitor_.row_session_id(row);
  CRefuseUserDlg dialog(window());
  if (dialog.exec() != QDialog::Accepted) return;
  const RefuseChoice choice = dialog.choice();
  const shared::SessionSnapshot* snap = monitor_.snapshot(id);
  if (!snap) return;
  const std::string user = snap->user_name;
  const std::string host = snap->host_text;
  if (choice.disable_account) refuse_user(paths_.user_dir, user, 1);
  if (choice.refuse_address) refuse_address(paths_.program_dir, host);
  if (choice.kick && ask_yes_no(window(), kKickQuestion)) channel_.send_kick(id);
}

void CVelmoraFTPdView::save_column_widths() {
  if (!columns_built_) return;
  const shared::IniFile ini(paths_.ini_file);
  for (int i = 0; i < kColumnCount - 1; ++i) {
    const int width = header()->sectionSize(i);
    if (width >= 0 && width < 2000) ini.set_int("Size", column_key(i), width);
  }
}

}  // namespace manager
