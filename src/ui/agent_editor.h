#pragma once
// The agent editor: a modal tabbed sheet ("General", "Extraction", "Actions")
// in which the user defines one mail agent. It is built from a copy of the
// agent and never touches the original; after exec() returned Accepted the
// caller takes EditedAgent() and applies it. Cancel simply drops the sheet.
//
// The pages own their working lists; the Actions page reads the Extraction
// page's working rules (for the Save Data editor's "Available Data:") through
// a function the sheet wires up, so both pages live as long as the sheet.
// User-interface thread only.

#include <QDialog>
#include <QString>

#include "config/mail_agent.h"

class QTabWidget;

namespace quor {

class AgentActionsPage;
class AgentExtractPage;
class AgentGenPage;

class AgentEditor : public QDialog {
  Q_OBJECT

 public:
  // title: "New Mail Agent" or "Edit Mail Agent". Works on a copy of agent.
  AgentEditor(const QString& title, const MailAgent& agent, QWidget* parent = nullptr);

  // After exec() == Accepted: the agent with the edited name and three lists;
  // its enabled flag is the one it came with.
  MailAgent EditedAgent() const;

  // The pages, for tests.
  AgentGenPage* generalPage() const { return general_; }
  AgentExtractPage* extractionPage() const { return extraction_; }
  AgentActionsPage* actionsPage() const { return actions_; }

 private:
  MailAgent agent_;
  QTabWidget* tabs_ = nullptr;
  AgentGenPage* general_ = nullptr;
  AgentExtractPage* extraction_ = nullptr;
  AgentActionsPage* actions_ = nullptr;
};

}  // namespace quor
