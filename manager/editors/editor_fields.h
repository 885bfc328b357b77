// Integer entry fields of the settings pages: a line edit, optionally with arrow buttons
// that step within a range, and the check made when the page's entries are taken.
#pragma once
#include <QLineEdit>
#include <optional>
#include <string>

class QWidget;

namespace manager {

// What an integer entry may hold: the field's caption (named in the message) and its range.
struct IntCheck {
  const char* caption;
  long long low;
  long long high;
};
inline constexpr long long kIntMax = 2147483647LL;
// Ports: 1 to 65535; with any_port, 0 (the system picks) too.
inline IntCheck port_check(const char* caption, bool any_port = false) {
  return {caption, any_port ? 0 : 1, 65535};
}
// Counts, limits and intervals: never negative.
inline IntCheck count_check(const char* caption, long long high = kIntMax) {
  return {caption, 0, high};
}

QLineEdit* make_int_edit(QWidget* parent, const QString& name, int value);
// A row of the edit and two arrow buttons (objectName name + "Up" / name + "Down") that
// step the value by one within low..high.
QWidget* with_arrows(QLineEdit* edit, int low, int high);
// The value of text when it is a whole decimal integer within check; none otherwise.
std::optional<int> parse_int_entry(const std::string& text, const IntCheck& check);
// The message the operator sees for a bad entry of text: the field in brackets, then
// "整数を入力してください。" for what is no integer, or "%1 から %2 までの整数を入力してくだ
// さい。" for an integer out of range (however many digits it has).
std::string int_entry_message(const std::string& text, const IntCheck& check);
// Takes an edit's value into target; on a bad entry shows the message, puts the focus on
// the edit with its text selected and returns false (target keeps its value).
bool take_int(QWidget* parent, QLineEdit* edit, const IntCheck& check, int& target);

}  // namespace manager
