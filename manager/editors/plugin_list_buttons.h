// What the plug-in pages' "削除", "↑" and "↓" do to a list of paths.
#pragma once
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

namespace manager {

void remove_selected_entry(QListWidget* list);
// Moves the selected entry one place (-1 up, +1 down), not past the ends; it stays selected.
void move_selected_entry(QListWidget* list, int direction);
std::vector<std::string> list_entries(const QListWidget* list);
// Makes the three buttons act on the list as above.
void connect_list_buttons(QListWidget* list, QPushButton* remove, QPushButton* up,
                          QPushButton* down);

}  // namespace manager
