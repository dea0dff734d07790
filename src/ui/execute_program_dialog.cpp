#include "ui/execute_program_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quor {

ExecuteProgramDialog::ExecuteProgramDialog(const AgentAction& action, QWidget* parent)
    : ActionDialog(QStringLiteral("Execute a Program"), action, parent) {
  program_ = new QLineEdit(Text("program"), this);
  program_->setMinimumWidth(280);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setAccessibleDescription(QStringLiteral("Choose the program"));
  arguments_ = new QLineEdit(Text("arguments"), this);
  wait_ = new QCheckBox(QStringLiteral("Wait until program completes"), this);
  wait_->setChecked(Flag("wait"));

  program_chooser_ = [this] {
    return QFileDialog::getOpenFileName(this, QString(), program_->text(),
                                        QStringLiteral("Executable Files (*.exe);;All Files (*)"));
  };
  connect(browse, &QPushButton::clicked, this, &ExecuteProgramDialog::ChooseProgram);

  auto* program_row = new QHBoxLayout;
  program_row->addWidget(program_, 1);
  program_row->addWidget(browse);
  auto* form = new QFormLayout;
  auto* program_label = new QLabel(QStringLiteral("Program Path:"), this);
  program_label->setBuddy(program_);
  form->addRow(program_label, program_row);
  form->addRow(QStringLiteral("Arguments:"), arguments_);
  form->addRow(wait_);
  SetContent(form);
}

void ExecuteProgramDialog::ChooseProgram() {
  const QString path = program_chooser_();
  if (!path.isEmpty()) program_->setText(path);
}

void ExecuteProgramDialog::StoreProperties(AgentAction& action) const {
  SetText(action, "program", program_->text());
  SetText(action, "arguments", arguments_->text());
  SetFlag(action, "wait", wait_->isChecked());
}

}  // namespace quor
