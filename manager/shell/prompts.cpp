#include "manager/shell/prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace manager {

namespace {

PromptHook& hook() {
  static PromptHook installed;
  return installed;
}

QString caption() { return QApplication::applicationName(); }

}  // namespace

void set_prompt_hook(PromptHook replacement) { hook() = std::move(replacement); }

void show_message(QWidget* parent, const std::string& text) {
  if (hook().message) return hook().message(text);
  QMessageBox::information(parent, caption(), QString::fromStdString(text));
}

bool ask_yes_no(QWidget* parent, const std::string& text, bool default_no) {
  if (hook().question) return hook().question(text);
  return QMessageBox::question(parent, caption(), QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No,
                               default_no ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<std::string> choose_existing_file(QWidget* parent, const std::string& filter) {
  if (hook().open_file) return hook().open_file(filter);
  const QString chosen =
      QFileDialog::getOpenFileName(parent, QString(), QString(), QString::fromStdString(filter));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

std::optional<std::string> choose_folder(QWidget* parent, const std::string& start,
                                         const std::string& title) {
  if (hook().titled_folder) return hook().titled_folder(start, title);
  if (hook().folder) return hook().folder(start);
  QString chosen = QFileDialog::getExistingDirectory(parent, QString::fromStdString(title),
                                                     QString::fromStdString(start));
  if (chosen.isEmpty()) return std::nullopt;
  if (!chosen.endsWith('/')) chosen += '/';
  return chosen.toStdString();
}

}  // namespace manager
