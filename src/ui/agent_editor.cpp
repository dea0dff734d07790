#include "ui/agent_editor.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStringList>
#include <QTabWidget>
#include <QVBoxLayout>

#include "base/log_sink.h"
#include "ui/agent_actions_page.h"
#include "ui/agent_editor_text.h"
#include "ui/agent_extract_page.h"
#include "ui/agent_gen_page.h"
#include "ui/agent_trial_dialog.h"
#include "ui/first_field.h"

namespace quor {

namespace {

class TraceLines : public LogSink {
 public:
  void AddLine(const std::string& line) override { lines.append(ToQString(line)); }
  QStringList lines;
};

QString AskForMessageFile(QWidget* parent) {
  return QFileDialog::getOpenFileName(
      parent, QStringLiteral("Test the Agent on a Message"), QString(),
      QStringLiteral("Messages (*.eml *.txt *.msg);;All files (*)"));
}

}  // namespace

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

  // Made before OK and Cancel, so Tab reaches it first, as it stands left of them.
  auto* test = new QPushButton(QStringLiteral("&Test..."), this);
  test->setAccessibleName(QStringLiteral("Test the agent on a message file"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  pick_message_file_ = AskForMessageFile;
  connect(test, &QPushButton::clicked, this, &AgentEditor::TestAgent);
  connect(buttons, &QDialogButtonBox::accepted, this, &AgentEditor::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AgentEditor::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(test);
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  layout->addLayout(bottom);
  resize(560, 440);
  // The tab bar comes first in Tab order; the editor opens on the name.
  FocusFirstField(general_);
}

AgentTrialDialog* AgentEditor::trialDialog() const { return trial_dialog_.data(); }

void AgentEditor::TestAgent() {
  const QString path = pick_message_file_(this);
  if (path.isEmpty()) return;
  const TrialSetting setting = trial_setting_ ? trial_setting_() : TrialSetting{};
  TraceLines trace;
  // The working copy, enabled or not: the user asked for this agent.
  TryAgentsOnFile({EditedAgent()}, ToStdString(path), setting, trace);
  if (trial_dialog_) trial_dialog_->close();
  trial_dialog_ = new AgentTrialDialog(trace.lines.join('\n'), this);
  trial_dialog_->setAttribute(Qt::WA_DeleteOnClose);
  trial_dialog_->open();
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
