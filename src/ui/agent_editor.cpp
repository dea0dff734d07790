#include "ui/agent_editor.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/agent_actions_page.h"
#include "ui/agent_extract_page.h"
#include "ui/agent_gen_page.h"
#include "ui/first_field.h"

namespace quor {

AgentEditor::AgentEditor(const QString& title, const MailAgent& agent, QWidget* parent)
    : QDialog(parent), agent_(agent) {
  setWindowTitle(title);
  tabs_ = new QTabWidget(this);
  general_ = new AgentGenPage(agent.name, agent.conditions, tabs_);
  extraction_ = new AgentExtractPage(agent.extractions, tabs_);
  actions_ = new AgentActionsPage(
      agent.actions, [this] { return extraction_->extractions(); }, tabs_);
  tabs_->addTab(general_, QStringLiteral("General"));
  tabs_->addTab(extraction_, QStringLiteral("Extraction"));
  tabs_->addTab(actions_, QStringLiteral("Actions"));
  tabs_->setCurrentIndex(0);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &AgentEditor::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AgentEditor::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
  resize(560, 440);
  // The tab bar comes first in Tab order; the editor opens on the name.
  FocusFirstField(general_);
}

MailAgent AgentEditor::EditedAgent() const {
  MailAgent edited = agent_;
  edited.name = general_->agentName();
  edited.conditions = general_->conditions();
  edited.extractions = extraction_->extractions();
  edited.actions = actions_->actions();
  return edited;
}

}  // namespace quor
