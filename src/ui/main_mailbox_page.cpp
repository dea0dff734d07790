#include "ui/main_mailbox_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/labelled_control.h"
#include "ui/security_box.h"

namespace quor {

namespace {

// The profile file keeps at most this many characters of a text value.
constexpr int kMaximumTextLength = 4095;

}  // namespace

MainMailboxPage::MainMailboxPage(std::vector<MailboxAccount> accounts, QWidget* parent)
    : QWidget(parent) {
  auto* account_group = new QGroupBox(tr("Incoming Mail (POP) Account Information"), this);
  auto* form = new QFormLayout(account_group);
  server_ = new QLineEdit(account_group);
  user_ = new QLineEdit(account_group);
  password_ = new QLineEdit(account_group);
  password_->setEchoMode(QLineEdit::Password);
  for (QLineEdit* field : {server_, user_, password_}) field->setMaxLength(kMaximumTextLength);
  form->addRow(tr("Mail Server:"), server_);
  form->addRow(tr("Account Name:"), user_);
  form->addRow(tr("Password:"), password_);
  // A mailbox the user adds is protected unless they choose otherwise.
  security_ = new SecurityBox(ConnectionSecurity::kImplicitTls, account_group);
  form->addRow(NewControlLabel(tr("&Security:"), security_, account_group), security_);

  add_button_ = new QPushButton(tr("&Add"), this);
  replace_button_ = new QPushButton(tr("&Replace"), this);
  delete_button_ = new QPushButton(tr("&Delete"), this);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {add_button_, replace_button_, delete_button_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);

  list_ = new QListWidget(this);
  list_->setAccessibleName(tr("Mailboxes"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(account_group);
  layout->addLayout(buttons);
  layout->addWidget(list_, 1);

  accounts_ = std::make_unique<ListEditor<MailboxAccount>>(
      list_, std::move(accounts), RowOrder::kSortedByText,
      [](const MailboxAccount& account, int) { return QString::fromStdString(account.Label()); },
      [this] { ShowSelectedAccount(); }, AfterRebuild::kKeepFields);
  accounts_->Rebuild(ListEditor<MailboxAccount>::kNoRow);

  connect(add_button_, &QPushButton::clicked, this, &MainMailboxPage::AddAccount);
  connect(replace_button_, &QPushButton::clicked, this, &MainMailboxPage::ReplaceAccount);
  connect(delete_button_, &QPushButton::clicked, this, &MainMailboxPage::DeleteAccount);
}

std::vector<MailboxAccount> MainMailboxPage::mailboxes() const { return accounts_->entries(); }

void MainMailboxPage::AddAccount() {
  MailboxAccount account;
  ReadFields(account);
  if (account.server.empty() || account.user.empty()) return;
  // The selected account stays selected, wherever the new row sorts in.
  const int selected = accounts_->SelectedIndex();
  accounts_->Append(std::move(account));
  accounts_->Rebuild(selected);
}

void MainMailboxPage::ReplaceAccount() {
  const int selected = accounts_->SelectedIndex();
  if (selected < 0) return;
  // Only the copy changes; the processor's account keeps serving a running
  // pass until the sheet is accepted. The marker and id stay, so the account
  // is still "the same mailbox" when the list is installed.
  MailboxAccount account = accounts_->at(selected);
  ReadFields(account);
  accounts_->Replace(selected, std::move(account));
  accounts_->Rebuild(accounts_->MoveToEnd(selected));
}

void MainMailboxPage::DeleteAccount() {
  const int selected = accounts_->SelectedIndex();
  if (selected < 0) return;
  accounts_->Erase(selected);
  accounts_->Rebuild(ListEditor<MailboxAccount>::kNoRow);
}

void MainMailboxPage::ReadFields(MailboxAccount& account) const {
  account.server = server_->text().toStdString();
  account.user = user_->text().toStdString();
  account.password = password_->text().toStdString();
  account.security = security_->Security();
}

void MainMailboxPage::ShowSelectedAccount() {
  const int selected = accounts_->SelectedIndex();
  if (selected < 0) return;
  const MailboxAccount& account = accounts_->at(selected);
  server_->setText(QString::fromStdString(account.server));
  user_->setText(QString::fromStdString(account.user));
  password_->setText(QString::fromStdString(account.password));
  security_->SetSecurity(account.security);
}

}  // namespace quor
