// Buttons and check boxes of the settings pages and dialogs. No button of theirs is an
// automatic default: Enter belongs to the page's fields.
#pragma once
#include <QString>
#include <initializer_list>

class QBoxLayout;
class QCheckBox;
class QPushButton;
class QWidget;

namespace manager {

QPushButton* make_button(QWidget* parent, const QString& text, const char* name);
QCheckBox* make_check_box(QWidget* parent, const QString& text, const char* name);
// Appends a row of the buttons, pushed to the right-hand end, to layout.
void add_button_row(QBoxLayout* layout, std::initializer_list<QPushButton*> buttons);

}  // namespace manager
