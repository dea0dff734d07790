#pragma once
// Editor of a "Send an Outgoing Message" action: recipients, copy recipients,
// subject, the message template file and the list of files to attach.
// Properties written on OK: "mailto", "cclist", "subject", "message",
// "attachCount" and "attach0" .. "attach<count-1>"; attachment entries beyond a
// shorter new list are left in place (the count says how many are in use).
// User-interface thread only.

#include "ui/action_dialog.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace quor {

class SuggestionBox;

class SendMessageDialog : public ActionDialog {
  Q_OBJECT

 public:
  explicit SendMessageDialog(const AgentAction& action, QWidget* parent = nullptr);

  // The choosers behind the "..." buttons of "Message Template:" and
  // "File to Attach:"; tests replace them.
  void SetTemplateChooser(FileChooser chooser) { template_chooser_ = std::move(chooser); }
  void SetAttachmentChooser(FileChooser chooser) { attachment_chooser_ = std::move(chooser); }

 protected:
  void StoreProperties(AgentAction& action) const override;

 private:
  void ChooseTemplate();
  void ChooseAttachment();
  void AddAttachment();
  void RemoveAttachment();

  SuggestionBox* mail_to_ = nullptr;
  SuggestionBox* cc_ = nullptr;
  SuggestionBox* subject_ = nullptr;
  QLineEdit* template_file_ = nullptr;
  QLineEdit* file_to_attach_ = nullptr;
  QListWidget* attachments_ = nullptr;
  FileChooser template_chooser_;
  FileChooser attachment_chooser_;
};

}  // namespace quor
