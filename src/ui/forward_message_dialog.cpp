#include "ui/forward_message_dialog.h"

#include <QFormLayout>

#include "ui/suggestion_box.h"

namespace quor {

ForwardMessageDialog::ForwardMessageDialog(const AgentAction& action, QWidget* parent)
    : ActionDialog(QStringLiteral("Forward Incoming Message"), action, parent) {
  forward_to_ = new SuggestionBox({"{Recipient}", "{Reply-To}", "{Sender}"}, this);
  forward_to_->SetText(Text("mailto"));
  forward_to_->setMinimumContentsLength(32);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Forward to:"), forward_to_);
  SetContent(form);
}

void ForwardMessageDialog::StoreProperties(AgentAction& action) const {
  SetText(action, "mailto", forward_to_->Text());
}

}  // namespace quor
