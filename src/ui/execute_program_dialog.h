#pragma once
// Editor of a "Run an External Program" action: the program, its arguments
// and whether the agent waits for it. Properties written on OK: "program",
// "arguments", "wait" (flag). User-interface thread only.

#include "ui/action_dialog.h"

class QCheckBox;
class QLineEdit;

namespace quor {

class ExecuteProgramDialog : public ActionDialog {
  Q_OBJECT

 public:
  explicit ExecuteProgramDialog(const AgentAction& action, QWidget* parent = nullptr);

  // The chooser behind "..." beside "Program Path:"; tests replace it.
  void SetProgramChooser(FileChooser chooser) { program_chooser_ = std::move(chooser); }

 protected:
  void StoreProperties(AgentAction& action) const override;

 private:
  void ChooseProgram();

  QLineEdit* program_ = nullptr;
  QLineEdit* arguments_ = nullptr;
  QCheckBox* wait_ = nullptr;
  FileChooser program_chooser_;
};

}  // namespace quor
