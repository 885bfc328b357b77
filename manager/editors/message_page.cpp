#include "manager/editors/message_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>

#include "manager/editors/message_editor_dialog.h"
#include "manager/editors/message_store.h"

namespace manager {
namespace {

constexpr int kWelcomeMessage = 220;
constexpr int kUnknownIdMessage = 3311;

}  // namespace

CMessagePage::CMessagePage(SystemSettings& settings, std::string ini_file, QWidget* parent)
    : QWidget(parent), settings_(settings), ini_file_(std::move(ini_file)) {
  welcome_ = load_message(ini_file_, kWelcomeMessage);
  unknown_ = load_message(ini_file_, kUnknownIdMessage);
  auto* grid = new QGridLayout(this);
  use_welcome_ = new QCheckBox(QStringLiteral("接続時のメッセージ"), this);
  use_welcome_->setObjectName("useWelcomeMessage");
  use_unknown_ = new QCheckBox(QStringLiteral("ID未登録時のメッセージ"), this);
  use_unknown_->setObjectName("useUnknownMessage");
  auto* edit_welcome = new QPushButton(QStringLiteral("編集"), this);
  edit_welcome->setObjectName("editWelcome");
  edit_welcome->setAutoDefault(false);
  auto* edit_unknown = new QPushButton(QStringLiteral("編集"), this);
  edit_unknown->setObjectName("editUnknown");
  edit_unknown->setAutoDefault(false);
  grid->addWidget(use_welcome_, 0, 0);
  grid->addWidget(edit_welcome, 0, 1);
  grid->addWidget(use_unknown_, 1, 0);
  grid->addWidget(edit_unknown, 1, 1);
  grid->setRowStretch(2, 1);
  connect(edit_welcome, &QPushButton::clicked, this, &CMessagePage::edit_welcome);
  connect(edit_unknown, &QPushButton::clicked, this, &CMessagePage::edit_unknown);
}

void CMessagePage::show_values() {
  use_welcome_->setChecked(settings_.use_welcome_message != 0);
  use_unknown_->setChecked(settings_.use_unknown_message != 0);
}

void CMessagePage::take_values() {
  settings_.use_welcome_message = use_welcome_->isChecked() ? 1 : 0;
  settings_.use_unknown_message = use_unknown_->isChecked() ? 1 : 0;
}

std::vector<platform::ProfileSectionChanges> CMessagePage::changes() const {
  return {{"UserInfo", message_changes(ini_file_, kWelcomeMessage, welcome_)},
          {"UserInfo", message_changes(ini_file_, kUnknownIdMessage, unknown_)}};
}

bool CMessagePage::save_messages() const {
  const bool welcome_saved = save_message(ini_file_, kWelcomeMessage, welcome_);
  const bool unknown_saved = save_message(ini_file_, kUnknownIdMessage, unknown_);
  return welcome_saved && unknown_saved;
}

void CMessagePage::edit_welcome() {
  if (auto text = edit_message(this, "接続時のメッセージ", welcome_)) welcome_ = *text;
}

void CMessagePage::edit_unknown() {
  if (auto text = edit_message(this, "ID未登録時のメッセージ", unknown_)) unknown_ = *text;
}

}  // namespace manager
