#include "ui/agent_trial_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quor {

AgentTrialDialog::AgentTrialDialog(const QString& trace, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Agent Test"));
  auto* label = new QLabel(
      QStringLiteral("&What the agent would do with this message (nothing was done):"), this);
  text_ = new QPlainTextEdit(trace, this);
  text_->setReadOnly(true);
  // Read-only, yet the keyboard can move through it and select.
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text_->setTabChangesFocus(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setAccessibleName(QStringLiteral("Agent test trace"));
  label->setBuddy(text_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
  copy->setAccessibleName(QStringLiteral("Copy the trace"));
  QPushButton* close = buttons->button(QDialogButtonBox::Close);
  close->setAccessibleName(QStringLiteral("Close"));
  connect(copy, &QPushButton::clicked, this, &AgentTrialDialog::CopyTrace);
  connect(buttons, &QDialogButtonBox::rejected, this, &AgentTrialDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(text_, 1);
  layout->addWidget(buttons);
  setTabOrder(text_, copy);
  setTabOrder(copy, close);
  resize(720, 480);
  text_->setFocus();
}

QString AgentTrialDialog::trace() const { return text_->toPlainText(); }

void AgentTrialDialog::CopyTrace() { QApplication::clipboard()->setText(text_->toPlainText()); }

}  // namespace quor
