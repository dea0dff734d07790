#include "ui/send_message_dialog.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "ui/suggestion_box.h"

namespace quor {

namespace {

// A text field with its "..." button beside it.
QHBoxLayout* FieldWithBrowse(QLineEdit* field, QPushButton* browse) {
  auto* row = new QHBoxLayout;
  row->addWidget(field, 1);
  row->addWidget(browse);
  return row;
}

}  // namespace

SendMessageDialog::SendMessageDialog(const AgentAction& action, QWidget* parent)
    : ActionDialog(QStringLiteral("Send Message"), action, parent) {
  mail_to_ = new SuggestionBox({"{Recipient}", "{Reply-To}", "{Sender}"}, this);
  mail_to_->SetText(Text("mailto"));
  cc_ = new SuggestionBox({"{Recipient}", "{Reply-To}", "{Sender}"}, this);
  cc_->SetText(Text("cclist"));
  subject_ = new SuggestionBox({"{Recipient}", "{Reply-To}", "{Subject}"}, this);
  subject_->SetText(Text("subject"));
  for (SuggestionBox* box : {mail_to_, cc_, subject_}) box->setMinimumContentsLength(32);

  auto* addresses = new QGroupBox(this);
  auto* address_form = new QFormLayout(addresses);
  address_form->addRow(QStringLiteral("Mail To:"), mail_to_);
  address_form->addRow(QStringLiteral("CC:"), cc_);
  address_form->addRow(QStringLiteral("Subject:"), subject_);

  template_file_ = new QLineEdit(Text("message"), this);
  auto* browse_template = new QPushButton(QStringLiteral("..."), this);
  browse_template->setAccessibleDescription(QStringLiteral("Choose the message template"));
  file_to_attach_ = new QLineEdit(this);
  auto* browse_attachment = new QPushButton(QStringLiteral("..."), this);
  browse_attachment->setAccessibleDescription(QStringLiteral("Choose a file to attach"));
  auto* add = new QPushButton(QStringLiteral("&Add attachment"), this);
  auto* remove = new QPushButton(QStringLiteral("&Remove attachment"), this);
  attachments_ = new QListWidget(this);
  attachments_->setAccessibleName(QStringLiteral("Attachments"));
  attachments_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Listed in index order: the list order is the attachment order.
  attachments_->addItems(NumberedList("attachCount", "attach"));

  auto* files = new QGroupBox(this);
  auto* file_form = new QFormLayout;
  auto* template_label = new QLabel(QStringLiteral("Message Template:"), this);
  template_label->setBuddy(template_file_);
  file_form->addRow(template_label, FieldWithBrowse(template_file_, browse_template));
  auto* attach_label = new QLabel(QStringLiteral("File to Attach:"), this);
  attach_label->setBuddy(file_to_attach_);
  file_form->addRow(attach_label, FieldWithBrowse(file_to_attach_, browse_attachment));
  auto* attachment_buttons = new QHBoxLayout;
  attachment_buttons->addWidget(add);
  attachment_buttons->addWidget(remove);
  attachment_buttons->addStretch(1);
  auto* files_layout = new QVBoxLayout(files);
  files_layout->addLayout(file_form);
  files_layout->addLayout(attachment_buttons);
  files_layout->addWidget(attachments_);

  template_chooser_ = [this] {
    return QFileDialog::getOpenFileName(this, QString(), template_file_->text(),
                                        QStringLiteral("All Files (*)"));
  };
  attachment_chooser_ = [this] {
    return QFileDialog::getOpenFileName(this, QString(), file_to_attach_->text(),
                                        QStringLiteral("All Files (*)"));
  };
  connect(browse_template, &QPushButton::clicked, this, &SendMessageDialog::ChooseTemplate);
  connect(browse_attachment, &QPushButton::clicked, this, &SendMessageDialog::ChooseAttachment);
  connect(add, &QPushButton::clicked, this, &SendMessageDialog::AddAttachment);
  connect(remove, &QPushButton::clicked, this, &SendMessageDialog::RemoveAttachment);

  auto* content = new QVBoxLayout;
  content->addWidget(addresses);
  content->addWidget(files);
  SetContent(content);
}

void SendMessageDialog::ChooseTemplate() {
  const QString path = template_chooser_();
  if (!path.isEmpty()) template_file_->setText(path);
}

void SendMessageDialog::ChooseAttachment() {
  const QString path = attachment_chooser_();
  if (!path.isEmpty()) file_to_attach_->setText(path);
}

void SendMessageDialog::AddAttachment() {
  // The field keeps its text so that similar paths are quick to add.
  const QString path = file_to_attach_->text();
  if (path.isEmpty()) return;
  attachments_->addItem(path);
}

void SendMessageDialog::RemoveAttachment() {
  const QList<QListWidgetItem*> selected = attachments_->selectedItems();
  if (selected.isEmpty()) return;
  std::unique_ptr<QListWidgetItem> removed(
      attachments_->takeItem(attachments_->row(selected.first())));
}

void SendMessageDialog::StoreProperties(AgentAction& action) const {
  SetText(action, "mailto", mail_to_->Text());
  SetText(action, "cclist", cc_->Text());
  SetText(action, "subject", subject_->Text());
  SetText(action, "message", template_file_->text());
  QStringList entries;
  for (int row = 0; row < attachments_->count(); ++row)
    entries.append(attachments_->item(row)->text());
  SetNumberedList(action, "attachCount", "attach", entries);
}

}  // namespace quor
