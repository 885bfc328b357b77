// Every message box and file chooser of the Manager goes through these calls, so that a
// test can read each text the operator would see and give the operator's answers.
#pragma once
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace manager {

// A message box with an OK button (caption: the application's name).
void show_message(QWidget* parent, const std::string& text);
// A Yes/No question; true for Yes.
// default_no: "No" is the default button (Enter answers No).
bool ask_yes_no(QWidget* parent, const std::string& text, bool default_no = false);
// A file-open dialog for an existing file; filter in Qt's form ("PlugIn (*.so);;All (*)").
std::optional<std::string> choose_existing_file(QWidget* parent, const std::string& filter);
// A folder chooser starting at start; the chosen folder ends with '/'.
// title: what the chooser asks for (its window title).
std::optional<std::string> choose_folder(QWidget* parent, const std::string& start,
                                         const std::string& title = "フォルダの選択");

// Replaces the real dialogs (tests). A member left empty keeps the real dialog.
struct PromptHook {
  std::function<void(const std::string&)> message;
  std::function<bool(const std::string&)> question;
  std::function<std::optional<std::string>(const std::string& filter)> open_file;
  std::function<std::optional<std::string>(const std::string& start)> folder;
  // Sees each folder chooser's title too; used instead of folder when set.
  std::function<std::optional<std::string>(const std::string& start, const std::string& title)>
      titled_folder;
};
void set_prompt_hook(PromptHook hook);

}  // namespace manager
