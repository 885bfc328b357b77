// The dial-up keeper against a scripted dial-up service: entries and stored credentials,
// dial progress, errors and redials, hang-ups, settings, and the keep-alive step.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

#include "manager/shell/prompts.h"
#include "manager/shell/ras.h"
#include "manager/shell/ras_dialog.h"
#include "manager/shell/ras_nmcli.h"
#include "shared/ini.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::CRasDialog;

// What the scripted service knows and records; the test keeps it after the service
// itself is handed over.
struct FakeState {
  bool available = true;
  std::string reason;
  std::optional<std::vector<std::string>> entries = std::vector<std::string>{};
  std::map<std::string, manager::RasCredentials> credentials;
  std::optional<int> connections = 0;
  bool refuse = false;
  // Reported (from the event loop) after every accepted dial, in order.
  std::vector<std::pair<uint32_t, uint32_t>> script;

  std::vector<manager::RasDialParams> dials;
  std::map<manager::RasHandle, manager::RasProgress> live;
  std::vector<manager::RasHandle> hung_up;
  manager::RasHandle next_handle = 100;

  // Reports progress of the newest dial that was not hung up.
  void report(uint32_t state, uint32_t error) {
    if (!live.empty()) live.rbegin()->second(state, error);
  }
};

class FakeRas : public manager::RasService {
 public:
  explicit FakeRas(std::shared_ptr<FakeState> state) : state_(std::move(state)) {}
  bool available() const override { return state_->available; }
  std::optional<std::vector<std::string>> entries() override { return state_->entries; }
  std::optional<manager::RasCredentials> credentials(const std::string& entry) override {
    auto found = state_->credentials.find(entry);
    if (found == state_->credentials.end()) return std::nullopt;
    return found->second;
  }
  manager::RasDialStart dial(const manager::RasDialParams& params,
                             manager::RasProgress progress) override {
    state_->dials.push_back(params);
    const manager::RasHandle handle = ++state_->next_handle;
    if (state_->refuse) return {false, handle};
    state_->live[handle] = std::move(progress);
    if (!state_->script.empty()) {
      std::weak_ptr<FakeState> weak = state_;
      QTimer::singleShot(0, [weak, handle] {
        auto state = weak.lock();
        if (!state) return;
        for (auto [code, error] : state->script) {
          auto live = state->live.find(handle);
          if (live != state->live.end()) live->second(code, error);
        }
      });
    }
    return {true, handle};
  }
  void hang_up(manager::RasHandle handle) override {
    state_->hung_up.push_back(handle);
    state_->live.erase(handle);
  }
  std::optional<int> connection_count() override { return state_->connections; }
  std::string unavailable_reason() const override { return state_->reason; }

 private:
  std::shared_ptr<FakeState> state_;
};

template <typename T>
T* child(QWidget& parent, const char* name) {
  T* found = parent.findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

std::vector<std::string> lines_of(QListWidget* list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
  return lines;
}

std::string text_of(QWidget& dialog, const char* name) {
  if (auto* edit = dialog.findChild<QLineEdit*>(name)) return edit->text().toStdString();
  if (auto* button = dialog.findChild<QPushButton*>(name)) return button->text().toStdString();
  ADD_FAILURE() << name;
  return {};
}

class RasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager::set_ras_service(std::make_unique<FakeRas>(fake));
    manager::set_ras_timing({3600000, 0});  // the tests run the timer slot themselves
    manager::reset_ras_keep_alive();
    manager::PromptHook hook;
    hook.message = [this](const std::string& text) { messages.push_back(text); };
    manager::set_prompt_hook(hook);
  }
  void TearDown() override {
    manager::set_ras_service(nullptr);
    manager::set_ras_timing({});
    manager::reset_ras_keep_alive();
    manager::set_prompt_hook({});
  }

  // Entries "work", "Home", "alpha" (listed as alpha, Home, work) with credentials.
  void three_entries() {
    fake->entries = std::vector<std::string>{"work", "Home", "alpha"};
    fake->credentials["alpha"] = {"a-user", "a-pass"};
    fake->credentials["Home"] = {"h-user", "h-pass"};
    fake->credentials["work"] = {"w-user", "w-pass"};
  }
  void settings(int list_no, int redial, int wait) {
    ini.set_int("VelmoraRasControl", "ListNo", list_no);
    ini.set_int("VelmoraRasControl", "Redial", redial);
    ini.set_int("VelmoraRasControl", "WaitTime", wait);
  }
  // A dialog in dialling mode that has started its first dial.
  std::unique_ptr<CRasDialog> dialling_dialog() {
    auto dialog = std::make_unique<CRasDialog>(nullptr, ini.path(), true);
    QObject::connect(dialog.get(), &QDialog::finished, [this](int result) { closed_with = result; });
    dialog->start();
    return dialog;
  }
  void pump() { qt_test::pump_events(30); }

  std::shared_ptr<FakeState> fake = std::make_shared<FakeState>();
  shared::IniFile ini{harness::make_temp_dir("ras") + "velmoraFTPd.ini"};
  std::vector<std::string> messages;
  std::optional<int> closed_with;  // the result a dialling dialog closed with
};

TEST_F(RasTest, SettingsModeListsEntriesByNameAndShowsTheStoredOnesCredentials) {
  three_entries();
  settings(1, 3, 20);
  CRasDialog dialog(nullptr, ini.path(), false);
  QListWidget* entries = child<QListWidget>(dialog, "c1050");
  EXPECT_EQ(lines_of(entries), (std::vector<std::string>{"alpha", "Home", "work"}));
  EXPECT_EQ(entries->currentRow(), 1);
  EXPECT_EQ(text_of(dialog, "c1051"), "h-user");
  EXPECT_EQ(text_of(dialog, "c1052"), "h-pass");
  EXPECT_EQ(text_of(dialog, "c1000"), "3");
  EXPECT_EQ(text_of(dialog, "c1001"), "20");
  EXPECT_EQ(text_of(dialog, "ok"), "設定更新");
  EXPECT_EQ(child<QLineEdit>(dialog, "c1052")->echoMode(), QLineEdit::Password);

  entries->setCurrentRow(2);
  EXPECT_EQ(text_of(dialog, "c1051"), "w-user");
  EXPECT_EQ(text_of(dialog, "c1052"), "w-pass");
  child<QLineEdit>(dialog, "c1000")->setText("5");
  child<QLineEdit>(dialog, "c1001")->setText("30");
  child<QPushButton>(dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(ini.get_int("VelmoraRasControl", "ListNo", -9), 2);
  EXPECT_EQ(ini.get_int("VelmoraRasControl", "Redial", -9), 5);
  EXPECT_EQ(ini.get_int("VelmoraRasControl", "WaitTime", -9), 30);
  EXPECT_TRUE(fake->dials.empty());
}

TEST_F(RasTest, SettingsModeWithNoEntrySelectedClosesWithoutWriting) {
  three_entries();
  CRasDialog dialog(nullptr, ini.path(), false);
  EXPECT_EQ(child<QListWidget>(dialog, "c1050")->currentRow(), -1);
  EXPECT_EQ(text_of(dialog, "c1000"), "0");   // Redial default
  EXPECT_EQ(text_of(dialog, "c1001"), "10");  // WaitTime default
  EXPECT_EQ(text_of(dialog, "c1051"), "");
  child<QPushButton>(dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(ini.has("VelmoraRasControl", "ListNo"));
  EXPECT_FALSE(ini.has("VelmoraRasControl", "Redial"));
}

TEST_F(RasTest, AStoredIndexBeyondTheListSelectsNothing) {
  three_entries();
  settings(7, 1, 1);
  CRasDialog dialog(nullptr, ini.path(), false);
  EXPECT_EQ(child<QListWidget>(dialog, "c1050")->currentRow(), -1);
}

TEST_F(RasTest, NoEntriesAsksForOneAndDiallingGivesUp) {
  auto dialog = dialling_dialog();
  QListWidget* entries = child<QListWidget>(*dialog, "c1050");
  EXPECT_EQ(lines_of(entries),
            std::vector<std::string>{"ダイヤルアップのエントリを作成してください。"});
  EXPECT_FALSE(entries->isEnabled());
  EXPECT_EQ(closed_with, QDialog::Rejected);
  EXPECT_TRUE(fake->dials.empty());
}

TEST_F(RasTest, AFailedEntryListingShowsNoEntryAndCannotConnect) {
  fake->entries = std::nullopt;
  CRasDialog dialog(nullptr, ini.path(), false);
  QListWidget* entries = child<QListWidget>(dialog, "c1050");
  EXPECT_EQ(lines_of(entries), std::vector<std::string>{"エントリ無し"});
  EXPECT_FALSE(entries->isEnabled());
  EXPECT_EQ(text_of(dialog, "ok"), "接続不可");
  entries->setCurrentRow(0);
  child<QPushButton>(dialog, "ok")->click();
  EXPECT_FALSE(ini.has("VelmoraRasControl", "ListNo"));
}

TEST_F(RasTest, WithoutADialUpServiceTheDialogSaysWhyAndOnlyCloses) {
  fake->available = false;
  fake->reason = "no dial-up here";
  three_entries();
  settings(0, 1, 1);
  CRasDialog dialog(nullptr, ini.path(), true);
  dialog.start();
  EXPECT_EQ(lines_of(child<QListWidget>(dialog, "c1050")), std::vector<std::string>{"no dial-up here"});
  EXPECT_FALSE(child<QListWidget>(dialog, "c1050")->isEnabled());
  EXPECT_EQ(text_of(dialog, "c1000"), "");
  EXPECT_FALSE(child<QPushButton>(dialog, "c1003")->isEnabled());
  EXPECT_EQ(text_of(dialog, "ok"), "閉じる");
  EXPECT_TRUE(fake->dials.empty());
}

TEST_F(RasTest, ADialShowsEachStageNewestFirstAndClosesWhenConnected) {
  three_entries();
  settings(0, 0, 10);
  auto dialog = dialling_dialog();
  EXPECT_FALSE(child<QPushButton>(*dialog, "c1003")->isEnabled());
  ASSERT_EQ(fake->dials.size(), 1u);
  EXPECT_EQ(fake->dials[0].entry, "alpha");
  EXPECT_EQ(fake->dials[0].user_name, "a-user");
  EXPECT_EQ(fake->dials[0].password, "a-pass");
  EXPECT_EQ(text_of(*dialog, "ok"), "接続中断");
  QListWidget* progress = child<QListWidget>(*dialog, "c1053");
  EXPECT_EQ(lines_of(progress), std::vector<std::string>{"接続開始"});
  EXPECT_FALSE(child<QListWidget>(*dialog, "c1050")->isEnabled());

  fake->report(manager::kRasConnectDevice, 0);
  fake->report(manager::kRasAuthenticate, 0);
  fake->report(7, 0);  // a state without a line
  fake->report(manager::kRasAuthenticated, 0);
  pump();
  EXPECT_EQ(lines_of(progress), (std::vector<std::string>{"認証されました", "ユーザー認証中",
                                                          "ダイヤル中", "接続開始"}));
  EXPECT_FALSE(closed_with);
  fake->report(manager::kRasConnected, 0);
  pump();
  EXPECT_EQ(closed_with, QDialog::Accepted);
  EXPECT_EQ(lines_of(progress).front(), "接続されました");
  EXPECT_EQ(text_of(*dialog, "ok"), "切断");
  dialog.reset();
  EXPECT_TRUE(fake->hung_up.empty());  // the connection stays up
}

TEST_F(RasTest, EveryAttemptFailingRedialsAfterTheWaitThenGivesUp) {
  three_entries();
  settings(2, 2, 10);
  auto dialog = dialling_dialog();
  std::vector<int> attempt_ticks;
  int tick = 0;
  while (!closed_with && tick < 100) {
    if (fake->dials.size() > attempt_ticks.size()) {
      attempt_ticks.push_back(tick);
      fake->report(manager::kRasConnectDevice, 678);  // the line is busy
      pump();
      EXPECT_TRUE(dialog->redial_pending());
    }
    dialog->on_timer();
    ++tick;
  }
  EXPECT_EQ(attempt_ticks, (std::vector<int>{0, 11, 22}));
  EXPECT_EQ(tick, 33);
  EXPECT_EQ(closed_with, QDialog::Rejected);
  EXPECT_EQ(fake->dials.size(), 3u);
  EXPECT_EQ(fake->hung_up.size(), 3u);
  EXPECT_EQ(text_of(*dialog, "c1000"), "0");
  EXPECT_EQ(lines_of(child<QListWidget>(*dialog, "c1053")), (std::vector<std::string>{"", "接続開始"}));
  for (const auto& dial : fake->dials) EXPECT_EQ(dial.entry, "work");
}

TEST_F(RasTest, TheTimerOnlyCountsWhileARedialIsPending) {
  three_entries();
  settings(0, 1, 1);
  auto dialog = dialling_dialog();
  dialog->on_timer();
  dialog->on_timer();
  EXPECT_EQ(dialog->seconds_waited(), 0);
  fake->report(manager::kRasAuthenticate, 691);
  pump();
  dialog->on_timer();
  EXPECT_EQ(dialog->seconds_waited(), 1);
  EXPECT_EQ(fake->dials.size(), 1u);
  dialog->on_timer();
  EXPECT_EQ(fake->dials.size(), 2u);
  EXPECT_FALSE(dialog->redial_pending());
  EXPECT_EQ(dialog->seconds_waited(), 0);
}

TEST_F(RasTest, AnErrorInTheDisconnectedStateGivesUpAtOnce) {
  three_entries();
  settings(0, 5, 1);
  auto dialog = dialling_dialog();
  fake->report(manager::kRasDisconnected, 629);
  pump();
  EXPECT_EQ(closed_with, QDialog::Rejected);
  EXPECT_FALSE(dialog->redial_pending());
  EXPECT_EQ(fake->hung_up.size(), 1u);
}

TEST_F(RasTest, AbortingAnAttemptHangsUpAndIgnoresItsLateReports) {
  three_entries();
  settings(0, 5, 1);
  auto dialog = dialling_dialog();
  fake->report(manager::kRasConnectDevice, 0);
  fake->report(manager::kRasAuthenticate, 691);  // queued, not yet delivered
  QPushButton* ok = child<QPushButton>(*dialog, "ok");
  ASSERT_EQ(ok->text().toStdString(), "接続中断");
  ok->click();
  EXPECT_EQ(fake->hung_up.size(), 1u);
  EXPECT_FALSE(dialog->attempt_in_progress());
  pump();
  EXPECT_FALSE(dialog->redial_pending());
  EXPECT_EQ(lines_of(child<QListWidget>(*dialog, "c1053")), std::vector<std::string>{"接続開始"});
  EXPECT_EQ(fake->hung_up.size(), 1u);
}

TEST_F(RasTest, CancelDuringAnAttemptHangsItUp) {
  three_entries();
  settings(0, 5, 1);
  auto dialog = dialling_dialog();
  dialog->show();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  EXPECT_FALSE(closed_with);
  QApplication::sendEvent(dialog.get(), &escape);
  EXPECT_EQ(closed_with, QDialog::Rejected);
  EXPECT_EQ(fake->hung_up.size(), 1u);
  EXPECT_FALSE(dialog->attempt_in_progress());
}

TEST_F(RasTest, ARefusedStartHangsUpTheHandleAndWaitsToRedial) {
  three_entries();
  settings(0, 1, 0);
  fake->refuse = true;
  auto dialog = dialling_dialog();
  ASSERT_EQ(fake->dials.size(), 1u);
  EXPECT_EQ(fake->hung_up, std::vector<manager::RasHandle>{101});
  EXPECT_EQ(text_of(*dialog, "ok"), "接続開始");
  EXPECT_FALSE(dialog->attempt_in_progress());
  pump();  // the pause after a refusal
  EXPECT_TRUE(dialog->redial_pending());
  fake->refuse = false;
  dialog->on_timer();
  EXPECT_EQ(fake->dials.size(), 2u);
  EXPECT_TRUE(dialog->attempt_in_progress());
  EXPECT_EQ(text_of(*dialog, "c1000"), "0");
}

TEST_F(RasTest, ConnectButtonRefusesWhileConnectedAndOtherwiseDials) {
  three_entries();
  settings(1, 0, 10);
  CRasDialog dialog(nullptr, ini.path(), false);
  QPushButton* connect = child<QPushButton>(dialog, "c1003");
  EXPECT_EQ(connect->text().toStdString(), "接続");
  fake->connections = 1;
  connect->click();
  EXPECT_EQ(messages, std::vector<std::string>{"すでに接続されています。"});
  EXPECT_TRUE(fake->dials.empty());
  EXPECT_TRUE(connect->isEnabled());
  fake->connections = 0;
  connect->click();
  EXPECT_TRUE(dialog.dialling());
  EXPECT_FALSE(connect->isEnabled());
  ASSERT_EQ(fake->dials.size(), 1u);
  EXPECT_EQ(fake->dials[0].entry, "Home");
  EXPECT_EQ(text_of(dialog, "ok"), "接続中断");
}

TEST_F(RasTest, TheConnectedTestCountsOpenConnections) {
  fake->connections = std::nullopt;
  EXPECT_FALSE(manager::ras_connected());
  fake->connections = 0;
  EXPECT_FALSE(manager::ras_connected());
  fake->connections = 1;
  EXPECT_TRUE(manager::ras_connected());
  fake->connections = 2;  // two links up are still connected
  EXPECT_TRUE(manager::ras_connected());
}

// Closes a modal dialog the keep-alive opened (a keep-alive that should not open one
// would otherwise block the test), recording that it did.
struct ModalWatch {
  explicit ModalWatch(int after_ms) {
    QTimer::singleShot(harness::scaled_ms(after_ms), &context, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        closed = true;
        static_cast<QDialog*>(modal)->reject();
      }
    });
  }
  QObject context;  // the check goes with the watch
  bool closed = false;
};

TEST_F(RasTest, KeepAliveDialsOnceWhenTheLinkIsDownAndRestsWhileItIsUp) {
  three_entries();
  settings(0, 0, 10);
  fake->script = {{manager::kRasConnectDevice, 0}, {manager::kRasConnected, 0}};
  manager::ras_keep_alive_step(nullptr, ini.path());
  ASSERT_EQ(fake->dials.size(), 1u);
  EXPECT_FALSE(manager::ras_auto_dial_flag());
  fake->connections = 1;
  manager::ras_keep_alive_step(nullptr, ini.path());
  EXPECT_EQ(fake->dials.size(), 1u);
}

TEST_F(RasTest, KeepAliveStopsForTheRunAfterItsDialogGaveUp) {
  manager::set_ras_timing({10, 0});
  three_entries();
  settings(0, 1, 0);
  fake->script = {{manager::kRasConnectDevice, 678}};
  ModalWatch watch(20000);  // a safety net only
  manager::ras_keep_alive_step(nullptr, ini.path());
  EXPECT_FALSE(watch.closed);
  EXPECT_EQ(fake->dials.size(), 2u);  // the attempt and one redial
  EXPECT_TRUE(manager::ras_auto_dial_flag());
  manager::ras_keep_alive_step(nullptr, ini.path());
  manager::ras_keep_alive_step(nullptr, ini.path());
  EXPECT_EQ(fake->dials.size(), 2u);
}

TEST_F(RasTest, KeepAliveWithoutADialUpServiceOpensNoDialogAndStops) {
  fake->available = false;
  ModalWatch watch(300);
  manager::ras_keep_alive_step(nullptr, ini.path());
  EXPECT_TRUE(manager::ras_auto_dial_flag());
  qt_test::pump_events(harness::scaled_ms(400));
  EXPECT_FALSE(watch.closed);
  manager::ras_keep_alive_step(nullptr, ini.path());
  EXPECT_TRUE(fake->dials.empty());
}

// NetworkManager through a stand-in nmcli: a script that answers from files and records
// its calls.
class NmcliTest : public ::testing::Test {
 protected:
  NmcliTest() {
    std::ofstream(dir_ + "nmcli")
        << "#!/bin/sh\n"
           "dir=$(dirname \"$0\")\n"
           "echo \"$*\" >> \"$dir/calls\"\n"
           "case \"$*\" in\n"
           "  '-t -f RUNNING general') cat \"$dir/running\" ;;\n"
           "  '-t -f NAME,TYPE connection show') cat \"$dir/profiles\" ;;\n"
           "  '-t -f NAME,TYPE connection show --active') cat \"$dir/active\" ;;\n"
           "  'connection up id '*) name=${*#connection up id }\n"
           "    if [ -f \"$dir/fail\" ]; then echo 'Error: activation failed' >&2; exit 4; fi\n"
           "    echo \"$name:gsm\" >> \"$dir/active\" ;;\n"
           "  'connection down id '*) name=${*#connection down id }\n"
           "    grep -v \"^$name:\" \"$dir/active\" > \"$dir/next\"; mv \"$dir/next\" \"$dir/active\" ;;\n"
           "  *) exit 2 ;;\n"
           "esac\n";
    std::filesystem::permissions(dir_ + "nmcli", std::filesystem::perms::owner_all);
    write("running", "running\n");
    write("profiles", "lo:loopback\nmobile:gsm\noffice\\:vpn:vpn\nWired:802-3-ethernet\n");
    write("active", "lo:loopback\nWired:802-3-ethernet\n");
    manager::set_ras_timing({3600000, 0});
    manager::reset_ras_keep_alive();
  }
  ~NmcliTest() override {
    manager::set_ras_service(nullptr);
    manager::set_ras_timing({});
    manager::reset_ras_keep_alive();
  }
  void write(const std::string& name, const std::string& text) { std::ofstream(dir_ + name) << text; }
  std::vector<std::string> calls() {
    std::vector<std::string> lines;
    std::ifstream in(dir_ + "calls");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Installs the service over the script, as the Manager does at start.
  manager::RasService& service() {
    manager::set_ras_service(std::make_unique<manager::NmcliRas>(dir_ + "nmcli"));
    return manager::ras_service();
  }

  std::string dir_ = harness::make_temp_dir("nmcli");
  shared::IniFile ini{dir_ + "velmoraFTPd.ini"};
};

TEST_F(NmcliTest, ProfilesAreTheEntriesAndTheChosenOneIsDialledAndKeptUp) {
  manager::RasService& ras = service();
  ASSERT_TRUE(ras.available());
  EXPECT_EQ(ras.entries(), (std::vector<std::string>{"mobile", "office:vpn", "Wired"}));
  EXPECT_EQ(manager::split_terse_line("a\\:b:c\\\\d:"), (std::vector<std::string>{"a:b", "c\\d", ""}));
  EXPECT_EQ(ras.connection_count(), 1);  // the loopback is not a connection
  ini.set_int("VelmoraRasControl", "ListNo", 0);  // "mobile", first by name
  EXPECT_FALSE(manager::chosen_entry_connected(ini.path()));

  int result = -1;
  CRasDialog dialog(nullptr, ini.path(), true);
  QObject::connect(&dialog, &QDialog::finished, [&](int r) { result = r; });
  dialog.start();
  ASSERT_TRUE(qt_test::wait_until([&] { return result >= 0; })) << calls().size();
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(lines_of(child<QListWidget>(dialog, "c1053")),
            (std::vector<std::string>{"接続されました", "ダイヤル中", "接続開始"}));
  EXPECT_EQ(calls().back(), "connection up id mobile");
  EXPECT_TRUE(manager::chosen_entry_connected(ini.path()));
  EXPECT_EQ(ras.connection_count(), 2);
  // The keep-alive rests while the chosen connection is up.
  manager::ras_keep_alive_step(nullptr, ini.path());
  EXPECT_FALSE(manager::ras_auto_dial_flag());
}

TEST_F(NmcliTest, AFailedActivationIsADialErrorAndAHangUpBringsTheConnectionDown) {
  manager::RasService& ras = service();
  write("fail", "");
  std::vector<std::pair<uint32_t, uint32_t>> reports;
  std::mutex lock;
  const manager::RasDialStart start = ras.dial({"mobile", "", ""}, [&](uint32_t state, uint32_t error) {
    std::lock_guard<std::mutex> guard(lock);
    reports.emplace_back(state, error);
  });
  ASSERT_TRUE(start.accepted);
  ASSERT_TRUE(qt_test::wait_until([&] {
    std::lock_guard<std::mutex> guard(lock);
    return reports.size() == 2;
  }));
  EXPECT_EQ(reports[0], std::make_pair(manager::kRasConnectDevice, 0u));
  EXPECT_NE(reports[1].second, 0u);
  std::filesystem::remove(dir_ + "fail");
  std::atomic<bool> up{false};
  const manager::RasHandle wired = ras.dial({"mobile", "", ""}, [&](uint32_t state, uint32_t) {
    if (state == manager::kRasConnected) up = true;
  }).handle;
  ASSERT_TRUE(qt_test::wait_until([&] { return up.load(); }));
  EXPECT_EQ(ras.entry_connected("mobile"), true);
  ras.hang_up(wired);
  EXPECT_EQ(calls().back(), "connection down id mobile");
  EXPECT_EQ(ras.entry_connected("mobile"), false);
}

TEST_F(NmcliTest, WithoutNetworkManagerTheServiceIsUnavailableAndSaysWhy) {
  write("running", "asleep\n");
  EXPECT_FALSE(service().available());
  EXPECT_EQ(manager::ras_service().unavailable_reason(), "NetworkManager が動いていません。RASは使えません。");
  manager::set_ras_service(std::make_unique<manager::NmcliRas>(dir_ + "missing"));
  EXPECT_FALSE(manager::ras_service().available());
  EXPECT_EQ(manager::ras_service().unavailable_reason(),
            "NetworkManager (nmcli) が見つかりません。RASは使えません。");
  EXPECT_FALSE(manager::ras_service().entries());
  EXPECT_FALSE(manager::ras_connected());
}

}  // namespace
