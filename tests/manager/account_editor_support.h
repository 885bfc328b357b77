// Helpers of the account editor tests: the operator's answers to message boxes and
// choosers, dialogs driven from inside their own modal loop, and file reads.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manager/shell/prompts.h"
#include "platform/profile.h"
#include "shared/ini.h"
#include "tests/support/harness.h"

namespace account_test {

// Records every message and question; questions are answered from a queue (Yes when it
// is empty), folder choosers from another (cancelled when it is empty).
class Operator {
 public:
  Operator() {
    manager::PromptHook hook;
    hook.message = [this](const std::string& text) { messages.push_back(text); };
    hook.question = [this](const std::string& text) {
      questions.push_back(text);
      if (answers.empty()) return true;
      const bool answer = answers.front();
      answers.pop_front();
      return answer;
    };
    hook.folder = [this](const std::string& start) -> std::optional<std::string> {
      folder_starts.push_back(start);
      if (folders.empty()) return std::nullopt;
      std::optional<std::string> folder = folders.front();
      folders.pop_front();
      return folder;
    };
    manager::set_prompt_hook(hook);
  }
  ~Operator() { manager::set_prompt_hook({}); }
  Operator(const Operator&) = delete;
  Operator& operator=(const Operator&) = delete;

  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> folders;
  std::vector<std::string> folder_starts;
};

// Runs action on the first modal dialog of type T that opens within the time limit,
// from inside that dialog's event loop. Returns a flag that tells whether it ran.
template <class T>
std::shared_ptr<bool> when_modal(std::function<void(T*)> action, int timeout_ms = 5000) {
  auto ran = std::make_shared<bool>(false);
  auto* timer = new QTimer;
  auto waited = std::make_shared<int>(0);
  const int limit = harness::scaled_ms(timeout_ms);
  QObject::connect(timer, &QTimer::timeout, [timer, action, ran, waited, limit] {
    *waited += 10;
    T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog && *waited < limit) return;
    timer->stop();
    timer->deleteLater();
    if (!dialog) return;
    *ran = true;
    action(dialog);
  });
  timer->start(10);
  return ran;
}

template <class W>
W* child(QWidget* parent, const char* name) {
  W* found = parent->findChild<W*>(QString::fromUtf8(name));
  EXPECT_NE(found, nullptr) << "no control " << name;
  return found;
}

inline std::string key(const std::string& file, const std::string& name,
                       const std::string& section = "UserInfo") {
  return shared::IniFile(file).get(section, name, "<missing>");
}

inline bool has_key(const std::string& file, const std::string& name) {
  return shared::IniFile(file).has("UserInfo", name);
}

inline std::vector<std::string> keys(const std::string& file) {
  return platform::profile_key_names(file, "UserInfo");
}

}  // namespace account_test
