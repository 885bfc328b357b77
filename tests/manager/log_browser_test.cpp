// The transaction window and the user search read every user's transfer log: the lines
// the real Core writes, the table of files with their users, searching, sorting, and
// workers that end safely when their window goes away.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <map>
#include <regex>

#include "manager/shell/log_browser.h"
#include "manager/shell/prompts.h"
#include "manager/shell/transaction_window.h"
#include "manager/shell/transfer_log.h"
#include "manager/shell/user_search_dialog.h"
#include "tests/manager/support/qt_wait.h"
#include "tests/support/harness.h"

namespace {

using manager::CTransactionWindow;
using manager::CUserSearchDialog;

std::string line(const std::string& path, int direction) {
  return "24/05/01 10:00:00 " + std::to_string(direction) + " 1500 100 0 " + path + "\r\n";
}

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

std::vector<std::string> row(QTreeWidget* list, int index) {
  std::vector<std::string> cells;
  for (int column = 0; column < 5; ++column) {
    cells.push_back(list->topLevelItem(index)->text(column).toStdString());
  }
  return cells;
}

void drop_files(CUserSearchDialog& target, const QStringList& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
  mime.setUrls(urls);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  target.dropEvent(&drop);
  EXPECT_TRUE(drop.isAccepted());
}

void press(QWidget* target, int key) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

// Collects the texts of message boxes for the test's lifetime.
struct Messages {
  Messages() {
    manager::PromptHook hook;
    hook.message = [this](const std::string& text) { texts.push_back(text); };
    manager::set_prompt_hook(hook);
  }
  ~Messages() { manager::set_prompt_hook({}); }
  std::vector<std::string> texts;
};

TEST(LogBrowserWithCore, BothViewsShowTheUploadAndDownloadTheCoreLogged) {
  Messages messages;
  harness::Site site("logs-core");
  site.add_user("alice");
  site.add_user("bob");
  harness::Server server(site);
  {
    harness::FtpClient up;
    ASSERT_TRUE(up.connect(site.ftp_port()));
    ASSERT_TRUE(up.login("alice", "alice"));
    ASSERT_TRUE(up.upload("STOR my file.txt", std::string(500, 'x')));
  }
  {
    harness::FtpClient down;
    ASSERT_TRUE(down.connect(site.ftp_port()));
    ASSERT_TRUE(down.login("bob", "bob"));
    ASSERT_TRUE(down.download("RETR my file.txt"));
  }
  const std::string user_dir = site.path("user/");
  ASSERT_TRUE(qt_test::wait_until([&] {
    return manager::read_transfer_log(user_dir + "alice.flg").size() == 1 &&
           manager::read_transfer_log(user_dir + "bob.flg").size() == 1;
  }));
  const std::string stored = site.home() + "my*file.txt";

  CTransactionWindow window(nullptr, user_dir);
  ASSERT_TRUE(qt_test::wait_until([&] { return !window.filling(); }));
  ASSERT_EQ(window.list()->topLevelItemCount(), 1);
  EXPECT_EQ(row(window.list(), 0),
            (std::vector<std::string>{"my file.txt", "alice ", "1", "bob ", stored}));

  CUserSearchDialog search(nullptr, user_dir);
  drop_files(search, {"/elsewhere/my file.txt"});
  EXPECT_EQ(child<QLineEdit>(search, "c1000")->text().toStdString(), "my file.txt");
  child<QPushButton>(search, "c1003")->click();
  ASSERT_TRUE(qt_test::wait_until([&] { return !search.worker_active(); }));
  const std::regex detail("^      \\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d  " +
                          std::regex_replace(stored, std::regex(R"([.*])"), R"(\$&)") + "$");
  const auto uploads = lines_of(child<QListWidget>(search, "c1021"));
  const auto downloads = lines_of(child<QListWidget>(search, "c1007"));
  ASSERT_EQ(uploads.size(), 5u);
  EXPECT_EQ(uploads[0], "_/_/_/_/my*file.txt_/_/_/_/");
  EXPECT_EQ(uploads[1], "");
  EXPECT_EQ(uploads[2], "alice");
  EXPECT_TRUE(std::regex_match(uploads[3], detail)) << uploads[3];
  EXPECT_EQ(uploads[4], "");
  ASSERT_EQ(downloads.size(), 5u);
  EXPECT_EQ(downloads[2], "bob");
  EXPECT_TRUE(std::regex_match(downloads[3], detail)) << downloads[3];
  EXPECT_EQ(child<QLineEdit>(search, "c1001")->text().toStdString(), "Finish!");
}

class TransactionWindowTest : public ::testing::Test {
 protected:
  void write_log(const std::string& user, const std::string& text) {
    site.write_file("user/" + user + ".flg", text);
  }
  std::string user_dir() const { return site.path("user/"); }

  harness::Site site{"logs-window"};
};

TEST_F(TransactionWindowTest, SearchFindsTextInAnyColumnFromTheTopOrFromThePosition) {
  write_log("alice", line("/srv/apple.txt", 0) + line("/srv/banana.txt", 1) +
                         line("/srv/sub/cherry.txt", 1) + line("/srv/apple2.txt", 0));
  Messages messages;
  CTransactionWindow window(nullptr, user_dir());
  ASSERT_TRUE(qt_test::wait_until([&] { return !window.filling(); }));
  ASSERT_EQ(window.list()->topLevelItemCount(), 4);
  QLineEdit* text = child<QLineEdit>(window, "c1000");

  text->setText("apple");
  child<QPushButton>(window, "c1003")->click();
  EXPECT_EQ(window.search_position(), 1);
  child<QPushButton>(window, "c1018")->click();
  EXPECT_EQ(window.search_position(), 4);
  EXPECT_TRUE(messages.texts.empty());
  child<QPushButton>(window, "c1018")->click();
  EXPECT_EQ(messages.texts, std::vector<std::string>{"見つかりませんでした。"});
  EXPECT_EQ(window.search_position(), 4);

  text->setText("srv/sub");  // only in the path column
  press(text, Qt::Key_Return);
  EXPECT_EQ(window.search_position(), 3);
  // The hit is the one selected row, and the current one.
  const QList<QTreeWidgetItem*> selected = window.list()->selectedItems();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0]->text(0).toStdString(), "cherry.txt");
  EXPECT_EQ(window.list()->currentItem(), selected[0]);
  text->setText("alice");  // the uploader column of the first row
  press(text, Qt::Key_Enter);
  EXPECT_EQ(window.search_position(), 1);
  press(text, Qt::Key_F3);
  EXPECT_EQ(window.search_position(), 2);  // banana was downloaded by alice
  EXPECT_EQ(messages.texts.size(), 1u);
}

TEST_F(TransactionWindowTest, NothingFoundLeavesThePositionAndEnterStartsAgainFromTheTop) {
  write_log("alice", line("/srv/a.txt", 0) + line("/srv/b.txt", 0));
  Messages messages;
  CTransactionWindow window(nullptr, user_dir());
  ASSERT_TRUE(qt_test::wait_until([&] { return !window.filling(); }));
  QLineEdit* text = child<QLineEdit>(window, "c1000");
  text->setText("b.txt");
  window.search_from_top();
  EXPECT_EQ(window.search_position(), 2);
  text->setText("a.txt");
  window.search_next();
  EXPECT_EQ(messages.texts, std::vector<std::string>{"見つかりませんでした。"});
  EXPECT_EQ(window.search_position(), 2);
  press(text, Qt::Key_Return);
  EXPECT_EQ(window.search_position(), 1);
}

TEST_F(TransactionWindowTest, EscapeDoesNotCloseTheWindowButOkDoes) {
  CTransactionWindow window(nullptr, user_dir());
  window.show();
  press(&window, Qt::Key_Escape);
  press(child<QLineEdit>(window, "c1000"), Qt::Key_Escape);
  qt_test::pump_events(50);
  EXPECT_TRUE(window.isVisible());
  child<QPushButton>(window, "c1003")->setFocus();
  child<QPushButton>(window, "ok")->click();
  EXPECT_FALSE(window.isVisible());
}

TEST_F(TransactionWindowTest, HeaderClickSortsTheDownloadCountAsANumber) {
  std::string text;
  for (int i = 0; i < 10; ++i) text += line("/srv/x.txt", 1);
  for (int i = 0; i < 9; ++i) text += line("/srv/y.txt", 1);
  for (int i = 0; i < 2; ++i) text += line("/srv/z.txt", 1);
  text += line("/srv/w.txt", 0);
  write_log("bob", text);
  CTransactionWindow window(nullptr, user_dir());
  ASSERT_TRUE(qt_test::wait_until([&] { return !window.filling(); }));
  QTreeWidget* list = window.list();
  ASSERT_EQ(list->topLevelItemCount(), 4);
  auto column = [&](int c) {
    std::vector<std::string> cells;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      cells.push_back(list->topLevelItem(i)->text(c).toStdString());
    }
    return cells;
  };
  emit list->header()->sectionClicked(2);
  EXPECT_EQ(column(2), (std::vector<std::string>{"", "2", "9", "10"}));
  emit list->header()->sectionClicked(2);
  EXPECT_EQ(column(2), (std::vector<std::string>{"10", "9", "2", ""}));
  emit list->header()->sectionClicked(0);
  EXPECT_EQ(column(0), (std::vector<std::string>{"w.txt", "x.txt", "y.txt", "z.txt"}));
}

TEST_F(TransactionWindowTest, RowsGatherEveryUsersLog) {
  write_log("alice", line("/srv/one/Shared*File.txt", 0) + line("/srv/solo.txt", 1));
  write_log("al", line("/srv/two/shared*file.TXT", 1) + line("/srv/solo.txt", 1));
  write_log("bob", line("/srv/one/Shared*File.txt", 1) + line("/srv/one/Shared*File.txt", 1));
  CTransactionWindow window(nullptr, user_dir());
  ASSERT_TRUE(qt_test::wait_until([&] { return !window.filling(); }));
  ASSERT_EQ(window.list()->topLevelItemCount(), 2);
  std::map<std::string, std::vector<std::string>> rows;
  for (int i = 0; i < 2; ++i) {
    const auto cells = row(window.list(), i);
    rows[QString::fromStdString(cells[0]).toLower().toStdString()] = cells;
  }
  ASSERT_EQ(rows.count("solo.txt"), 1u);
  ASSERT_EQ(rows.count("shared file.txt"), 1u);
  // The listing order decides who comes first; each is listed for its own download.
  EXPECT_EQ(rows["solo.txt"][2], "2");
  EXPECT_TRUE(rows["solo.txt"][3] == "alice al " || rows["solo.txt"][3] == "al alice ")
      << rows["solo.txt"][3];
  const auto& shared = rows["shared file.txt"];
  EXPECT_EQ(shared[1], "alice ");
  EXPECT_EQ(shared[2], "3");
  EXPECT_TRUE(shared[4] == "/srv/one/Shared*File.txt" || shared[4] == "/srv/two/shared*file.TXT");
  EXPECT_EQ(shared[4] == "/srv/two/shared*file.TXT", shared[0] == "shared file.TXT");
}

TEST_F(TransactionWindowTest, AFolderWithoutLogsLeavesTheWindowEmpty) {
  site.write_file("user/alice.usr", "[UserInfo]\r\n");
  CTransactionWindow window(nullptr, user_dir());
  ASSERT_TRUE(qt_test::wait_until([&] { return !window.filling(); }));
  EXPECT_EQ(window.list()->topLevelItemCount(), 0);
}

// Logs big enough that the reader is still busy when the window goes away.
void write_many_logs(harness::Site& site, int users, int lines, const std::string& last) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += line("/srv/file" + std::to_string(i) + ".bin", i % 2);
  text += last;
  for (int u = 0; u < users; ++u) site.write_file("user/user" + std::to_string(u) + ".flg", text);
}

TEST_F(TransactionWindowTest, AWindowClosedWhileFillingStopsItsFillerSafely) {
  write_many_logs(site, 60, 2000, "");
  for (int round = 0; round < 3; ++round) {
    auto* window = new CTransactionWindow(nullptr, user_dir());
    qt_test::pump_events(round * 20);
    EXPECT_TRUE(window->filling());
    delete window;
    qt_test::pump_events(50);
  }
  manager::show_transaction_window(nullptr, user_dir());
  manager::show_transaction_window(nullptr, user_dir());  // visible: no second window
  std::vector<QPointer<CTransactionWindow>> open;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = qobject_cast<CTransactionWindow*>(widget)) open.emplace_back(window);
  }
  ASSERT_EQ(open.size(), 1u);
  child<QPushButton>(*open[0], "ok")->click();
  ASSERT_TRUE(qt_test::wait_until([&] { return open[0].isNull(); }));
}

class UserSearchTest : public TransactionWindowTest {};

TEST_F(UserSearchTest, AnEmptyNameAsksForADrop) {
  Messages messages;
  CUserSearchDialog dialog(nullptr, user_dir());
  child<QPushButton>(dialog, "c1003")->click();
  EXPECT_EQ(messages.texts,
            std::vector<std::string>{"検索対象のファイルをドロップしてください。"});
  EXPECT_FALSE(dialog.worker_active());
  EXPECT_EQ(child<QListWidget>(dialog, "c1021")->count(), 0);
}

TEST_F(UserSearchTest, TheLastDroppedFileNamesTheSearch) {
  CUserSearchDialog dialog(nullptr, user_dir());
  drop_files(dialog, {"/a b/first.txt", "/c/second file.bin"});
  EXPECT_EQ(child<QLineEdit>(dialog, "c1000")->text().toStdString(), "second file.bin");
}

TEST_F(UserSearchTest, AFolderWithoutLogsFinishesAtOnce) {
  CUserSearchDialog dialog(nullptr, user_dir());
  child<QLineEdit>(dialog, "c1000")->setText("x.txt");
  QPushButton* start = child<QPushButton>(dialog, "c1003");
  start->click();
  EXPECT_EQ(start->text().toStdString(), "検索停止");
  ASSERT_TRUE(qt_test::wait_until([&] { return !dialog.worker_active(); }));
  EXPECT_EQ(child<QLineEdit>(dialog, "c1001")->text().toStdString(), "Finish!");
  EXPECT_EQ(start->text().toStdString(), "検索開始");
  EXPECT_EQ(lines_of(child<QListWidget>(dialog, "c1007")),
            (std::vector<std::string>{"_/_/_/_/x.txt_/_/_/_/", "", ""}));
}

TEST_F(UserSearchTest, DoubleClickOpensTheStatusOfTheLinesUserAndClearEmptiesTheLists) {
  write_log("bob", line("/srv/t.txt", 1));
  std::vector<std::string> opened;
  CUserSearchDialog dialog(nullptr, user_dir(),
                           [&](QWidget*, const std::string& base) { opened.push_back(base); });
  child<QLineEdit>(dialog, "c1000")->setText("t.txt");
  child<QPushButton>(dialog, "c1003")->click();
  ASSERT_TRUE(qt_test::wait_until([&] { return !dialog.worker_active(); }));
  QListWidget* downloads = child<QListWidget>(dialog, "c1007");
  ASSERT_EQ(lines_of(downloads)[2], "bob");
  downloads->setCurrentRow(2);
  emit downloads->itemDoubleClicked(downloads->item(2));
  EXPECT_EQ(opened, std::vector<std::string>{user_dir() + "bob"});
  child<QPushButton>(dialog, "c1018")->click();
  EXPECT_EQ(downloads->count(), 0);
  EXPECT_EQ(child<QListWidget>(dialog, "c1021")->count(), 0);
}

TEST_F(UserSearchTest, StopEndsTheSearchEarlyWithFinish) {
  write_many_logs(site, 300, 300, line("/srv/target.txt", 0));
  CUserSearchDialog dialog(nullptr, user_dir());
  child<QLineEdit>(dialog, "c1000")->setText("target.txt");
  QPushButton* button = child<QPushButton>(dialog, "c1003");
  button->click();
  button->click();  // "検索停止"
  ASSERT_TRUE(qt_test::wait_until([&] { return !dialog.worker_active(); }));
  EXPECT_EQ(child<QLineEdit>(dialog, "c1001")->text().toStdString(), "Finish!");
  EXPECT_EQ(button->text().toStdString(), "検索開始");
  const auto uploads = lines_of(child<QListWidget>(dialog, "c1021"));
  const auto users = std::count_if(uploads.begin(), uploads.end(),
                                   [](const std::string& s) { return s.rfind("user", 0) == 0; });
  EXPECT_LT(users, 300);
  EXPECT_EQ(uploads.back(), "");
}

TEST_F(UserSearchTest, CancelDuringASearchWaitsForTheWorkersEnd) {
  write_many_logs(site, 300, 300, line("/srv/target.txt", 0));
  auto dialog = std::make_unique<CUserSearchDialog>(nullptr, user_dir());
  child<QLineEdit>(*dialog, "c1000")->setText("target.txt");
  child<QPushButton>(*dialog, "c1003")->click();
  ASSERT_TRUE(dialog->worker_active());
  child<QPushButton>(*dialog, "cancel")->click();
  EXPECT_FALSE(dialog->worker_active());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(child<QLineEdit>(*dialog, "c1001")->text().toStdString(), "Finish!");
  dialog.reset();
  qt_test::pump_events(20);
}

TEST_F(UserSearchTest, ADialogDestroyedDuringASearchJoinsItsWorker) {
  write_many_logs(site, 300, 300, line("/srv/target.txt", 0));
  auto dialog = std::make_unique<CUserSearchDialog>(nullptr, user_dir());
  child<QLineEdit>(*dialog, "c1000")->setText("target.txt");
  child<QPushButton>(*dialog, "c1003")->click();
  ASSERT_TRUE(dialog->worker_active());
  dialog.reset();
  qt_test::pump_events(50);
}

}  // namespace
