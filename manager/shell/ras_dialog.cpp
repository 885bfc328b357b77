#include "manager/shell/ras_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "manager/shell/prompts.h"

namespace manager {

namespace {

constexpr const char* kSection = "VelmoraRasControl";

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

QLineEdit* number_edit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setValidator(new QIntValidator(0, 9999, edit));
  return edit;
}

}  // namespace

std::vector<std::string> sorted_entry_names(std::vector<std::string> names) {
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
  });
  return names;
}

CRasDialog::CRasDialog(QWidget* parent, const std::string& ini_file, bool dialling)
    : QDialog(parent), ini_(ini_file), dialling_(dialling) {
  setWindowTitle("RAS Manager");
  entries_ = new QListWidget(this);
  entries_->setObjectName("c1050");
  user_name_ = new QLineEdit(this);
  user_name_->setObjectName("c1051");
  user_name_->setReadOnly(true);
  password_ = new QLineEdit(this);
  password_->setObjectName("c1052");
  password_->setEchoMode(QLineEdit::Password);
  progress_ = new QListWidget(this);
  progress_->setObjectName("c1053");
  redials_left_ = number_edit("c1000", this);
  wait_seconds_ = number_edit("c1001", this);
  connect_ = new QPushButton(text("接続"), this);
  connect_->setObjectName("c1003");
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("ok");
  connect_->setAutoDefault(false);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(text("エントリを選択してください："), this), 0, 0, 1, 3);
  layout->addWidget(entries_, 1, 0, 1, 3);
  layout->addWidget(user_name_, 2, 0, 1, 3);
  layout->addWidget(password_, 3, 0, 1, 3);
  layout->addWidget(new QLabel(text("リダイヤル"), this), 4, 0);
  layout->addWidget(redials_left_, 4, 1);
  layout->addWidget(new QLabel(text("回"), this), 4, 2);
  layout->addWidget(new QLabel(text("リダイヤル間隔"), this), 5, 0);
  layout->addWidget(wait_seconds_, 5, 1);
  layout->addWidget(new QLabel(text("秒"), this), 5, 2);
  layout->addWidget(progress_, 6, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(connect_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  layout->addLayout(buttons, 7, 0, 1, 3);

  connect(ok_, &QPushButton::clicked, this, &CRasDialog::press_ok);
  connect(connect_, &QPushButton::clicked, this, &CRasDialog::press_connect);
  connect(this, &CRasDialog::dialEvent, this, &CRasDialog::on_dial_event, Qt::QueuedConnection);

  service_available_ = ras_service().available();
  if (!service_available_) {
    // No dial-up service: the dialog says why and can only be closed.
    entries_->addItem(QString::fromStdString(ras_service().unavailable_reason()));
    entries_->setEnabled(false);
    connect_->setEnabled(false);
    ok_->setText(text("閉じる"));
    return;
  }
  fill_entries();
  show_credentials();
  connect(entries_, &QListWidget::currentRowChanged, this, &CRasDialog::show_credentials);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &CRasDialog::on_timer);
  timer_->start(ras_timing().tick_ms);
}

CRasDialog::~CRasDialog() {
  if (handle_ != 0 && !connected_) ras_service().hang_up(handle_);
}

void CRasDialog::fill_entries() {
  const std::optional<std::vector<std::string>> names = ras_service().entries();
  if (!names) {
    entries_->addItem(text("エントリ無し"));
    entries_->setEnabled(false);
    ok_->setText(text("接続不可"));
    return;
  }
  if (names->empty()) {
    entries_->addItem(text("ダイヤルアップのエントリを作成してください。"));
    entries_->setEnabled(false);
    return;
  }
  for (const std::string& name : sorted_entry_names(*names)) {
    entries_->addItem(QString::fromStdString(name));
  }
  have_entries_ = true;
  const int chosen = ini_.get_int(kSection, "ListNo", -1);
  entries_->setCurrentRow(chosen >= 0 && chosen < entries_->count() ? chosen : -1);
  redials_left_->setText(QString::number(ini_.get_int(kSection, "Redial", 0)));
  wait_seconds_->setText(QString::number(ini_.get_int(kSection, "WaitTime", 10)));
  if (!dialling_) ok_->setText(text("設定更新"));
}

bool CRasDialog::entry_selected() const { return have_entries_ && entries_->currentRow() >= 0; }

void CRasDialog::show_credentials() {
  if (!entry_selected()) return;
  const std::optional<RasCredentials> stored =
      ras_service().credentials(entries_->currentItem()->text().toStdString());
  user_name_->setText(stored ? QString::fromStdString(stored->user_name) : QString());
  password_->setText(stored ? QString::fromStdString(stored->password) : QString());
}

void CRasDialog::start() {
  if (!service_available_ || !dialling_) return;
  connect_->setEnabled(false);
  press_ok();
}

void CRasDialog::press_ok() {
  if (!dialling_) {
    if (entry_selected()) save_settings();
    close_with(QDialog::Accepted);
    return;
  }
  if (handle_ != 0) {
    ras_service().hang_up(handle_);
    handle_ = 0;
    return;
  }
  if (!entry_selected()) {
    close_with(QDialog::Rejected);
    return;
  }
  dial();
}

void CRasDialog::save_settings() {
  ini_.set_int(kSection, "ListNo", entries_->currentRow());
  ini_.set(kSection, "Redial", redials_left_->text().toStdString());
  ini_.set(kSection, "WaitTime", wait_seconds_->text().toStdString());
}

void CRasDialog::dial() {
  const RasDialParams params{entries_->currentItem()->text().toStdString(),
                             user_name_->text().toStdString(), password_->text().toStdString()};
  ok_->setText(text("接続中断"));
  const quint64 this_dial = ++dial_;
  const RasDialStart started = ras_service().dial(params, [this, this_dial](uint32_t state, uint32_t error) {
    emit dialEvent(this_dial, state, error);
  });
  if (!started.accepted) {
    if (started.handle != 0) ras_service().hang_up(started.handle);
    dial_refused();
    return;
  }
  handle_ = started.handle;
  progress_->clear();
  progress_->insertItem(0, text("接続開始"));
  entries_->setEnabled(false);
}

// The service would not start the dial: try again after a pause and the redial wait.
// The pause runs on a timer, so the window keeps answering meanwhile.
void CRasDialog::dial_refused() {
  handle_ = 0;
  ok_->setText(text("接続開始"));
  const quint64 refused = dial_;
  QTimer::singleShot(ras_timing().refused_pause_ms, this, [this, refused] {
    if (dial_ == refused && handle_ == 0) redial_pending_ = true;
  });
}

void CRasDialog::press_connect() {
  if (ras_connected()) {
    show_message(this, "すでに接続されています。");
    return;
  }
  connect_->setEnabled(false);
  dialling_ = true;
  press_ok();
}

void CRasDialog::add_progress_line(const char* line) { progress_->insertItem(0, text(line)); }

void CRasDialog::on_dial_event(quint64 dial, uint state, uint error) {
  if (dial != dial_ || handle_ == 0) return;  // an earlier dial, or one hung up since
  if (error != 0) {
    ras_service().hang_up(handle_);
    handle_ = 0;
    progress_->insertItem(0, QString());
    if (state == kRasDisconnected) {
      reject();
    } else {
      redial_pending_ = true;
    }
    return;
  }
  switch (state) {
    case kRasConnectDevice:
      add_progress_line("ダイヤル中");
      break;
    case kRasAuthenticate:
      add_progress_line("ユーザー認証中");
      break;
    case kRasAuthenticated:
      add_progress_line("認証されました");
      break;
    case kRasConnected:
      add_progress_line("接続されました");
      ok_->setText(text("切断"));
      connected_ = true;
      close_with(QDialog::Accepted);
      break;
    default:
      break;
  }
}

void CRasDialog::on_timer() {
  if (!redial_pending_) {
    seconds_waited_ = 0;
    return;
  }
  ++seconds_waited_;
  if (wait_seconds_->text().toInt() >= seconds_waited_) return;
  const int left = redials_left_->text().toInt();
  redial_pending_ = false;
  seconds_waited_ = 0;
  if (left <= 0) {
    reject();
    return;
  }
  press_ok();
  redials_left_->setText(QString::number(left - 1));
}

void CRasDialog::reject() {
  if (handle_ != 0 && !connected_) press_ok();  // hangs the attempt up
  close_with(QDialog::Rejected);
}

void CRasDialog::close_with(int result) {
  if (timer_) timer_->stop();
  QDialog::done(result);
}

}  // namespace manager
