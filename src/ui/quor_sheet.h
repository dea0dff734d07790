#pragma once
// The setup sheet "Quor Setup": the tabs "Mail Agents", "Settings" and
// "Mailboxes" with OK and Cancel. It is built from a copy of the
// configuration in use and hands the edited copy back: after an accepted
// exec() the caller reads configuration() and installs it. Leaving the "Settings" tab or pressing
// OK on it validates the page; a failure keeps the page displayed. UI thread only.

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "config/configuration.h"

class QTabWidget;

namespace quor {

class MainAgentPage;
class MainMailboxPage;
class MainSettingsPage;

class QuorSheet : public QDialog {
  Q_OBJECT

 public:
  explicit QuorSheet(const Configuration& configuration, QWidget* parent = nullptr);

  // The edited configuration: the pages' settings, mailboxes and agents.
  Configuration configuration() const;

  Settings settings() const;
  std::vector<MailAgent> agents() const;
  std::vector<MailboxAccount> mailboxes() const;

  // The base folder (data/, relative paths) of the agent editor's tests.
  void set_base_directory(std::string directory) { base_directory_ = std::move(directory); }
  const std::string& base_directory() const { return base_directory_; }

  // The pages, for tests that need to reach behind the controls.
  MainAgentPage* agent_page() const { return agent_page_; }
  MainSettingsPage* settings_page() const { return settings_page_; }
  MainMailboxPage* mailbox_page() const { return mailbox_page_; }
  QTabWidget* tabs() const { return tabs_; }

  void accept() override;

 private:
  void OnTabChanged(int index);
  // Validates and commits the page at the index; true when it may be left.
  bool LeavePage(int index);

  QTabWidget* tabs_ = nullptr;
  MainAgentPage* agent_page_ = nullptr;
  MainSettingsPage* settings_page_ = nullptr;
  MainMailboxPage* mailbox_page_ = nullptr;
  std::string base_directory_;
  int shown_index_ = 0;
  bool switching_back_ = false;
};

}  // namespace quor
