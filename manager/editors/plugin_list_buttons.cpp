#include "manager/editors/plugin_list_buttons.h"

namespace manager {
namespace {

int selected_row(const QListWidget* list) {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.first());
}

}  // namespace

void remove_selected_entry(QListWidget* list) {
  const int row = selected_row(list);
  if (row >= 0) delete list->takeItem(row);
}

void move_selected_entry(QListWidget* list, int direction) {
  const int row = selected_row(list);
  const int target = row + direction;
  if (row < 0 || target < 0 || target >= list->count()) return;
  QListWidgetItem* item = list->takeItem(row);
  list->insertItem(target, item);
  list->setCurrentRow(target);
}

std::vector<std::string> list_entries(const QListWidget* list) {
  std::vector<std::string> entries;
  for (int i = 0; i < list->count(); ++i) entries.push_back(list->item(i)->text().toStdString());
  return entries;
}

void connect_list_buttons(QListWidget* list, QPushButton* remove, QPushButton* up,
                          QPushButton* down) {
  QObject::connect(remove, &QPushButton::clicked, list, [list] { remove_selected_entry(list); });
  QObject::connect(up, &QPushButton::clicked, list, [list] { move_selected_entry(list, -1); });
  QObject::connect(down, &QPushButton::clicked, list, [list] { move_selected_entry(list, 1); });
}

}  // namespace manager
