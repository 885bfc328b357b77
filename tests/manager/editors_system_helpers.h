// Helpers of the settings-editor tests: the operator's answers to prompts, controls found
// by name, and a hand on modal dialogs that a button opens.
#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "manager/shell/prompts.h"
#include "platform/files.h"
#include "tests/manager/support/qt_wait.h"

namespace editors_test {

// Records every message shown and answers file and folder choosers from queues
// (an empty queue answers "cancelled").
struct Prompts {
  std::vector<std::string> messages;
  std::vector<std::string> filters;
  std::deque<std::optional<std::string>> files;
  std::deque<std::optional<std::string>> folders;

  Prompts() {
    manager::PromptHook hook;
    hook.message = [this](const std::string& text) { messages.push_back(text); };
    hook.question = [](const std::string&) { return true; };
    hook.open_file = [this](const std::string& filter) -> std::optional<std::string> {
      filters.push_back(filter);
      if (files.empty()) return std::nullopt;
      auto answer = files.front();
      files.pop_front();
      return answer;
    };
    hook.folder = [this](const std::string&) -> std::optional<std::string> {
      if (folders.empty()) return std::nullopt;
      auto answer = folders.front();
      folders.pop_front();
      return answer;
    };
    manager::set_prompt_hook(hook);
  }
  ~Prompts() { manager::set_prompt_hook({}); }
};

template <typename T>
T* child(QWidget* parent, const char* name) {
  T* found = parent->findChild<T*>(QString::fromUtf8(name));
  EXPECT_NE(found, nullptr) << "no control " << name;
  return found;
}

inline void click(QWidget* parent, const char* name) {
  QAbstractButton* b = child<QAbstractButton>(parent, name);
  if (b != nullptr) b->click();
}

using qt_test::on_next_modal;

inline std::string read_file(const std::string& path) {
  return platform::read_whole_file(path).value_or("<missing>");
}

inline void write_file(const std::string& path, const std::string& text) {
  ASSERT_TRUE(platform::write_file_atomically(path, text));
}

}  // namespace editors_test
