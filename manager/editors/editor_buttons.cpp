#include "manager/editors/editor_buttons.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QPushButton>

namespace manager {

QPushButton* make_button(QWidget* parent, const QString& text, const char* name) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* make_check_box(QWidget* parent, const QString& text, const char* name) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  return box;
}

void add_button_row(QBoxLayout* layout, std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QPushButton* button : buttons) row->addWidget(button);
  layout->addLayout(row);
}

}  // namespace manager
