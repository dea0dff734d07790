#include "ui/save_attachments_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quor {

SaveAttachmentsDialog::SaveAttachmentsDialog(const AgentAction& action, QWidget* parent)
    : ActionDialog(QStringLiteral("Save Message Attachments"), action, parent) {
  directory_ = new QLineEdit(Text("directory"), this);
  directory_->setMinimumWidth(280);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setAccessibleDescription(QStringLiteral("Choose the output directory"));
  base_file_ = new QLineEdit(Text("basefile"), this);
  use_name_ = new QCheckBox(
      QStringLiteral("Use original filename if available (ignores base filename)"), this);
  use_name_->setChecked(Flag("usename"));
  use_numbering_ = new QCheckBox(
      QStringLiteral("Append a unique number to the filename (file1, file2, etc.)"), this);
  use_numbering_->setChecked(Flag("usenumbering"));

  directory_chooser_ = [this] {
    return QFileDialog::getExistingDirectory(this, QString(), directory_->text());
  };
  connect(browse, &QPushButton::clicked, this, &SaveAttachmentsDialog::ChooseDirectory);

  auto* directory_row = new QHBoxLayout;
  directory_row->addWidget(directory_, 1);
  directory_row->addWidget(browse);
  auto* directory_label = new QLabel(QStringLiteral("Output directory:"), this);
  directory_label->setBuddy(directory_);
  auto* top = new QFormLayout;
  top->addRow(directory_label, directory_row);

  auto* naming = new QGroupBox(QStringLiteral("Filename"), this);
  auto* naming_form = new QFormLayout(naming);
  naming_form->addRow(QStringLiteral("Base filename:"), base_file_);
  naming_form->addRow(use_name_);
  naming_form->addRow(use_numbering_);

  auto* content = new QVBoxLayout;
  content->addLayout(top);
  content->addWidget(naming);
  SetContent(content);
}

void SaveAttachmentsDialog::ChooseDirectory() {
  const QString directory = directory_chooser_();
  if (!directory.isEmpty()) directory_->setText(directory);
}

void SaveAttachmentsDialog::StoreProperties(AgentAction& action) const {
  SetText(action, "directory", directory_->text());
  SetText(action, "basefile", base_file_->text());
  SetFlag(action, "usename", use_name_->isChecked());
  SetFlag(action, "usenumbering", use_numbering_->isChecked());
}

}  // namespace quor
