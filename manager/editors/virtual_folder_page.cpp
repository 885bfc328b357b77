#include "manager/editors/virtual_folder_page.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/shell/prompts.h"
#include "platform/profile.h"
#include "shared/ini.h"

namespace manager {
namespace {

// Vir%d and Dir%d values are read into 260-byte buffers, as the Core reads them.
constexpr size_t kPathMax = 259;
constexpr int kMaxRows = 100000;
constexpr const char* kRootName = "/root";

std::string without_double_slashes(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out.push_back(c);
  }
  return out;
}

std::string folder_name(const std::string& real) {
  std::string trimmed = real;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.find_last_of('/');
  if (trimmed == "/" || slash == std::string::npos || slash + 1 == trimmed.size()) return kRootName;
  return trimmed.substr(slash);
}

}  // namespace

VirtualFolder make_virtual_folder(const std::string& real, const std::string& place) {
  VirtualFolder row;
  row.virtual_path = without_double_slashes(place + folder_name(real) + "/");
  row.real_path = real;
  if (row.real_path.empty() || row.real_path.back() != '/') row.real_path += '/';
  return row;
}

std::vector<VirtualFolder> read_virtual_folders(const std::string& ini_file) {
  const shared::IniFile ini(ini_file);
  std::vector<VirtualFolder> rows;
  for (int i = 0; i < kMaxRows; ++i) {
    const std::string number = std::to_string(i);
    std::string vir = ini.get("VirtualDir", "Vir" + number, "", kPathMax);
    if (vir.empty()) break;
    rows.push_back({std::move(vir), ini.get("VirtualDir", "Dir" + number, "", kPathMax)});
  }
  return rows;
}

platform::ProfileSectionChanges virtual_folder_changes(const std::vector<VirtualFolder>& rows) {
  std::vector<platform::ProfileChange> changes;
  for (size_t i = 0; i < rows.size(); ++i) {
    changes.push_back({"Vir" + std::to_string(i), rows[i].virtual_path});
    changes.push_back({"Dir" + std::to_string(i), rows[i].real_path});
  }
  changes.push_back({"Vir" + std::to_string(rows.size()), std::string()});
  return {"VirtualDir", changes};
}

bool save_virtual_folders(const std::string& ini_file, const std::vector<VirtualFolder>& rows) {
  return platform::profile_write_sections(ini_file, {virtual_folder_changes(rows)});
}

CVirtualFolderPage::CVirtualFolderPage(std::string ini_file, QWidget* parent)
    : QWidget(parent), ini_file_(std::move(ini_file)) {
  auto* layout = new QVBoxLayout(this);
  list_ = new QTreeWidget(this);
  list_->setObjectName("virtualList");
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setHeaderLabels({QStringLiteral("仮想フォルダ名"), QStringLiteral("実際のフォルダ")});
  list_->setColumnWidth(0, 200);
  list_->setColumnWidth(1, 200);
  layout->addWidget(list_);
  QPushButton* add = make_button(this, QStringLiteral("追加"), "add");
  QPushButton* remove = make_button(this, QStringLiteral("削除"), "remove");
  add_button_row(layout, {add, remove});
  connect(add, &QPushButton::clicked, this, &CVirtualFolderPage::on_add);
  connect(remove, &QPushButton::clicked, this, &CVirtualFolderPage::on_remove);
  for (const VirtualFolder& row : read_virtual_folders(ini_file_)) add_row(row);
}

void CVirtualFolderPage::add_row(const VirtualFolder& row) {
  auto* item = new QTreeWidgetItem(list_);
  item->setText(0, QString::fromStdString(row.virtual_path));
  item->setText(1, QString::fromStdString(row.real_path));
}

std::vector<VirtualFolder> CVirtualFolderPage::rows() const {
  std::vector<VirtualFolder> rows;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list_->topLevelItem(i);
    rows.push_back({item->text(0).toStdString(), item->text(1).toStdString()});
  }
  return rows;
}

bool CVirtualFolderPage::save() const { return save_virtual_folders(ini_file_, rows()); }

// Two choosers: the real folder first, then the folder it shows in.
void CVirtualFolderPage::on_add() {
  const std::optional<std::string> real = choose_folder(this, "", "仮想フォルダを選択して下さい。");
  if (!real) return;
  const std::optional<std::string> place =
      choose_folder(this, "", "仮想フォルダの設置場所を選択してください。");
  if (!place) return;
  add_row(make_virtual_folder(*real, *place));
}

void CVirtualFolderPage::on_remove() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  delete selected.first();
}

}  // namespace manager
