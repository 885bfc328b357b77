// An integer field with arrow buttons: the arrows step within a range, the text itself
// may hold any integer (the page checks it when the dialog is confirmed).
#pragma once
#include <QWidget>
#include <optional>

class QLineEdit;
class QString;

namespace manager {

// The integer of a field's text (blanks around it allowed); none when it is not one.
std::optional<int> parse_int_text(const QString& text);

class CIntField : public QWidget {
  Q_OBJECT
 public:
  CIntField(const QString& name, int step_min, int step_max, QWidget* parent = nullptr);
  void set_value(long long value);
  std::optional<int> value() const;
  QLineEdit* edit() const { return edit_; }

 private slots:
  void step_up() { step(1); }
  void step_down() { step(-1); }

 private:
  void step(int delta);

  QLineEdit* edit_;
  int step_min_;
  int step_max_;
};

}  // namespace manager
