#include "ui/main_mailbox_page.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quor {

namespace {

constexpr int kKeyRole = Qt::UserRole;
// The profile file keeps at most this many characters of a text value.
constexpr int kMaximumTextLength = 4095;

}  // namespace

MainMailboxPage::MainMailboxPage(std::vector<MailboxAccount> accounts, QWidget* parent)
    : QWidget(parent) {
  entries_.reserve(accounts.size());
  for (auto& account : accounts) entries_.push_back(Entry{next_key_++, std::move(account)});

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
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSortingEnabled(true);
  list_->setAccessibleName(tr("Mailboxes"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(account_group);
  layout->addLayout(buttons);
  layout->addWidget(list_, 1);

  for (const Entry& entry : entries_) AddRow(entry);
  list_->clearSelection();
  list_->setCurrentItem(nullptr);

  connect(list_, &QListWidget::itemSelectionChanged, this, &MainMailboxPage::ShowSelectedAccount);
  connect(add_button_, &QPushButton::clicked, this, &MainMailboxPage::AddAccount);
  connect(replace_button_, &QPushButton::clicked, this, &MainMailboxPage::ReplaceAccount);
  connect(delete_button_, &QPushButton::clicked, this, &MainMailboxPage::DeleteAccount);
}

std::vector<MailboxAccount> MainMailboxPage::mailboxes() const {
  std::vector<MailboxAccount> accounts;
  accounts.reserve(entries_.size());
  for (const Entry& entry : entries_) accounts.push_back(entry.account);
  return accounts;
}

void MainMailboxPage::AddAccount() {
  MailboxAccount account;
  account.server = server_->text().toStdString();
  account.user = user_->text().toStdString();
  account.password = password_->text().toStdString();
  if (account.server.empty() || account.user.empty()) return;
  entries_.push_back(Entry{next_key_++, std::move(account)});
  // A row sorted in above the selection shifts it, which the list reports as
  // a selection change; the fields must keep what the user typed.
  const QSignalBlocker blocker(list_);
  AddRow(entries_.back());
}

void MainMailboxPage::ReplaceAccount() {
  auto selected = SelectedEntry();
  if (selected == entries_.end()) return;
  // Only the copy changes; the processor's account keeps serving a running
  // pass until the sheet is accepted. The marker and id stay, so the account
  // is still "the same mailbox" when the list is installed.
  selected->account.server = server_->text().toStdString();
  selected->account.user = user_->text().toStdString();
  selected->account.password = password_->text().toStdString();
  std::rotate(selected, selected + 1, entries_.end());

  const Entry& moved = entries_.back();
  delete list_->takeItem(list_->row(list_->selectedItems().first()));
  list_->setCurrentItem(AddRow(moved), QItemSelectionModel::ClearAndSelect);
}

void MainMailboxPage::DeleteAccount() {
  auto selected = SelectedEntry();
  if (selected == entries_.end()) return;
  entries_.erase(selected);
  // The fields keep their text, so block the selection handler while the
  // row goes and the selection is cleared.
  const QSignalBlocker blocker(list_);
  delete list_->takeItem(list_->row(list_->selectedItems().first()));
  list_->clearSelection();
  list_->setCurrentItem(nullptr, QItemSelectionModel::NoUpdate);
}

void MainMailboxPage::ShowSelectedAccount() {
  auto selected = SelectedEntry();
  if (selected == entries_.end()) return;
  server_->setText(QString::fromStdString(selected->account.server));
  user_->setText(QString::fromStdString(selected->account.user));
  password_->setText(QString::fromStdString(selected->account.password));
}

std::vector<MainMailboxPage::Entry>::iterator MainMailboxPage::SelectedEntry() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return entries_.end();
  const uint64_t key = selected.first()->data(kKeyRole).toULongLong();
  return std::find_if(entries_.begin(), entries_.end(),
                      [key](const Entry& entry) { return entry.key == key; });
}

QListWidgetItem* MainMailboxPage::AddRow(const Entry& entry) {
  auto* item = new QListWidgetItem(QString::fromStdString(entry.account.Label()));
  item->setData(kKeyRole, QVariant::fromValue<qulonglong>(entry.key));
  list_->addItem(item);
  return item;
}

}  // namespace quor
