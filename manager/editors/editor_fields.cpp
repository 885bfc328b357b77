#include "manager/editors/editor_fields.h"

#include <QHBoxLayout>
#include <QToolButton>
#include <algorithm>
#include <cctype>

#include "manager/shell/prompts.h"

namespace manager {
namespace {

std::string trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

// A whole decimal integer (optional sign); none otherwise. Numbers beyond 64 bits are
// held at +-10^18, which is out of every field's range.
std::optional<long long> whole_integer(const std::string& text) {
  constexpr long long kHeld = 1000000000000000000LL;
  const std::string t = trimmed(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i == t.size()) return std::nullopt;
  long long value = 0;
  for (; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i]))) return std::nullopt;
    const int digit = t[i] - '0';
    value = value > (kHeld - digit) / 10 ? kHeld : value * 10 + digit;
  }
  return negative ? -value : value;
}

void step(QLineEdit* edit, int delta, int low, int high) {
  const long long current = whole_integer(edit->text().toStdString()).value_or(low);
  const long long next = std::clamp<long long>(current + delta, low, high);
  edit->setText(QString::number(next));
}

}  // namespace

QLineEdit* make_int_edit(QWidget* parent, const QString& name, int value) {
  auto* edit = new QLineEdit(QString::number(value), parent);
  edit->setObjectName(name);
  return edit;
}

QWidget* with_arrows(QLineEdit* edit, int low, int high) {
  auto* row = new QWidget(edit->parentWidget());
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  edit->setParent(row);
  layout->addWidget(edit);
  auto* up = new QToolButton(row);
  up->setArrowType(Qt::UpArrow);
  up->setObjectName(edit->objectName() + "Up");
  auto* down = new QToolButton(row);
  down->setArrowType(Qt::DownArrow);
  down->setObjectName(edit->objectName() + "Down");
  layout->addWidget(up);
  layout->addWidget(down);
  QObject::connect(up, &QToolButton::clicked, edit, [edit, low, high] { step(edit, 1, low, high); });
  QObject::connect(down, &QToolButton::clicked, edit,
                   [edit, low, high] { step(edit, -1, low, high); });
  return row;
}

std::optional<int> parse_int_entry(const std::string& text, const IntCheck& check) {
  const std::optional<long long> value = whole_integer(text);
  if (!value || *value < check.low || *value > check.high) return std::nullopt;
  return static_cast<int>(*value);
}

std::string int_entry_message(const std::string& text, const IntCheck& check) {
  const std::string field = "[" + std::string(check.caption) + "] ";
  if (!whole_integer(text)) return field + "整数を入力してください。";
  return field + std::to_string(check.low) + " から " + std::to_string(check.high) +
         " までの整数を入力してください。";
}

bool take_int(QWidget* parent, QLineEdit* edit, const IntCheck& check, int& target) {
  const std::string text = edit->text().toStdString();
  const std::optional<int> value = parse_int_entry(text, check);
  if (!value) {
    show_message(parent, int_entry_message(text, check));
    edit->setFocus();
    edit->selectAll();
    return false;
  }
  target = *value;
  return true;
}

}  // namespace manager
