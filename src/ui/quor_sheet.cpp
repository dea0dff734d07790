#include "ui/quor_sheet.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/agent_editor.h"
#include "ui/first_field.h"
#include "ui/main_agent_page.h"
#include "ui/main_mailbox_page.h"
#include "ui/main_settings_page.h"

namespace quor {

namespace {

std::optional<MailAgent> EditInAgentEditor(QuorSheet* sheet, const QString& title,
                                           const MailAgent& agent) {
  AgentEditor editor(title, agent, sheet);
  // A test uses the settings as they stand in the sheet.
  editor.setTrialSetting([sheet] {
    TrialSetting setting{sheet->settings(), sheet->base_directory(), std::string()};
    const std::vector<MailboxAccount> mailboxes = sheet->mailboxes();
    if (!mailboxes.empty()) setting.mailbox = mailboxes.front().Label();
    return setting;
  });
  if (editor.exec() != QDialog::Accepted) return std::nullopt;
  return editor.EditedAgent();
}

}  // namespace

QuorSheet::QuorSheet(const Configuration& configuration, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Quor Setup"));

  tabs_ = new QTabWidget(this);
  agent_page_ = new MainAgentPage(
      configuration.agents,
      [this](const QString& title, const MailAgent& agent) {
        return EditInAgentEditor(this, title, agent);
      },
      tabs_);
  settings_page_ = new MainSettingsPage(configuration.settings, tabs_);
  mailbox_page_ = new MainMailboxPage(configuration.mailboxes, tabs_);
  tabs_->addTab(agent_page_, tr("Mail Agents"));
  tabs_->addTab(settings_page_, tr("Settings"));
  tabs_->addTab(mailbox_page_, tr("Mailboxes"));
  tabs_->setCurrentIndex(0);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QuorSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QuorSheet::reject);
  connect(tabs_, &QTabWidget::currentChanged, this, &QuorSheet::OnTabChanged);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons);
  // The tab bar comes first in Tab order; the sheet opens on the agent list.
  FocusFirstField(agent_page_);
}

Configuration QuorSheet::configuration() const {
  return Configuration{settings(), mailboxes(), agents()};
}

Settings QuorSheet::settings() const { return settings_page_->settings(); }

std::vector<MailAgent> QuorSheet::agents() const { return agent_page_->agents(); }

std::vector<MailboxAccount> QuorSheet::mailboxes() const { return mailbox_page_->mailboxes(); }

void QuorSheet::accept() {
  if (!LeavePage(tabs_->currentIndex())) return;
  QDialog::accept();
}

void QuorSheet::OnTabChanged(int index) {
  if (switching_back_) return;
  const int left = shown_index_;
  // QTabWidget has already switched; go back to the page being left while it
  // is checked, so a validation message stands over the page it is about.
  switching_back_ = true;
  tabs_->setCurrentIndex(left);
  const bool may_leave = LeavePage(left);
  if (may_leave) {
    tabs_->setCurrentIndex(index);
    shown_index_ = index;
  }
  switching_back_ = false;
}

bool QuorSheet::LeavePage(int index) {
  if (tabs_->widget(index) == settings_page_) return settings_page_->CommitControls();
  return true;
}

}  // namespace quor
