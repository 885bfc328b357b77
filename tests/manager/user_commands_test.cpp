// The commands on a user row (status, abort transfer, kick, refuse) against a scripted
// Core: a listener on the admin port that sends records and keeps the commands the
// Manager sends back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "manager/shell/log_view.h"
#include "manager/shell/program_paths.h"
#include "manager/shell/prompts.h"
#include "manager/shell/refuse_user_dialog.h"
#include "manager/shell/user_status_dialog.h"
#include "manager/shell/velmora_view.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "shared/admin_record.h"
#include "shared/ini.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::CVelmoraFTPdView;

using qt_test::on_next_modal;

class UserCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = harness::make_temp_dir("user-commands");
    platform::make_directory(dir_ + "user");
    admin_port_ = harness::free_port();
    const shared::IniFile ini(dir_ + "velmoraFTPd.ini");
    ini.set_int("System", "Port", harness::free_port());
    ini.set_int("System", "FtpdCoreListenPort", admin_port_);
    listener_ = platform::open_tcp_socket();
    ASSERT_TRUE(platform::bind_ipv4(listener_, {platform::kLoopbackAddress, admin_port_}, true));
    ASSERT_TRUE(platform::listen_socket(listener_, 1));
    manager::PromptHook hook;
    hook.message = [this](const std::string& text) { messages_.push_back(text); };
    hook.question = [this](const std::string& text) {
      questions_.push_back(text);
      return answer_;
    };
    manager::set_prompt_hook(hook);
    view_ = std::make_unique<CVelmoraFTPdView>(manager::derive_program_paths(dir_));
    view_->initial_update(&log_);
    ASSERT_TRUE(view_->toggle_connection(true));
    core_ = platform::accept_connection(listener_, nullptr);
    ASSERT_NE(core_, platform::kNoSocket);
  }

  void TearDown() override {
    manager::set_prompt_hook({});
    view_.reset();
    platform::close_socket(core_);
    platform::close_socket(listener_);
  }

  void send(const shared::AdminEvent& event) {
    const auto bytes = shared::encode_event(event);
    ASSERT_EQ(platform::send_all(core_, bytes.data(), bytes.size()), bytes.size());
  }

  // A logged-in session 0x10 of alice from 10.0.0.5, shown and selected.
  void show_alice(uint32_t transferring = 0) {
    for (uint32_t type : {0u, 1u, transferring ? 4u : 25u}) {
      shared::AdminEvent e;
      e.session_id = 0x10;
      e.type = type;
      e.snapshot.session_id = 0x10;
      e.snapshot.user_name = "alice";
      e.snapshot.host_text = "10.0.0.5";
      e.snapshot.transferring = transferring;
      send(e);
    }
    ASSERT_TRUE(qt_test::wait_until([&] {
      const auto* snap = view_->monitor().snapshot(0x10);
      return snap && snap->transferring == transferring && view_->topLevelItemCount() == 1;
    }));
    view_->topLevelItem(0)->setSelected(true);
  }

  // The next command the Manager sent, or none within wait_ms.
  std::optional<shared::AdminCommand> command(int wait_ms = 3000) {
    shared::AdminCommandBytes bytes{};
    size_t have = 0;
    while (have < bytes.size()) {
      const long n = platform::recv_some_timeout(core_, bytes.data() + have, bytes.size() - have,
                                                 harness::scaled_ms(wait_ms));
      if (n <= 0) return std::nullopt;
      have += static_cast<size_t>(n);
    }
    return shared::decode_command(bytes);
  }

  // Answers the next modal refusal dialog with the given boxes.
  void answer_refuse_dialog(bool disable, bool address, bool kick) {
    on_next_modal([=](QWidget* modal) {
      auto* dialog = qobject_cast<manager::CRefuseUserDlg*>(modal);
      if (!dialog) return;
      dialog->findChild<QCheckBox*>("disableAccount")->setChecked(disable);
      dialog->findChild<QCheckBox*>("refuseAddress")->setChecked(address);
      dialog->findChild<QCheckBox*>("kickUser")->setChecked(kick);
      dialog->findChild<QPushButton*>("ok")->click();
    });
  }

  std::string dir_;
  uint16_t admin_port_ = 0;
  platform::Socket listener_ = platform::kNoSocket;
  platform::Socket core_ = platform::kNoSocket;
  manager::CLogView log_;
  std::unique_ptr<CVelmoraFTPdView> view_;
  std::vector<std::string> messages_, questions_;
  bool answer_ = true;
};

TEST_F(UserCommands, KickAsksAndSendsTheSessionId) {
  show_alice();
  view_->kick_action()->trigger();
  ASSERT_EQ(questions_, std::vector<std::string>{"このユーザーを切断します。本当によろしいですか？"});
  const auto sent = command();
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->command, 1);
  EXPECT_EQ(sent->session_id, 0x10u);
}

TEST_F(UserCommands, KickAnsweredNoSendsNothing) {
  show_alice();
  answer_ = false;
  view_->kick_action()->trigger();
  EXPECT_EQ(questions_.size(), 1u);
  EXPECT_FALSE(command(300));
}

TEST_F(UserCommands, AbortOnAUserWhoIsNotTransferringOnlyTellsSo) {
  show_alice(0);
  view_->abort_action()->trigger();
  EXPECT_EQ(messages_, std::vector<std::string>{"データ転送中ではありません。"});
  EXPECT_TRUE(questions_.empty());
  EXPECT_FALSE(command(300));
}

TEST_F(UserCommands, AbortOfARunningTransferAsksAndSends) {
  show_alice(1);
  view_->abort_action()->trigger();
  ASSERT_EQ(questions_, std::vector<std::string>{"データ転送を中断させます。本当によろしいですか？"});
  const auto sent = command();
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->command, 2);
  EXPECT_EQ(sent->session_id, 0x10u);
}

TEST_F(UserCommands, CommandsWithoutASelectedRowDoNothing) {
  show_alice(1);
  view_->topLevelItem(0)->setSelected(false);
  view_->kick_action()->trigger();
  view_->abort_action()->trigger();
  view_->refuse_action()->trigger();
  view_->status_action()->trigger();
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(messages_.empty());
  EXPECT_FALSE(command(300));
}

TEST_F(UserCommands, RefusingOnlyTheAddressAddsTheHostAndNothingElse) {
  const std::string account = "[UserInfo]\r\nPassWord=alice\r\n";
  platform::write_file_atomically(dir_ + "user/alice.usr", account);
  show_alice();
  answer_refuse_dialog(false, true, false);
  view_->refuse_action()->trigger();
  const std::string refused = platform::read_whole_file(dir_ + "RefuseIP.txt").value_or("");
  EXPECT_NE(refused.find("10.0.0.5"), std::string::npos) << refused;
  EXPECT_EQ(platform::read_whole_file(dir_ + "user/alice.usr").value_or(""), account);
  EXPECT_TRUE(questions_.empty());
  EXPECT_FALSE(command(300));
}

TEST_F(UserCommands, RefusingEverythingDisablesRefusesAndKicks) {
  platform::write_file_atomically(dir_ + "user/alice.usr", "[UserInfo]\r\nPassWord=alice\r\n");
  show_alice();
  answer_refuse_dialog(true, true, true);
  view_->refuse_action()->trigger();
  EXPECT_EQ(shared::IniFile(dir_ + "user/alice.usr").get_int("UserInfo", "RefuseUser", 0), 1);
  const std::string refused = platform::read_whole_file(dir_ + "RefuseIP.txt").value_or("");
  EXPECT_NE(refused.find("10.0.0.5"), std::string::npos) << refused;
  ASSERT_EQ(questions_, std::vector<std::string>{"このユーザーを切断します。本当によろしいですか？"});
  const auto sent = command();
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->command, 1);
  EXPECT_EQ(sent->session_id, 0x10u);
}

TEST_F(UserCommands, CancelledRefusalChangesNothing) {
  show_alice();
  on_next_modal([](QWidget* modal) {
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  });
  view_->refuse_action()->trigger();
  EXPECT_FALSE(platform::path_exists(dir_ + "RefuseIP.txt"));
  EXPECT_FALSE(command(300));
}

TEST_F(UserCommands, StatusOpensTheUsersDialog) {
  platform::write_file_atomically(dir_ + "user/alice.usr", "[UserInfo]\r\nName=Alice Liddell\r\n");
  show_alice();
  std::string shown;
  on_next_modal([&](QWidget* modal) {
    auto* dialog = qobject_cast<manager::CUserStatusDlg*>(modal);
    if (!dialog) return;
    shown = dialog->findChild<QLineEdit*>("c1000")->text().toStdString();
    dialog->accept();
  });
  view_->status_action()->trigger();
  EXPECT_EQ(shown, "Alice Liddell");
}

TEST_F(UserCommands, RecordsArriveInOrderFromTheChannel) {
  for (uint32_t id = 1; id <= 20; ++id) {
    shared::AdminEvent e;
    e.session_id = id;
    e.type = 0;
    e.snapshot.session_id = id;
    e.snapshot.user_name = "u" + std::to_string(id);
    send(e);
  }
  ASSERT_TRUE(qt_test::wait_until([&] { return view_->topLevelItemCount() == 20; }));
  for (int row = 0; row < 20; ++row) {
    EXPECT_EQ(view_->topLevelItem(row)->text(7).toStdString(), manager::session_id_text(row + 1));
  }
}

}  // namespace
