#include "manager/editors/int_field.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace manager {

std::optional<int> parse_int_text(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return value;
}

CIntField::CIntField(const QString& name, int step_min, int step_max, QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), step_min_(step_min), step_max_(step_max) {
  setObjectName(name);
  edit_->setObjectName(name + "Edit");
  auto* up = new QToolButton(this);
  up->setObjectName(name + "Up");
  up->setArrowType(Qt::UpArrow);
  auto* down = new QToolButton(this);
  down->setObjectName(name + "Down");
  down->setArrowType(Qt::DownArrow);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  layout->addWidget(edit_);
  layout->addWidget(up);
  layout->addWidget(down);
  connect(up, &QToolButton::clicked, this, &CIntField::step_up);
  connect(down, &QToolButton::clicked, this, &CIntField::step_down);
  set_value(0);
}

void CIntField::set_value(long long value) { edit_->setText(QString::number(value)); }

std::optional<int> CIntField::value() const { return parse_int_text(edit_->text()); }

// A step starts from the field's value (or the low end when it is not a number) and
// stays within the range.
void CIntField::step(int delta) {
  const long long current = value().value_or(step_min_);
  const long long next = std::clamp<long long>(current + delta, step_min_, step_max_);
  set_value(next);
}

}  // namespace manager
