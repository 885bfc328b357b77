#include "manager/shell/log_view.h"

#include <QContextMenuEvent>
#include <QScrollBar>
#include <QTextCursor>

namespace manager {

bool log_pane_full(int line_count, int max_lines) { return line_count - 1 >= max_lines; }

CLogView::CLogView(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName("logView");
  setLineWrapMode(QPlainTextEdit::NoWrap);  // one line of the pane per line of text
  setUndoRedoEnabled(false);
}

void CLogView::write_start_lines() {
  insert_at_end("VelmoraFTPd \n");
  insert_at_end("Version  ");
  insert_at_end(kManagerVersion);
  insert_at_end("\n");
  setReadOnly(true);
}

void CLogView::append_line(const std::string& text) {
  if (log_pane_full(blockCount(), max_lines_)) clear();
  QString line = QString::fromStdString(text);
  line.replace("\r\n", "\n");
  insert_at_end(line + "\n");
}

void CLogView::insert_at_end(const QString& text) {
  QTextCursor cursor = textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text);
  setTextCursor(cursor);
  ensureCursorVisible();
}

void CLogView::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

}  // namespace manager
