// Integer entry fields of the settings pages: a line edit, optionally with arrow buttons
// that step within a range, and the check made when the page's entries are taken.
#pragma once
#include <QLineEdit>
#include <optional>
#include <string>

class QWidget;

namespace manager {

struct IntCheck {
  long long low;
  long long high;
  bool show_range;  // out of range gives "%1 から %2 までの整数を入力してください。"
};
// Plain integer (int), positive-or-zero integer (stored in an int), and an explicit range.
inline constexpr IntCheck kAnyInt{-2147483648LL, 2147483647LL, false};
inline constexpr IntCheck kUnsignedInt{0, 2147483647LL, false};
inline IntCheck int_range(long long low, long long high) { return {low, high, true}; }

QLineEdit* make_int_edit(QWidget* parent, const QString& name, int value);
// A row of the edit and two arrow buttons (objectName name + "Up" / name + "Down") that
// step the value by one within low..high.
QWidget* with_arrows(QLineEdit* edit, int low, int high);
// The value of text when it is a whole decimal integer within check; none otherwise.
std::optional<int> parse_int_entry(const std::string& text, const IntCheck& check);
// The message the operator sees for a bad entry of text.
std::string int_entry_message(const std::string& text, const IntCheck& check);
// Takes an edit's value into target; on a bad entry shows the message and returns false
// (target keeps its value).
bool take_int(QWidget* parent, const QLineEdit* edit, const IntCheck& check, int& target);

}  // namespace manager
