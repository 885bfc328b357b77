// Message texts stored as numbered lines, their editor, the page "メッセージ", and the
// greeting the real Core builds from what the editor wrote.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QApplication>

#include "manager/editors/message_editor_dialog.h"
#include "manager/editors/message_store.h"
#include "manager/editors/system_settings_dialog.h"
#include "platform/profile.h"
#include "tests/manager/editors_system_helpers.h"
#include "tests/support/harness.h"

namespace {

void press(QWidget* target, int key, const QString& text = QString()) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &down);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &up);
}

using editors_test::child;
using editors_test::click;

struct MessageFile {
  std::string dir = harness::make_temp_dir("msg");
  std::string ini = dir + "velmoraFTPd.ini";
  std::string key(const std::string& name) const {
    return platform::profile_read_string(ini, "UserInfo", name, "<absent>");
  }
};

TEST(MessageStore, OneLineWithoutLineBreakIsLineZeroThenTheEndMarkAndRoundTrips) {
  MessageFile f;
  ASSERT_TRUE(manager::save_message(f.ini, 220, "Hello"));
  EXPECT_EQ(f.key("Message220_0"), "Hello");
  EXPECT_EQ(f.key("Message220_1"), "_____endofline_____");
  const std::string loaded = manager::load_message(f.ini, 220);
  EXPECT_EQ(loaded, "Hello\r\n");
  ASSERT_TRUE(manager::save_message(f.ini, 220, loaded));
  EXPECT_EQ(f.key("Message220_0"), "Hello");
  EXPECT_EQ(f.key("Message220_1"), "_____endofline_____");
  EXPECT_EQ(f.key("Message220_2"), "<absent>");
}

TEST(MessageStore, TwoLinesEndingWithALineBreakGiveTheEndMarkAtLineTwo) {
  MessageFile f;
  ASSERT_TRUE(manager::save_message(f.ini, 230, "one\r\ntwo\r\n"));
  EXPECT_EQ(f.key("Message230_0"), "one");
  EXPECT_EQ(f.key("Message230_1"), "two");
  EXPECT_EQ(f.key("Message230_2"), "_____endofline_____");
}

TEST(MessageStore, AnEmptyMiddleLineIsKeptAndLoadsBackUnchanged) {
  MessageFile f;
  const std::string text = "top\r\n\r\nbottom\r\n";
  ASSERT_TRUE(manager::save_message(f.ini, 226, text));
  EXPECT_EQ(f.key("Message226_1"), "");
  EXPECT_EQ(manager::load_message(f.ini, 226), text);
}

TEST(MessageStore, AnEmptyTextIsTheEndMarkAloneAndLoadsEmpty) {
  MessageFile f;
  ASSERT_TRUE(manager::save_message(f.ini, 3311, ""));
  EXPECT_EQ(f.key("Message3311_0"), "_____endofline_____");
  EXPECT_EQ(manager::load_message(f.ini, 3311), "");
  EXPECT_EQ(manager::load_message(f.ini, 3310), "");  // never written
}

TEST(MessageStore, LinesAfterTheEndMarkAreIgnored) {
  MessageFile f;
  editors_test::write_file(f.ini, "[UserInfo]\r\nMessage220_0=a\r\nMessage220_1=_____endofline_____\r\n"
                                  "Message220_2=old\r\n");
  EXPECT_EQ(manager::load_message(f.ini, 220), "a\r\n");
}

// Opening the settings and pressing OK leaves every text as it was: long lines whole
// (no cut inside a character), blanks and quotes at the ends of a line kept; a text the
// operator writes with such lines reaches the Core's greeting as written.
TEST(MessageStore, TextsComeBackByteForByte) {
  harness::Site site("msground");
  site.set("UserInfo", "UseWelcomeMessage", "1");
  std::string long_line;
  while (long_line.size() < 1500) long_line += "あいう";
  const std::string stored = "[UserInfo]\r\nMessage3311_0=" + long_line +
                             "\r\nMessage3311_1=\"  indented\"\r\nMessage3311_2=\"\"quoted\"\"\r\n"
                             "Message3311_3=_____endofline_____\r\n";
  editors_test::write_file(site.path("user/g.usr"), stored);
  EXPECT_EQ(manager::load_message(site.path("user/g.usr"), 3311),
            long_line + "\r\n  indented\r\n\"quoted\"\r\n");
  ASSERT_TRUE(manager::save_message(site.path("user/g.usr"), 3311,
                                    manager::load_message(site.path("user/g.usr"), 3311)));
  EXPECT_EQ(site.read_file("user/g.usr"), stored);
  {
    manager::CSystemSettingsDialog dialog(site.config_file());
    editors_test::on_next_modal([](QWidget* editor) {
      child<QPlainTextEdit>(editor, "text")->setPlainText("  Welcome  \n\"quoted\"\n");
      click(editor, "ok");
    }, &dialog);
    click(&dialog, "editWelcome");
    click(&dialog, "ok");
  }
  const std::string after_edit = editors_test::read_file(site.config_file());
  {
    manager::CSystemSettingsDialog dialog(site.config_file());
    click(&dialog, "ok");
  }
  EXPECT_EQ(editors_test::read_file(site.config_file()), after_edit);
  harness::Server server(site);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  EXPECT_EQ(client.reply(), "220-  Welcome  \r\n220-\"quoted\"\r\n220 \r\n");
}

TEST(MessageStore, AShorterTextLeavesNoOldLineReachable) {
  MessageFile f;
  ASSERT_TRUE(manager::save_message(f.ini, 220, "a\r\nb\r\nc\r\n"));
  ASSERT_TRUE(manager::save_message(f.ini, 220, "z\r\n"));
  EXPECT_EQ(manager::load_message(f.ini, 220), "z\r\n");
}

TEST(MessageStore, ALoneLineFeedStillBreaksTheLine) {
  MessageFile f;
  ASSERT_TRUE(manager::save_message(f.ini, 220, "a\nb"));
  EXPECT_EQ(manager::load_message(f.ini, 220), "a\r\nb\r\n");
}

TEST(MessageStore, TheCoreGreetsWithTheTextTheEditorSaved) {
  harness::Site site("msgcore");
  site.set("UserInfo", "UseWelcomeMessage", "1");
  ASSERT_TRUE(manager::save_message(site.config_file(), 220, "Hello\r\nsecond line\r\n"));
  harness::Server server(site);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  EXPECT_EQ(client.reply(), "220-Hello\r\n220-second line\r\n220 \r\n");
}

TEST(MessageEditor, ShowsTheTextAndGivesItBackWithCrLf) {
  manager::CMessageEditorDialog dialog("接続時のメッセージ", "a\r\nb\r\n");
  EXPECT_EQ(dialog.windowTitle().toStdString(), "メッセージ編集");
  EXPECT_EQ(child<QPlainTextEdit>(&dialog, "text")->toPlainText().toStdString(), "a\nb\n");
  EXPECT_EQ(dialog.text(), "a\r\nb\r\n");
}

TEST(MessageEditor, EnterInsertsALineBreakAndEscDoesNotClose) {
  manager::CMessageEditorDialog dialog("", "ab");
  dialog.show();
  auto* text = child<QPlainTextEdit>(&dialog, "text");
  QTextCursor cursor = text->textCursor();
  cursor.setPosition(1);
  text->setTextCursor(cursor);
  press(text, Qt::Key_Return, "\r");
  EXPECT_EQ(dialog.text(), "a\r\nb");
  press(text, Qt::Key_Escape);
  press(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
}

TEST(MessagePage, EditOkTakesTheTextAndCancelKeepsTheOldOne) {
  MessageFile f;
  ASSERT_TRUE(manager::save_message(f.ini, 3311, "old prompt\r\n"));
  manager::CSystemSettingsDialog dialog(f.ini);
  editors_test::on_next_modal([](QWidget* editor) {
    EXPECT_EQ(child<QPlainTextEdit>(editor, "text")->toPlainText().toStdString(), "");
    child<QPlainTextEdit>(editor, "text")->setPlainText("Welcome $USER$\nNow $NOW_CON$");
    click(editor, "ok");
  });
  click(&dialog, "editWelcome");
  editors_test::on_next_modal([](QWidget* editor) {
    EXPECT_EQ(child<QPlainTextEdit>(editor, "text")->toPlainText().toStdString(), "old prompt\n");
    child<QPlainTextEdit>(editor, "text")->setPlainText("thrown away");
    click(editor, "cancel");
  });
  click(&dialog, "editUnknown");
  child<QCheckBox>(&dialog, "useWelcomeMessage")->setChecked(true);
  click(&dialog, "ok");
  EXPECT_EQ(f.key("UseWelcomeMessage"), "1");
  EXPECT_EQ(f.key("UseUnKnownMessage"), "0");
  EXPECT_EQ(f.key("Message220_0"), "Welcome $USER$");
  EXPECT_EQ(f.key("Message220_1"), "Now $NOW_CON$");
  EXPECT_EQ(f.key("Message220_2"), "_____endofline_____");
  EXPECT_EQ(f.key("Message3311_0"), "old prompt");
  EXPECT_EQ(f.key("Message3311_1"), "_____endofline_____");
}

TEST(MessagePage, CancelOfTheSettingsDropsAnEditedText) {
  MessageFile f;
  manager::CSystemSettingsDialog dialog(f.ini);
  editors_test::on_next_modal([](QWidget* editor) {
    child<QPlainTextEdit>(editor, "text")->setPlainText("never saved");
    click(editor, "ok");
  });
  click(&dialog, "editWelcome");
  click(&dialog, "cancel");
  EXPECT_EQ(f.key("Message220_0"), "<absent>");
}

}  // namespace
