// The main window: its menus and bars, the stored placement, splitter and column widths,
// fonts, the tray, and the whole Manager against a real quorsrv: starting or joining the
// Core, a login shown in the list, a kick from the context menu, and closing with
// CloseSrv stopping the Core.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QHeaderView>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "manager/editors/system_settings_dialog.h"
#include "manager/shell/core_control.h"
#include "manager/shell/help.h"
#include "manager/shell/ras.h"
#include "manager/shell/fonts.h"
#include "manager/shell/log_view.h"
#include "manager/shell/main_frame.h"
#include "manager/shell/monitor.h"
#include "manager/shell/program_paths.h"
#include "manager/shell/local_addresses.h"
#include "manager/shell/prompts.h"
#include "manager/shell/translations.h"
#include "manager/shell/user_status_dialog.h"
#include "manager/shell/velmora_view.h"
#include "platform/files.h"
#include "platform/process.h"
#include "shared/admin_record.h"
#include "shared/ini.h"
#include "shared/size_text.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::CMainFrame;

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = std::make_unique<harness::Site>("main-window");
    // The Core the Manager starts is a link to the built quorsrv; it finds its site
    // through the inherited VELMORAFTPD_HOME.
    platform::set_environment_variable("VELMORAFTPD_HOME", site_->root());
    std::filesystem::create_symlink(QUORSRV_PATH, site_->root() + "quorsrv");
    site_->add_user("alice");
    site_->add_user("bob");
    manager::PromptHook hook;
    hook.message = [this](const std::string& text) { messages_.push_back(text); };
    hook.question = [this](const std::string& text) {
      questions_.push_back(text);
      return answer_;
    };
    manager::set_prompt_hook(hook);
  }

  void TearDown() override {
    // A Core this Manager started is stopped, so no test leaves one behind.
    answer_ = true;
    manager::set_tray_available_hook({});
    if (frame_ && frame_->connected()) frame_->view()->toggle_connection(false);
    frame_.reset();
    manager::set_prompt_hook({});
    manager::set_font_chooser_hook({});
  }

  CMainFrame& frame() {
    if (!frame_) frame_ = std::make_unique<CMainFrame>(manager::derive_program_paths(site_->root()));
    return *frame_;
  }
  std::string ini_value(const std::string& section, const std::string& key) {
    return shared::IniFile(site_->config_file()).get(section, key, "<none>");
  }
  std::string log_text() { return frame().log_view()->text(); }
  // Notices on, with a template that publishes the address, uploaded as alice's
  // state.txt to the site's own Core.
  void publish_address_to_alice(const char* template_key) {
    site_->write_file("notice.txt", "ip=$IP_ADDR$\n");
    site_->set("AutoIP", "UseAutoIPMode", "1");
    site_->set("AutoIP", "QuorSrv", "127.0.0.1");
    site_->set("AutoIP", "Port", std::to_string(site_->ftp_port()));
    site_->set("AutoIP", "User", "alice");
    site_->set("AutoIP", "PassWord", "alice");
    site_->set("AutoIP", "UpFileName", "state.txt");
    site_->set("AutoIP", template_key, site_->path("notice.txt"));
  }
  int row_of(const std::string& user) {
    auto* view = frame().view();
    for (int i = 0; i < view->topLevelItemCount(); ++i) {
      if (view->topLevelItem(i)->text(0).toStdString() == user) return i;
    }
    return -1;
  }
  // The Core publishes a new channel a moment after the connect: events of sessions that
  // end before that are never seen. A session of its own shows when they will be.
  void wait_until_published() {
    harness::FtpClient probe;
    ASSERT_TRUE(probe.connect(site_->ftp_port()));
    ASSERT_TRUE(qt_test::wait_until([&] { return frame().view()->topLevelItemCount() > 0; }));
    probe.close();
    ASSERT_TRUE(qt_test::wait_until([&] { return frame().view()->topLevelItemCount() == 0; }));
  }
  // The Manager starts the Core (StartServer), user logs in on client and opens a
  // passive data connection for command; kNoSocket when any step failed (said in a
  // failure of its own).
  platform::Socket start_with_transfer(harness::FtpClient& client, const std::string& user,
                                       const std::string& command) {
    site_->set("System", "StartServer", "1");
    frame().start();
    EXPECT_TRUE(frame().connected()) << log_text();
    if (!frame().connected() || !client.connect(site_->ftp_port()) || !client.login(user, user)) {
      ADD_FAILURE() << user << " could not log in";
      return platform::kNoSocket;
    }
    std::string preliminary;
    platform::Socket data = client.passive_data(command, &preliminary);
    EXPECT_NE(data, platform::kNoSocket) << preliminary;
    return data;
  }
  bool core_serves() {
    harness::FtpClient probe;
    return probe.connect(site_->ftp_port()) && probe.reply(2000).rfind("220", 0) == 0;
  }

  std::unique_ptr<harness::Site> site_;
  std::unique_ptr<CMainFrame> frame_;
  std::vector<std::string> messages_, questions_;
  bool answer_ = true;
};

TEST_F(MainWindow, MenusToolbarStatusBarAndTrayCarryTheirTexts) {
  std::vector<std::string> popups;
  for (QAction* action : frame().menuBar()->actions()) popups.push_back(action->text().toStdString());
  EXPECT_EQ(popups, (std::vector<std::string>{"接続(&C)", "表示(&V)", "設定(&O)", "ﾍﾙﾌﾟ(&H)"}));
  const std::vector<std::pair<int, std::string>> items = {
      {32796, "接続/切断(&C)"},   {32801, "ユーザー検索(&U)"}, {32771, "ユーザーリスト(&U)"},
      {32772, "システム(&S)"},    {32773, "自動IP告知機能(&A)"}, {32800, "RAS(&R)"},
      {161, "ヘルプ(&H)"},        {57664, "velmoraFTPd のﾊﾞｰｼﾞｮﾝ情報(&A)..."}};
  for (const auto& [number, text] : items) {
    ASSERT_NE(frame().command(number), nullptr) << number;
    EXPECT_EQ(frame().command(number)->text().toStdString(), text);
  }
  EXPECT_EQ(frame().view()->user_font_action()->text().toStdString(), "ユーザー(&U)");
  EXPECT_EQ(frame().view()->message_font_action()->text().toStdString(), "メッセージ(&M)");
  auto* toolbar = frame().findChild<QToolBar*>("toolbar");
  ASSERT_NE(toolbar, nullptr);
  std::vector<std::string> buttons;
  for (QAction* action : toolbar->actions()) {
    buttons.push_back(action->isSeparator() ? "-" : action->objectName().toStdString());
  }
  EXPECT_EQ(buttons, (std::vector<std::string>{"c32796", "-", "c32771", "c32772", "-", "c57664"}));
  for (int i = 0; i < 4; ++i) EXPECT_NE(frame().status_pane(i), nullptr);
  EXPECT_EQ(frame().tray_icon()->toolTip().toStdString(), "VelmoraFtpd");
  EXPECT_EQ(frame().windowTitle().toStdString(), "velmoraFTPd");
  std::vector<std::string> context;
  for (QAction* a : {frame().view()->status_action(), frame().view()->abort_action(),
                     frame().view()->kick_action(), frame().view()->refuse_action()}) {
    context.push_back(a->text().toStdString());
  }
  EXPECT_EQ(context, (std::vector<std::string>{"ステータス表示(&S)", "転送接続を切断(&T)",
                                               "強制切断(&K)", "ユーザー拒否(&R)"}));
}

TEST_F(MainWindow, AStoredPlacementOnTheScreenIsUsed) {
  site_->set("Position", "x", "10");
  site_->set("Position", "y", "20");
  site_->set("Position", "width", "300");
  site_->set("Position", "height", "200");
  EXPECT_EQ(frame().geometry(), QRect(10, 20, 300, 200));
}

TEST_F(MainWindow, APlacementAsWideAsTheScreenIsIgnored) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  site_->set("Position", "x", "0");
  site_->set("Position", "y", "0");
  site_->set("Position", "width", std::to_string(screen.width()));
  site_->set("Position", "height", "200");
  EXPECT_NE(frame().geometry().width(), screen.width());
  EXPECT_FALSE(manager::placement_fits({0, 0, screen.width(), 200}, screen.width(), screen.height()));
  EXPECT_TRUE(manager::placement_fits({0, 0, screen.width() - 1, 200}, screen.width(), screen.height()));
  EXPECT_FALSE(manager::placement_fits({0, 10, 100, screen.height() - 10}, screen.width(), screen.height()));
}

TEST_F(MainWindow, AFirstStartIsCentredAndAPlacementOffEveryScreenIsMovedOntoOne) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  QRect expected(0, 0, 600, 460);
  expected.moveCenter(screen.center());
  EXPECT_EQ(frame().geometry(), expected);
  frame_.reset();
  std::filesystem::remove(site_->config_file());
  site_->set("Position", "x", std::to_string(screen.right() + 500));
  site_->set("Position", "y", "-2000");
  site_->set("Position", "width", "300");
  site_->set("Position", "height", "200");
  EXPECT_TRUE(screen.contains(frame().geometry())) << frame().geometry().x();
  EXPECT_EQ(frame().geometry().size(), QSize(300, 200));

  const QRect primary(0, 0, 1000, 800);
  const QList<QRect> two = {primary, QRect(1000, 0, 1000, 800)};
  auto centred = [&](int width, int height) {
    QRect r(0, 0, width, height);
    r.moveCenter(primary.center());
    return r;
  };
  // On the second screen: kept.
  EXPECT_EQ(manager::initial_frame({1200, 50, 400, 300, true}, two, primary), QRect(1200, 50, 400, 300));
  // Its title bar above every screen: centred on the primary one.
  EXPECT_EQ(manager::initial_frame({100, -200, 400, 300, true}, two, primary), centred(400, 300));
  // Nothing stored, or too large: the default size, centred.
  EXPECT_EQ(manager::initial_frame({}, two, primary), centred(600, 460));
  EXPECT_EQ(manager::initial_frame({0, 0, 1000, 300, true}, two, primary), centred(600, 460));
}

TEST_F(MainWindow, DefaultColumnsShowDirectionSizeHostAndIdInFull) {
  const QFontMetrics metrics(frame().view()->font());
  const std::vector<std::pair<int, QString>> widest = {
      {2, "DOWN_COMP"}, {3, "1023.9MB/1023.9MB"}, {5, "255.255.255.255"}, {7, "ffffffff"}};
  for (const auto& [column, text] : widest) {
    EXPECT_GE(frame().view()->header()->sectionSize(column), metrics.horizontalAdvance(text) + 8)
        << column;
  }
}

TEST_F(MainWindow, ClosingSavesPlacementAndSplitter) {
  site_->set("Position", "splitter11", "100");
  site_->set("Position", "splitter12", "300");
  frame().start();
  qt_test::pump_events(50);
  const QList<int> sizes = frame().splitter()->sizes();
  ASSERT_EQ(sizes.size(), 2);
  EXPECT_NEAR(sizes[1], 3 * sizes[0], 4);  // the stored heights, in proportion
  frame().setGeometry(15, 25, 410, 310);
  qt_test::pump_events(50);
  frame().splitter()->setSizes({60, 200});
  const QList<int> moved = frame().splitter()->sizes();
  // The whole frame is saved, and the next start shows the same frame.
  const QRect whole = frame().frameGeometry();
  EXPECT_TRUE(frame().close());
  EXPECT_EQ(ini_value("Position", "x"), std::to_string(whole.x()));
  EXPECT_EQ(ini_value("Position", "y"), std::to_string(whole.y()));
  EXPECT_EQ(ini_value("Position", "width"), std::to_string(whole.width()));
  EXPECT_EQ(ini_value("Position", "height"), std::to_string(whole.height()));
  EXPECT_EQ(ini_value("Position", "splitter11"), std::to_string(moved[0]));
  EXPECT_EQ(ini_value("Position", "splitter12"), std::to_string(moved[1]));
  frame_.reset();
  frame().show();
  qt_test::pump_events(50);
  EXPECT_EQ(frame().frameGeometry(), whole);
}

TEST_F(MainWindow, ColumnWidthsAreSavedExceptTheLastAndTooWideOnes) {
  site_->set("Size", "DownColumn0", "123");
  site_->set("Size", "DownColumn7", "61");
  QHeaderView* header = frame().view()->header();
  EXPECT_EQ(header->sectionSize(0), 123);
  EXPECT_EQ(header->sectionSize(6), 300);
  EXPECT_EQ(header->sectionSize(7), 61);
  header->resizeSection(0, 2000);
  header->resizeSection(1, 91);
  header->resizeSection(7, 70);
  frame_.reset();
  EXPECT_EQ(ini_value("Size", "DownColumn0"), "123");
  EXPECT_EQ(ini_value("Size", "DownColumn1"), "91");
  EXPECT_EQ(ini_value("Size", "DownColumn6"), "300");
  EXPECT_EQ(ini_value("Size", "DownColumn7"), "61");
}

TEST_F(MainWindow, FontsComeFromTheFileAndTheFontCommandWritesThem) {
  frame();
  EXPECT_EQ(frame().view()->font().family().toStdString(), "ＭＳ ゴシック");
  EXPECT_EQ(frame().view()->font().pixelSize(), 12);
  QFont chosen("DejaVu Sans");
  chosen.setPixelSize(15);
  chosen.setWeight(QFont::Bold);
  manager::set_font_chooser_hook([&](const QFont&) { return std::optional<QFont>(chosen); });
  frame().view()->user_font_action()->trigger();
  EXPECT_EQ(ini_value("UserFont", "lfHeight"), "-15");
  EXPECT_EQ(ini_value("UserFont", "lfWeight"), "700");
  EXPECT_EQ(ini_value("UserFont", "lfFaceName"), "DejaVu Sans");
  EXPECT_EQ(ini_value("UserFont", "lfCharSet"), "128");
  EXPECT_EQ(ini_value("MessageFont", "lfHeight"), "<none>");
  EXPECT_EQ(frame().view()->font().pixelSize(), 15);
  EXPECT_EQ(frame().log_view()->font().pixelSize(), 12);
  frame().view()->message_font_action()->trigger();
  EXPECT_EQ(ini_value("MessageFont", "lfHeight"), "-15");
  EXPECT_EQ(frame().log_view()->font().pixelSize(), 15);
}

TEST_F(MainWindow, CancellingTheFontChooserWritesNothing) {
  manager::set_font_chooser_hook([](const QFont&) { return std::optional<QFont>(); });
  frame().view()->user_font_action()->trigger();
  EXPECT_EQ(ini_value("UserFont", "lfHeight"), "<none>");
}

TEST_F(MainWindow, ByteSizedFontFieldsKeepOnlyTheirByte) {
  site_->set("UserFont", "lfItalic", "257");
  site_->set("UserFont", "lfCharSet", "-1");
  site_->set("UserFont", "lfFaceName", std::string(40, 'x'));
  const manager::LogFont font = manager::read_log_font(site_->config_file(), "UserFont");
  EXPECT_EQ(font.italic, 1);
  EXPECT_EQ(font.char_set, 255);
  EXPECT_EQ(font.face_name, std::string(31, 'x'));
  EXPECT_EQ(font.height, -12);
  ASSERT_TRUE(manager::write_log_font(site_->config_file(), "UserFont", font));
  EXPECT_EQ(ini_value("UserFont", "lfItalic"), "1");
  EXPECT_EQ(ini_value("UserFont", "lfCharSet"), "255");
  EXPECT_EQ(ini_value("UserFont", "lfQuality"), "1");
  EXPECT_EQ(ini_value("UserFont", "lfFaceName"), std::string(31, 'x'));
}

TEST_F(MainWindow, MinimisingHidesInTheTrayAndAClickBringsItBack) {
  manager::set_tray_available_hook([] { return true; });
  frame().start();
  ASSERT_TRUE(frame().isVisible());
  frame().showMinimized();
  ASSERT_TRUE(qt_test::wait_until([&] { return !frame().isVisible(); }));
  emit frame().tray_icon()->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(qt_test::wait_until([&] { return frame().isVisible(); }));
  EXPECT_FALSE(frame().isMinimized());
  // The tray's menu: show, connect/disconnect, exit; the icon is the application's.
  std::vector<std::string> items;
  for (QAction* action : frame().tray_menu()->actions()) items.push_back(action->text().toStdString());
  EXPECT_EQ(items, (std::vector<std::string>{"表示(&S)", "接続/切断(&C)", "", "終了(&X)"}));
  EXPECT_FALSE(frame().tray_icon()->icon().isNull());
  EXPECT_FALSE(frame().windowIcon().isNull());
  EXPECT_EQ(frame().windowIcon().pixmap(32).toImage(), manager::application_icon().pixmap(32).toImage());
}

TEST_F(MainWindow, MinRunStartsHiddenInTheTrayAndOneClickShowsIt) {
  manager::set_tray_available_hook([] { return true; });
  site_->set("System", "MinRun", "1");
  frame().start();
  EXPECT_FALSE(frame().isVisible());
  EXPECT_TRUE(frame().tray_icon()->isVisible());
  emit frame().tray_icon()->activated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(qt_test::wait_until([&] { return frame().isVisible(); }));
  EXPECT_FALSE(frame().isMinimized());
}

TEST_F(MainWindow, WithoutATrayMinimisingAndMinRunKeepAnOrdinaryMinimisedWindow) {
  manager::set_tray_available_hook([] { return false; });
  site_->set("System", "MinRun", "1");
  frame().start();
  ASSERT_TRUE(qt_test::wait_until([&] { return frame().isVisible(); }));
  EXPECT_TRUE(frame().isMinimized());
  EXPECT_FALSE(frame().tray_icon()->isVisible());
  frame().showNormal();
  frame().showMinimized();
  qt_test::pump_events(200);
  EXPECT_TRUE(frame().isVisible());
}

TEST_F(MainWindow, TheStatusPaneShowsTheTransferSummary) {
  shared::AdminEvent e;
  e.session_id = 3;
  e.type = shared::kEventProgress;
  e.snapshot.session_id = 3;
  e.snapshot.transferring = 1;
  e.snapshot.upload = 1;
  e.snapshot.transferred = 64;
  e.snapshot.transfer_start_tick = platform::tick_ms();
  const auto bytes = shared::encode_event(e);
  frame().view()->handle_record(QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  EXPECT_EQ(frame().status_pane(0)->text().toStdString(), "UP:1(512bps) DOWN:0(0bps)");
}

TEST_F(MainWindow, TheEndNoticeIsAnnouncedOnceWhenClosing) {
  site_->set("AutoIP", "UseAutoIPMode", "1");
  site_->set("AutoIP", "UploadChangeEnd", "1");
  site_->set("AutoIP", "QuorSrv", "127.0.0.1");
  site_->set("AutoIP", "Port", std::to_string(harness::free_port()));
  frame().start();
  EXPECT_TRUE(frame().view()->may_close());
  EXPECT_TRUE(frame().view()->may_close());
  const std::string text = log_text();
  const std::string line = "サーバー終了を自動通知します。";
  const size_t first = text.find(line);
  ASSERT_NE(first, std::string::npos) << text;
  EXPECT_EQ(text.find(line, first + 1), std::string::npos);
}

TEST_F(MainWindow, TheEndNoticePublishesTheChosenLocalAddress) {
  manager::set_local_address_source([] {
    return std::vector<std::string>{"192.0.2.7", "198.51.100.9"};
  });
  site_->set("System", "GlobalIP", "1");
  publish_address_to_alice("TempFile2");
  site_->set("AutoIP", "UploadChangeEnd", "1");
  harness::Server core(*site_);
  frame().start();
  manager::lookup_local_addresses();
  EXPECT_TRUE(frame().view()->may_close());
  manager::set_local_address_source({});
  ASSERT_TRUE(site_->exists("home/state.txt")) << log_text();
  EXPECT_NE(site_->read_file("home/state.txt").find("ip=198.51.100.9"), std::string::npos)
      << site_->read_file("home/state.txt");
}

TEST_F(MainWindow, AChangedLocalAddressIsPublishedWhenUploadChangeIpIsSet) {
  // Shared with a background lookup that may still run when the test ends.
  struct Addresses {
    std::mutex lock;
    std::vector<std::string> list{"192.0.2.7"};
  };
  auto host = std::make_shared<Addresses>();
  manager::set_local_address_source([host] {
    std::lock_guard<std::mutex> guard(host->lock);
    return host->list;
  });
  publish_address_to_alice("TempFile1");
  site_->set("AutoIP", "UploadChangeIP", "1");
  site_->set("AutoIP", "CheckTime", "0");
  harness::Server core(*site_);
  frame().start();
  manager::lookup_local_addresses();
  frame().view()->on_tick(platform::tick_ms());
  frame().view()->on_tick(platform::tick_ms());
  EXPECT_FALSE(site_->exists("home/state.txt"));  // the first address is no change
  {
    std::lock_guard<std::mutex> guard(host->lock);
    host->list = {"198.51.100.9"};
  }
  manager::lookup_local_addresses();
  frame().view()->on_tick(platform::tick_ms());
  EXPECT_NE(log_text().find("IPアドレスが変更されました。サーバ状態を通知します。"), std::string::npos);
  const bool uploaded = qt_test::wait_until([&] {
    return site_->exists("home/state.txt") &&
           site_->read_file("home/state.txt").find("ip=198.51.100.9") != std::string::npos;
  });
  frame().view()->notifier().shut_down();
  manager::set_local_address_source({});
  EXPECT_TRUE(uploaded) << log_text();
}

TEST_F(MainWindow, TheManagerStartsTheCoreShowsALoginKicksAndStopsItOnClose) {
  site_->set("System", "StartServer", "1");
  frame().start();
  ASSERT_TRUE(frame().connected()) << log_text();
  EXPECT_TRUE(frame().command(32796)->isChecked());
  EXPECT_NE(log_text().find("FTPサーバーを起動しています。"), std::string::npos) << log_text();
  wait_until_published();
  harness::FtpClient alice;
  ASSERT_TRUE(alice.connect(site_->ftp_port()));
  ASSERT_TRUE(alice.login("alice", "alice"));
  ASSERT_TRUE(qt_test::wait_until([&] {
    return log_text().find("alice(127.0.0.1) ログインしました。") != std::string::npos;
  })) << log_text();

  frame().view()->topLevelItem(row_of("alice"))->setSelected(true);
  frame().view()->kick_action()->trigger();
  ASSERT_EQ(questions_, std::vector<std::string>{"このユーザーを切断します。本当によろしいですか？"});
  EXPECT_TRUE(alice.wait_closed());
  ASSERT_TRUE(qt_test::wait_until([&] { return frame().view()->topLevelItemCount() == 0; }));

  harness::FtpClient bob;
  ASSERT_TRUE(bob.connect(site_->ftp_port()));
  ASSERT_TRUE(bob.login("bob", "bob"));
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("bob") >= 0; }));
  site_->set("System", "CloseSrv", "1");
  frame().view()->reload_system_settings();
  questions_.clear();
  EXPECT_TRUE(frame().close());
  EXPECT_EQ(questions_, std::vector<std::string>{"現在接続しているユーザーがいます。切断しますか？"});
  EXPECT_TRUE(bob.wait_closed());
  EXPECT_TRUE(qt_test::wait_until([&] { return !manager::core_is_running(site_->config_file()); }));
  EXPECT_FALSE(core_serves());
  frame_.reset();
}

TEST_F(MainWindow, ARunningCoreIsJoinedAtStartWithoutStartServer) {
  harness::Server server(*site_);
  harness::FtpClient alice;
  ASSERT_TRUE(alice.connect(site_->ftp_port()));
  ASSERT_TRUE(alice.login("alice", "alice"));
  frame().start();
  ASSERT_TRUE(frame().connected()) << log_text();
  EXPECT_NE(log_text().find("FTPサーバーは既に起動しています。"), std::string::npos) << log_text();
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") >= 0; })) << log_text();
  // Closing without CloseSrv leaves the Core serving.
  EXPECT_TRUE(frame().close());
  frame_.reset();
  EXPECT_TRUE(core_serves());
}

// An IPv6 client through the Manager: its row shows the address, the refuse action
// puts that address in the list the Core reads, and the status dialog finds its login.
TEST_F(MainWindow, AnIpv6SessionIsListedRefusedAndShownInItsStatus) {
  if (!platform::ipv6_available()) GTEST_SKIP() << "IPv6 is switched off in this kernel";
  harness::Server server(*site_);
  frame().start();
  ASSERT_TRUE(frame().connected()) << log_text();
  wait_until_published();
  harness::FtpClient alice;
  ASSERT_TRUE(alice.connect(site_->ftp_port(), "::1"));
  ASSERT_TRUE(alice.login("alice", "alice"));
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") >= 0; })) << log_text();
  EXPECT_EQ(frame().view()->topLevelItem(row_of("alice"))->text(manager::kColHost).toStdString(), "::1");
  EXPECT_TRUE(qt_test::wait_until([&] { return log_text().find("alice(::1) ログインしました。") != std::string::npos; }))
      << log_text();

  frame().view()->topLevelItem(row_of("alice"))->setSelected(true);
  qt_test::on_next_modal([](QWidget* modal) {
    modal->findChild<QCheckBox*>("disableAccount")->setChecked(false);
    modal->findChild<QCheckBox*>("kickUser")->setChecked(false);
    modal->findChild<QPushButton*>("ok")->click();
  });
  frame().view()->refuse_action()->trigger();
  EXPECT_EQ(site_->read_file("RefuseIP.txt"), "::1\r\n");
  harness::FtpClient refused;
  ASSERT_TRUE(refused.connect(site_->ftp_port(), "::1"));
  EXPECT_EQ(refused.reply().substr(0, 4), "421 ");
  EXPECT_EQ(alice.command("NOOP").substr(0, 3), "200");  // refused from now on, not kicked

  alice.command("QUIT");
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") < 0; })) << log_text();
  manager::CUserStatusDlg status(site_->path("user/alice"));
  EXPECT_EQ(status.findChild<QListWidget*>("c1049")->count(), 1);
  EXPECT_TRUE(frame().close());
  frame_.reset();
}

TEST_F(MainWindow, ClosingWithCloseSrvAnsweredNoKeepsTheManagerAndCore) {
  site_->set("System", "CloseSrv", "1");
  harness::Server server(*site_);
  harness::FtpClient alice;
  ASSERT_TRUE(alice.connect(site_->ftp_port()));
  ASSERT_TRUE(alice.login("alice", "alice"));
  frame().start();
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") >= 0; })) << log_text();
  answer_ = false;
  EXPECT_FALSE(frame().close());
  EXPECT_TRUE(frame().isVisible());
  EXPECT_EQ(questions_, std::vector<std::string>{"現在接続しているユーザーがいます。切断しますか？"});
  EXPECT_TRUE(core_serves());
  EXPECT_EQ(alice.command("NOOP").substr(0, 3), "200");
  frame_.reset();  // leaves the Core to the harness
}

TEST_F(MainWindow, MinRunWithStartServerStartsHiddenAndConnected) {
  manager::set_tray_available_hook([] { return true; });
  site_->set("System", "MinRun", "1");
  site_->set("System", "StartServer", "1");
  frame().start();
  EXPECT_FALSE(frame().isVisible());
  ASSERT_TRUE(frame().connected()) << log_text();
  EXPECT_TRUE(core_serves());
  frame().on_connect_command();  // no sessions: stops without a question
  EXPECT_FALSE(frame().connected());
  EXPECT_TRUE(questions_.empty());
  EXPECT_TRUE(qt_test::wait_until([&] { return !manager::core_is_running(site_->config_file()); }));
}

// The Core killed while a user downloads: the list empties at once, the loss is logged
// and the stopped state shown; started again from the toolbar, the new Core's sessions
// get rows of their own, and a kick reaches only the session of its row.
TEST_F(MainWindow, AKilledCoreClearsTheListAndAKickAfterTheRestartReachesOnlyItsSession) {
  site_->add_user("carol", {{"UpBps", "64"}});
  site_->write_file("home/big.bin", std::string(256 * 1024, 'x'));
  harness::FtpClient carol;
  platform::Socket data = start_with_transfer(carol, "carol", "RETR big.bin");
  ASSERT_NE(data, platform::kNoSocket);
  ASSERT_TRUE(qt_test::wait_until([&] {
    return frame().status_pane(0)->text().toStdString().find("DOWN:1") != std::string::npos;
  }));

  answer_ = false;  // no reconnection when asked
  platform::signal_process({frame().view()->channel().core_process_id()}, platform::kSignalKill);
  ASSERT_TRUE(qt_test::wait_until([&] { return !frame().connected(); }, 5000)) << log_text();
  platform::close_socket(data);
  EXPECT_EQ(frame().view()->topLevelItemCount(), 0);
  EXPECT_NE(log_text().find("FTPサーバーとの接続が切れました。"), std::string::npos);
  EXPECT_EQ(questions_, std::vector<std::string>{"FTPサーバーとの接続が切れました。再接続しますか？"});
  EXPECT_FALSE(frame().command(32796)->isChecked());
  EXPECT_EQ(frame().status_pane(1)->text().toStdString(), "停止中");
  EXPECT_EQ(frame().status_pane(0)->text().toStdString(), "UP:0(0bps) DOWN:0(0bps)");

  answer_ = true;
  frame().command(32796)->trigger();
  ASSERT_TRUE(frame().connected()) << log_text();
  EXPECT_EQ(frame().status_pane(1)->text().toStdString(), "接続中");
  wait_until_published();
  {
    harness::FtpClient alice;
    ASSERT_TRUE(alice.connect(site_->ftp_port()));
    ASSERT_TRUE(alice.login("alice", "alice"));
    ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") >= 0; }));
    alice.command("QUIT");
    ASSERT_TRUE(qt_test::wait_until([&] { return frame().view()->topLevelItemCount() == 0; }));
  }
  harness::FtpClient alice, bob;
  ASSERT_TRUE(alice.connect(site_->ftp_port()));
  ASSERT_TRUE(alice.login("alice", "alice"));
  ASSERT_TRUE(bob.connect(site_->ftp_port()));
  ASSERT_TRUE(bob.login("bob", "bob"));
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") >= 0 && row_of("bob") >= 0; }));
  EXPECT_EQ(frame().view()->topLevelItemCount(), 2);
  frame().view()->topLevelItem(row_of("bob"))->setSelected(true);
  frame().view()->kick_action()->trigger();
  EXPECT_TRUE(bob.wait_closed());
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("bob") < 0; }));
  EXPECT_EQ(alice.command("NOOP").substr(0, 3), "200");
  EXPECT_EQ(row_of("alice"), 0);
}

// A Core stopped by SIGSTOP does not end on the stop command: the window keeps answering
// while a progress dialog waits; past the limit the operator is asked whether to end the
// process. No keeps the Manager connected without a "stopped" line; Yes ends it.
TEST_F(MainWindow, AHungCoreIsStoppedOffTheWindowAndEndedOnlyWhenTheOperatorSaysSo) {
  site_->set("System", "StartServer", "1");
  frame().start();
  ASSERT_TRUE(frame().connected()) << log_text();
  manager::CoreTimeLimits limits;
  limits.stop_wait_ms = 1500;
  frame().view()->channel().set_time_limits(limits);
  const int pid = frame().view()->channel().core_process_id();
  platform::signal_process({pid}, 19);  // SIGSTOP
  bool ticked = false;
  QTimer::singleShot(300, frame().view(), [&] { ticked = true; });
  answer_ = false;
  frame().on_connect_command();
  EXPECT_TRUE(ticked);  // the event loop ran during the wait
  EXPECT_EQ(questions_, std::vector<std::string>{"FTPサーバーが応答しません。サーバーのプロセスを強制終了しますか？"});
  EXPECT_TRUE(frame().connected());
  EXPECT_EQ(log_text().find("FTPサーバーを停止しました。"), std::string::npos);
  EXPECT_NE(log_text().find("FTPサーバーの停止を確認できませんでした。"), std::string::npos);

  answer_ = true;
  frame().on_connect_command();
  EXPECT_FALSE(frame().connected());
  EXPECT_NE(log_text().find("FTPサーバーを停止しました。"), std::string::npos);
  EXPECT_FALSE(manager::core_is_running(site_->config_file()));
  EXPECT_EQ(frame().view()->channel().core_process_id(), -1);
}

// A Core that cannot open its FTP port says why; the status bar does not say "接続中".
TEST_F(MainWindow, ACoreWithoutItsFtpListenerShowsTheReason) {
  platform::Socket taken = platform::open_tcp_socket();
  ASSERT_TRUE(platform::bind_ipv4(taken, {platform::kAnyAddress, site_->ftp_port()}, true));
  ASSERT_TRUE(platform::listen_socket(taken, 1));
  site_->set("System", "StartServer", "1");
  frame().start();
  ASSERT_TRUE(frame().connected()) << log_text();
  const std::string reason = "FTPポート[" + std::to_string(site_->ftp_port()) + "]を開けません";
  ASSERT_TRUE(qt_test::wait_until([&] { return log_text().find(reason) != std::string::npos; }))
      << log_text();
  EXPECT_EQ(frame().status_pane(1)->text().toStdString(), "FTP受付不可");
  EXPECT_NE(frame().status_pane(1)->toolTip().toStdString().find(reason), std::string::npos);
  platform::close_socket(taken);
}

// Only a login the Core confirmed is logged; a Manager that joins a running Core shows its
// sessions without logging their past again.
TEST_F(MainWindow, RefusedPasswordsAreNotLoggedInAndAJoinDoesNotReplayTheLog) {
  harness::Server server(*site_);
  frame().start();
  ASSERT_TRUE(frame().connected()) << log_text();
  wait_until_published();
  harness::FtpClient alice;
  ASSERT_TRUE(alice.connect(site_->ftp_port()));
  ASSERT_TRUE(alice.login("alice", "alice"));
  ASSERT_TRUE(qt_test::wait_until([&] {
    return log_text().find("alice(127.0.0.1) ログインしました。") != std::string::npos;
  })) << log_text();
  harness::FtpClient bob;
  ASSERT_TRUE(bob.connect(site_->ftp_port()));
  EXPECT_EQ(bob.reply().substr(0, 3), "220");
  EXPECT_EQ(bob.command("USER bob").substr(0, 3), "331");
  EXPECT_EQ(bob.command("PASS wrong").substr(0, 3), "530");
  ASSERT_TRUE(qt_test::wait_until([&] {
    return log_text().find("bob(127.0.0.1) パスワードが違うため、拒否しました。") != std::string::npos;
  })) << log_text();
  EXPECT_EQ(log_text().find("bob(127.0.0.1) ログインしました。"), std::string::npos) << log_text();
  EXPECT_EQ(frame().view()->topLevelItem(row_of("alice"))->text(6).toStdString(), "ログインしました。");

  EXPECT_TRUE(frame().close());
  frame_.reset();
  frame().start();
  ASSERT_TRUE(qt_test::wait_until([&] { return row_of("alice") >= 0; }));
  qt_test::pump_events(200);
  const std::string joined = log_text();
  EXPECT_EQ(joined.find("alice(127.0.0.1)"), std::string::npos) << joined;
  EXPECT_EQ(row_of("bob"), -1);  // the refused password ended bob's session
  frame_.reset();
}

// Qt's own buttons speak Japanese once its translations are loaded.
TEST_F(MainWindow, QtsOwnButtonsAreJapanese) {
  ASSERT_TRUE(manager::install_qt_translations(*QCoreApplication::instance()));
  QMessageBox box(QMessageBox::Question, "velmoraFTPd", "?", QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text().toStdString(), "はい(&Y)");
  EXPECT_EQ(box.button(QMessageBox::No)->text().toStdString(), "いいえ(&N)");
}

// A sparse 5 GB file: the list's size and progress, the transfer log and the user's
// status all carry the 64-bit count (the snapshot's count wraps at 4 GiB).
TEST_F(MainWindow, AFiveGigabyteDownloadIsCountedInFull) {
  constexpr uint64_t kSize = 5000000000ULL;
  {
    std::ofstream(site_->path("home/huge.bin"));
  }
  std::filesystem::resize_file(site_->path("home/huge.bin"), kSize);
  site_->set("Log", "AdjDigit", "0");
  site_->set("System", "BufferSize", std::to_string(8 * 1024 * 1024));
  harness::FtpClient alice;
  platform::Socket data = start_with_transfer(alice, "alice", "RETR huge.bin");
  ASSERT_NE(data, platform::kNoSocket);
  std::vector<char> buffer(4 * 1024 * 1024);
  uint64_t received = 0;
  for (long n; (n = platform::recv_some(data, buffer.data(), buffer.size())) > 0;) {
    received += static_cast<uint64_t>(n);
    QCoreApplication::processEvents();
  }
  platform::close_socket(data);
  ASSERT_EQ(received, kSize);
  EXPECT_EQ(alice.reply(30000).substr(0, 3), "226");
  ASSERT_TRUE(qt_test::wait_until([&] {
    return row_of("alice") >= 0 &&
           frame().view()->topLevelItem(row_of("alice"))->text(2).toStdString() == "DOWN_COMP";
  })) << log_text();
  EXPECT_EQ(frame().view()->topLevelItem(row_of("alice"))->text(3).toStdString(),
            "5000000000/5000000000");
  const std::string log = site_->read_file("user/alice.flg");
  EXPECT_NE(log.find(" 1 "), std::string::npos) << log;
  EXPECT_NE(log.find(" 5000000000 0 "), std::string::npos) << log;
  manager::CUserStatusDlg status(site_->path("user/alice"));
  EXPECT_EQ(status.findChild<QLineEdit*>("c1002")->text().toStdString(),
            shared::size_text(static_cast<double>(kSize)));
}

// The operator's abort of an upload: the client gets 426, the list shows the upload as
// stopped, the log says so, and the summary no longer counts it.
TEST_F(MainWindow, AnUploadTheOperatorAbortedIsShownAsStopped) {
  site_->add_user("carol", {{"DownBps", "64"}});
  harness::FtpClient carol;
  platform::Socket data = start_with_transfer(carol, "carol", "STOR up.bin");
  ASSERT_NE(data, platform::kNoSocket);
  const std::string part(64 * 1024, 'u');
  ASSERT_EQ(platform::send_all(data, part.data(), part.size()), part.size());
  ASSERT_TRUE(qt_test::wait_until([&] {
    return row_of("carol") >= 0 &&
           frame().view()->topLevelItem(row_of("carol"))->text(2).toStdString() == "UP";
  }));
  frame().view()->clearSelection();
  frame().view()->topLevelItem(row_of("carol"))->setSelected(true);
  frame().view()->abort_action()->trigger();
  EXPECT_EQ(carol.reply(10000).substr(0, 3), "426");
  platform::close_socket(data);
  ASSERT_TRUE(qt_test::wait_until([&] {
    return frame().view()->topLevelItem(row_of("carol"))->text(2).toStdString() == "UP_STOP";
  })) << log_text();
  EXPECT_NE(log_text().find("carol(127.0.0.1) ファイル受信が停止しました。"), std::string::npos);
  EXPECT_EQ(log_text().find("受信が完了しました"), std::string::npos) << log_text();
  EXPECT_EQ(frame().status_pane(0)->text().toStdString(), "UP:0(0bps) DOWN:0(0bps)");
  messages_.clear();
  frame().view()->abort_action()->trigger();
  EXPECT_EQ(messages_, std::vector<std::string>{"データ転送中ではありません。"});
}

// Each topic the Manager opens has its page in help/ beside the built Manager; a page
// that is missing is said in a message box.
TEST_F(MainWindow, EveryHelpTopicHasAPageAndAMissingPageIsSaid) {
  const std::string help_dir = std::filesystem::path(MANAGER_PATH).parent_path().string() + "/help/";
  for (const std::string& topic : manager::help_topics()) {
    EXPECT_TRUE(platform::path_exists(manager::help_page_path(help_dir, topic))) << topic;
  }
  const auto& topics = manager::help_topics();
  for (int tab = 0; tab < 7; ++tab) {
    const std::string topic = manager::system_settings_help_topic(tab);
    EXPECT_NE(std::find(topics.begin(), topics.end(), topic), topics.end()) << topic;
  }
  std::vector<std::string> opened;
  manager::set_help_opener([&](const std::string& page) {
    opened.push_back(page);
    return true;
  });
  EXPECT_TRUE(manager::open_help_page(help_dir, "はじめに"));
  EXPECT_EQ(opened, std::vector<std::string>{help_dir + "はじめに.html"});
  EXPECT_FALSE(manager::open_help_page(help_dir, "ないページ"));
  EXPECT_FALSE(manager::open_help_page(help_dir, ""));
  EXPECT_EQ(messages_, (std::vector<std::string>{"ヘルプが見つかりません。(" + help_dir + "ないページ.html)",
                                                 "ヘルプが見つかりません。(" + help_dir + ".html)"}));
  frame().command(161)->trigger();  // opened, or said to be missing: never silence
  EXPECT_EQ(opened.size() + messages_.size(), 4u);
  manager::set_help_opener({});
}

// Without NetworkManager the RAS entry cannot be chosen and says why.
TEST_F(MainWindow, WithoutNetworkManagerTheRasEntryIsDisabledAndSaysWhy) {
  platform::set_environment_variable("VELMORAFTPD_NMCLI", site_->path("no-nmcli"));
  manager::set_ras_service(nullptr);
  QAction* ras = frame().command(32800);
  EXPECT_FALSE(ras->isEnabled());
  EXPECT_EQ(ras->toolTip().toStdString(), "NetworkManager (nmcli) が見つかりません。RASは使えません。");
  platform::set_environment_variable("VELMORAFTPD_NMCLI", std::nullopt);
  manager::set_ras_service(nullptr);
}

}  // namespace
