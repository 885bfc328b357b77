// The log pane: a read-only text that receives one line per event. When it holds as many
// lines as the limit ([Log] MaxLogChar), the next line clears it first.
#pragma once
#include <QPlainTextEdit>
#include <string>

namespace manager {

inline constexpr const char* kManagerVersion = "2.04";

// True when a pane of line_count lines (the empty line after the last line end counts)
// must be cleared before the next line.
bool log_pane_full(int line_count, int max_lines);

class CLogView : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit CLogView(QWidget* parent = nullptr);

  // The two start lines: "VelmoraFTPd " and "Version  2.04".
  void write_start_lines();
  void append_line(const std::string& text);
  void set_max_lines(int max_lines) { max_lines_ = max_lines; }
  int max_lines() const { return max_lines_; }
  std::string text() const { return toPlainText().toStdString(); }

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;  // a right click does nothing

 private:
  void insert_at_end(const QString& text);
  int max_lines_ = 3000;
};

}  // namespace manager
