#include "manager/shell/help.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include "manager/shell/program_paths.h"
#include "manager/shell/prompts.h"
#include "platform/files.h"

namespace manager {

namespace {

std::function<bool(const std::string&)>& opener() {
  static std::function<bool(const std::string&)> hook;
  return hook;
}

bool open_in_browser(const std::string& page) {
  if (opener()) return opener()(page);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(page)));
}

}  // namespace

std::string help_page_path(const std::string& help_dir, const std::string& topic) {
  return help_dir + topic + ".html";
}

bool open_help(const std::string& topic) { return open_help_page(program_paths().help_dir, topic); }

bool open_help_page(const std::string& help_dir, const std::string& topic) {
  const std::string page = help_page_path(help_dir, topic);
  if (topic.empty() || !platform::path_exists(page)) {
    show_message(nullptr, "ヘルプが見つかりません。(" + page + ")");
    return false;
  }
  if (open_in_browser(page)) return true;
  show_message(nullptr, "ヘルプを開けませんでした。(" + page + ")");
  return false;
}

const std::vector<std::string>& help_topics() {
  static const std::vector<std::string> topics = {
      // The main window and what it opens.
      "はじめに", "ユーザー一覧", "ログ", "ユーザーステータス", "ユーザー拒否",
      "取引したファイル", "ユーザー検索", "RAS", "サーバーの開始と停止",
      // The system settings' tabs.
      "「システム」タブ", "「メッセージ」タブ", "「ログ」タブ", "「未登録IDの接続」タブ",
      "「拒否IP」タブ", "「仮想フォルダ」タブ", "「Plugin」タブ",
      // The user list, the user editor's tabs and the group editor.
      "ユーザーリスト", "「ユーザー」タブ", "「ディレクトリ操作」タブ", "「制限」タブ",
      "禁止ホスト", "「ユーザー別」タブ", "グループ登録ダイアログ",
      // Notices.
      "自動IP告知ダイアログ"};
  return topics;
}

void set_help_opener(std::function<bool(const std::string&)> hook) { opener() = std::move(hook); }

}  // namespace manager
