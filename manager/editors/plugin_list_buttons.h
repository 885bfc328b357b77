// What the plug-in pages' "削除", "↑" and "↓" do to a list of paths.
#pragma once
#include <QListWidget>
#include <string>
#include <vector>

namespace manager {

void remove_selected_entry(QListWidget* list);
// Moves the selected entry one place (-1 up, +1 down), not past the ends; it stays selected.
void move_selected_entry(QListWidget* list, int direction);
std::vector<std::string> list_entries(const QListWidget* list);

}  // namespace manager
