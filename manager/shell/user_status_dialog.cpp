#include "manager/shell/user_status_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "shared/ini.h"
#include "shared/size_text.h"

namespace manager {
namespace {

std::vector<std::string> words_of(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

std::vector<std::string> lines_of(const std::string& path) {
  std::vector<std::string> lines;
  const auto content = platform::read_whole_file(path);
  if (!content) return lines;
  std::istringstream in(*content);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool parse_number(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && ptr == end;
}

QTreeWidget* make_transfer_list(QWidget* parent, const char* name) {
  auto* list = new QTreeWidget(parent);
  list->setObjectName(name);
  list->setRootIsDecorated(false);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setHeaderLabels({"ファイル名", "Byte", "処理時間", "日時", "フルパス"});
  const int widths[] = {120, 120, 80, 80, 200};
  for (int i = 0; i < 5; ++i) list->header()->resizeSection(i, widths[i]);
  return list;
}

QLineEdit* make_edit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setReadOnly(true);
  return edit;
}

// Bits per second in kilobits: bytes x 8 / ((ms + 1) x 0.001) / 1024, truncated.
int average_kbps(double bytes, double milliseconds) {
  const double kbps = bytes * 8 / ((milliseconds + 1) * 0.001) / 1024;
  return static_cast<int>(std::clamp(kbps, 0.0, 2147483647.0));
}

}  // namespace

CUserStatusDlg::CUserStatusDlg(const std::string& base_path, QWidget* parent) : QDialog(parent) {
  setWindowTitle("ユーザーステータス");
  setObjectName("userStatusDialog");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  name_ = make_edit(this, "c1000");
  total_up_ = make_edit(this, "c1001");
  total_down_ = make_edit(this, "c1002");
  speed_ = make_edit(this, "c1026");
  credit_ = make_edit(this, "c1003");
  rate_ = make_edit(this, "c1004");
  rate_->setVisible(false);
  form->addRow("ユーザー名", name_);
  form->addRow("総UP", total_up_);
  form->addRow("総DOWN", total_down_);
  form->addRow("平均速度", speed_);
  form->addRow("クレジット", credit_);
  layout->addLayout(form);
  layout->addWidget(rate_);
  uploads_ = make_transfer_list(this, "c1007");
  downloads_ = make_transfer_list(this, "c1021");
  logins_ = new QListWidget(this);
  logins_->setObjectName("c1049");
  layout->addWidget(new QLabel("UP", this));
  layout->addWidget(uploads_);
  layout->addWidget(new QLabel("DOWN", this));
  layout->addWidget(downloads_);
  layout->addWidget(logins_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);

  read_transfers(base_path + ".flg");
  read_logins(base_path + ".mlg");
  read_account(base_path + ".usr");
}

// Each line: date, time, direction, duration (ms), bytes, start offset, path ('*' for
// blanks). Lines that do not have that shape are skipped.
void CUserStatusDlg::read_transfers(const std::string& path) {
  for (const std::string& line : lines_of(path)) {
    const auto words = words_of(line);
    long long direction = 0, duration = 0, bytes = 0, offset = 0;
    if (words.size() < 7 || !parse_number(words[2], direction) ||
        !parse_number(words[3], duration) || !parse_number(words[4], bytes) ||
        !parse_number(words[5], offset)) {
      continue;
    }
    std::string full_path = words[6];
    std::replace(full_path.begin(), full_path.end(), '*', ' ');
    const size_t slash = full_path.find_last_of('/');
    const std::string file = slash == std::string::npos ? full_path : full_path.substr(slash + 1);
    auto* item = new QTreeWidgetItem;
    item->setText(0, QString::fromStdString(file));
    item->setText(1, QString("%1(%2-%3)").arg(bytes).arg(offset).arg(offset + bytes));
    item->setText(2, QString("%1 sec").arg(duration / 1000));
    item->setText(3, QString::fromStdString(words[0] + " " + words[1]));
    item->setText(4, QString::fromStdString(full_path));
    if (direction == 0) {
      uploads_->addTopLevelItem(item);
      up_bytes_ += static_cast<double>(bytes);
      up_ms_ += static_cast<double>(duration);
    } else {
      downloads_->addTopLevelItem(item);
      down_bytes_ += static_cast<double>(bytes);
      down_ms_ += static_cast<double>(duration);
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}

// A login starts an entry "date time～"; the next disconnection ends it with its time and
// puts it at the top, so the newest session stands first.
void CUserStatusDlg::read_logins(const std::string& path) {
  std::string entry;
  for (const std::string& line : lines_of(path)) {
    const auto words = words_of(line);
    if (words.size() < 4) continue;
    if (words[3].find("ログインしました。") != std::string::npos) {
      entry = words[0] + " " + words[1] + "～";
    } else if (words[3].find("切断しました。") != std::string::npos && !entry.empty()) {
      entry += words[1];
      logins_->insertItem(0, QString::fromStdString(entry));
      entry.clear();
    }
  }
}

void CUserStatusDlg::read_account(const std::string& path) {
  if (!platform::path_exists(path)) return;
  total_up_->setText(QString::fromStdString(shared::size_text(up_bytes_)));
  total_down_->setText(QString::fromStdString(shared::size_text(down_bytes_)));
  speed_->setText(QString("UP %1kbps DOWN %2kbps")
                      .arg(average_kbps(up_bytes_, up_ms_))
                      .arg(average_kbps(down_bytes_, down_ms_)));
  const shared::IniFile ini(path);
  name_->setText(QString::fromStdString(ini.get("UserInfo", "Name", "anonymous")));
  credit_->setText(QString::fromStdString(ini.get("UserInfo", "NowCredit", "0")));
  rate_->setText(QString("%1:%2")
                     .arg(ini.get_int("UserInfo", "RateUp", 0))
                     .arg(ini.get_int("UserInfo", "RateDown", 0)));
}

void show_user_status(QWidget* parent, const std::string& base_path) {
  CUserStatusDlg dialog(base_path, parent);
  dialog.exec();
}

}  // namespace manager
