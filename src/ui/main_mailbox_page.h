#pragma once
// The "Mailboxes" page of the setup sheet: the POP accounts with Add, Replace
// and Delete. Works on copies of the processor's accounts, each keeping its
// id, so Cancel leaves the processor's accounts exactly as they were and,
// on OK, the processor can give every account it still knows the marker a
// running pass may have moved meanwhile. The caller reads the edited list
// back through mailboxes() after the sheet was accepted.
//
// The list box is sorted by "user@server"; the account order (the order of
// checking and saving) is the order of creation, except that Replace moves
// the account concerned to the end. The fields show the account of the row
// the user picks, also when they click the row that is already selected;
// Add, Replace and Delete leave what was typed in them. Security shows
// "SSL/TLS" until a row is picked, so a mailbox the user adds is protected
// unless they choose otherwise; an account from the profile shows its own.
// UI thread only.

#include <QWidget>
#include <memory>
#include <vector>

#include "config/mailbox_account.h"
#include "ui/list_editor.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace quor {

class SecurityBox;

class MainMailboxPage : public QWidget {
  Q_OBJECT

 public:
  explicit MainMailboxPage(std::vector<MailboxAccount> accounts, QWidget* parent = nullptr);

  // The working list in account order; new accounts carry id 0.
  std::vector<MailboxAccount> mailboxes() const;

 private:
  void AddAccount();
  void ReplaceAccount();
  void DeleteAccount();
  // The fields into account; its marker and id stay. ShowSelectedAccount
  // is the way back.
  void ReadFields(MailboxAccount& account) const;
  void ShowSelectedAccount();

  std::unique_ptr<ListEditor<MailboxAccount>> accounts_;

  QLineEdit* server_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  SecurityBox* security_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* add_button_ = nullptr;
  QPushButton* replace_button_ = nullptr;
  QPushButton* delete_button_ = nullptr;
};

}  // namespace quor
