// Helpers of the account editor tests: the operator's answers to message boxes and
// choosers, dialogs driven from inside their own modal loop, and file reads.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
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

// Watches for a modal dialog while it lives; ran tells whether the action ran.
struct ModalWatch {
  bool ran = false;
  QTimer timer;
  QElapsedTimer clock;
};

// Runs action on the first modal dialog of type T that opens within the time limit,
// from inside that dialog's event loop. The watch stops when the result is destroyed.
template <class T>
std::unique_ptr<ModalWatch> when_modal(std::function<void(T*)> action, int timeout_ms = 5000) {
  auto watch = std::make_unique<ModalWatch>();
  ModalWatch* w = watch.get();
  const int limit = harness::scaled_ms(timeout_ms);
  w->clock.start();
  QObject::connect(&w->timer, &QTimer::timeout, [w, action, limit] {
    T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) {
      if (w->clock.elapsed() > limit) w->timer.stop();
      return;
    }
    w->timer.stop();
    w->ran = true;
    action(dialog);
  });
  w->timer.start(10);
  return watch;
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
