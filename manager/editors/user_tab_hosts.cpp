#include "manager/editors/user_tab_hosts.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "manager/shell/prompts.h"

namespace manager {

namespace {

struct ListControls {
  QListWidget* list;
  QLineEdit* edit;
  QPushButton* add;
  QPushButton* remove;
  QLabel* list_label;
  QLabel* edit_label;
};

// One list with its edit and buttons; names get the prefix ("host", "mail").
ListControls make_list(QWidget* parent, const QString& prefix, const char* list_caption) {
  ListControls c;
  c.list = new QListWidget(parent);
  c.list->setObjectName(prefix + "List");
  c.edit = new QLineEdit(parent);
  c.edit->setObjectName(prefix + "Edit");
  c.add = new QPushButton(QString::fromUtf8("追加"), parent);
  c.add->setObjectName("add" + prefix.left(1).toUpper() + prefix.mid(1));
  c.remove = new QPushButton(QString::fromUtf8("削除"), parent);
  c.remove->setObjectName("remove" + prefix.left(1).toUpper() + prefix.mid(1));
  c.list_label = new QLabel(QString::fromUtf8(list_caption), parent);
  c.edit_label = new QLabel(QString::fromUtf8("禁止ホスト入力："), parent);
  return c;
}

void place(QGridLayout* grid, const ListControls& c, int column) {
  grid->addWidget(c.list_label, 0, column, 1, 2);
  grid->addWidget(c.list, 1, column, 1, 2);
  grid->addWidget(c.edit_label, 2, column, 1, 2);
  grid->addWidget(c.edit, 3, column, 1, 2);
  grid->addWidget(c.add, 4, column);
  grid->addWidget(c.remove, 4, column + 1);
}

void fill(QListWidget* list, const std::vector<std::string>& entries) {
  for (const std::string& e : entries) list->addItem(QString::fromStdString(e));
}

}  // namespace

CHostTab::CHostTab(const AccountRecord& record, QWidget* parent) : QWidget(parent) {
  const ListControls hosts = make_list(this, "host", "禁止ホスト：");
  const ListControls mails = make_list(this, "mail", "禁止メール：");
  host_list_ = hosts.list;
  host_edit_ = hosts.edit;
  mail_list_ = mails.list;
  mail_edit_ = mails.edit;
  auto* grid = new QGridLayout(this);
  place(grid, hosts, 0);
  place(grid, mails, 2);
  grid->addWidget(new QLabel(QString::fromUtf8("ex;  127.0.0.1  127.*.*.1"), this), 5, 0, 1, 2);
  for (QWidget* w : {static_cast<QWidget*>(mails.list), static_cast<QWidget*>(mails.edit),
                     static_cast<QWidget*>(mails.add), static_cast<QWidget*>(mails.remove),
                     static_cast<QWidget*>(mails.list_label), static_cast<QWidget*>(mails.edit_label)}) {
    w->setVisible(false);
  }
  connect(hosts.add, &QPushButton::clicked, this, &CHostTab::add_host);
  connect(hosts.remove, &QPushButton::clicked, this, &CHostTab::remove_host);
  connect(mails.add, &QPushButton::clicked, this, &CHostTab::add_mail);
  connect(mails.remove, &QPushButton::clicked, this, &CHostTab::remove_mail);
  fill(host_list_, record.prohibited_hosts);
  fill(mail_list_, record.prohibited_mails);
}

void CHostTab::add_entry(QListWidget* list, QLineEdit* edit) {
  if (edit->text().isEmpty()) {
    show_message(this, "エディットボックスに、IPかドメイン名を入力してください。");
    return;
  }
  list->addItem(edit->text());
  edit->clear();
}

void CHostTab::remove_entry(QListWidget* list) {
  const int row = list->currentRow();
  if (row < 0 || !list->item(row)->isSelected()) {
    show_message(this, "リストから選択してください。");
    return;
  }
  delete list->takeItem(row);
}

std::vector<std::string> CHostTab::texts(const QListWidget* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
  return out;
}

void CHostTab::collect(AccountRecord& record) const {
  record.prohibited_hosts = texts(host_list_);
  record.prohibited_mails = texts(mail_list_);
}

}  // namespace manager
