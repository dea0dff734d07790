#pragma once
// Editor of a "Forward Incoming Message" action: the recipient list, typed or
// picked from the message's own addresses. Property written on OK: "mailto".
// User-interface thread only.

#include "ui/action_dialog.h"

namespace quor {

class SuggestionBox;

class ForwardMessageDialog : public ActionDialog {
  Q_OBJECT

 public:
  explicit ForwardMessageDialog(const AgentAction& action, QWidget* parent = nullptr);

 protected:
  void StoreProperties(AgentAction& action) const override;

 private:
  SuggestionBox* forward_to_ = nullptr;
};

}  // namespace quor
