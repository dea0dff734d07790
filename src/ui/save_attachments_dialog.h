#pragma once
// Editor of a "Save Attachments" action: the output directory and how the
// saved files are named. Properties written on OK: "directory", "basefile",
// "usename" (flag) and "usenumbering" (flag). User-interface thread only.

#include "ui/action_dialog.h"

class QCheckBox;
class QLineEdit;

namespace quor {

class SaveAttachmentsDialog : public ActionDialog {
  Q_OBJECT

 public:
  explicit SaveAttachmentsDialog(const AgentAction& action, QWidget* parent = nullptr);

  // The directory chooser behind "..." beside "Output directory:"; it returns
  // the chosen directory, or an empty text when cancelled. Tests replace it.
  void SetDirectoryChooser(FileChooser chooser) { directory_chooser_ = std::move(chooser); }

 protected:
  void StoreProperties(AgentAction& action) const override;

 private:
  void ChooseDirectory();

  QLineEdit* directory_ = nullptr;
  QLineEdit* base_file_ = nullptr;
  QCheckBox* use_name_ = nullptr;
  QCheckBox* use_numbering_ = nullptr;
  FileChooser directory_chooser_;
};

}  // namespace quor
