#pragma once
// The agent editor: a modal tabbed sheet ("General", "Extraction", "Actions")
// in which the user defines one mail agent. It is built from a copy of the
// agent and never touches the original; after exec() returned Accepted the
// caller takes EditedAgent() and applies it. Cancel simply drops the sheet.
//
// The pages own their working lists; the Actions page reads the Extraction
// page's working rules (for the Save Data editor's "Available Data:") through
// a function the sheet wires up, so both pages live as long as the sheet.
//
// "&Test..." tries the agent as it stands in the editor (not yet accepted) on
// a message file the user picks, and shows the trace in an AgentTrialDialog:
// nothing is sent, written, deleted or started.
// User-interface thread only.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>

#include "app/message_trial.h"
#include "config/mail_agent.h"

class QTabWidget;

namespace quor {

class AgentActionsPage;
class AgentExtractPage;
class AgentGenPage;
class AgentTrialDialog;

class AgentEditor : public QDialog {
  Q_OBJECT

 public:
  // title: "New Mail Agent" or "Edit Mail Agent". Works on a copy of agent.
  AgentEditor(const QString& title, const MailAgent& agent, QWidget* parent = nullptr);

  // After exec() == Accepted: the agent with the edited name and three lists;
  // its enabled flag is the one it came with.
  MailAgent EditedAgent() const;

  // What a test needs beside the agent (settings, base folder, mailbox),
  // asked for when the user tests; without one, default settings.
  void setTrialSetting(std::function<TrialSetting()> source) { trial_setting_ = std::move(source); }
  // How "&Test..." picks the message file: a path, or empty when the user
  // cancelled. The default asks with a file dialog; tests put their own.
  void setMessageFilePicker(std::function<QString(QWidget* parent)> picker) {
    pick_message_file_ = std::move(picker);
  }
  // The trace dialog the last test opened (null before, or once closed).
  AgentTrialDialog* trialDialog() const;

  // The pages, for tests.
  AgentGenPage* generalPage() const { return general_; }
  AgentExtractPage* extractionPage() const { return extraction_; }
  AgentActionsPage* actionsPage() const { return actions_; }

 private:
  void TestAgent();

  MailAgent agent_;
  std::function<TrialSetting()> trial_setting_;
  std::function<QString(QWidget*)> pick_message_file_;
  QPointer<AgentTrialDialog> trial_dialog_;
  QTabWidget* tabs_ = nullptr;
  AgentGenPage* general_ = nullptr;
  AgentExtractPage* extraction_ = nullptr;
  AgentActionsPage* actions_ = nullptr;
};

}  // namespace quor
