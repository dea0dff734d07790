#pragma once
// Editor of a "Save Message Data to a File" action: the output file, append
// or replace, and what is written (the whole message, a template file, or the
// format lines typed here, with an "Available Data:" list of the tokens the
// format may use).
//
// Properties written on OK: "outfile", "append" (flag), "savemethod" ("0",
// "1", "2" for the ticked "Contents" button, "-1" when none is ticked),
// "templatefile", "linecount" and "line0" .. "line<count-1>". Line entries
// beyond a shorter new format are left in place.
//
// The extraction rules are those of the agent being edited, as they stand
// when the dialog opens (also rules not yet confirmed with OK); the dialog
// reads them once and keeps no reference. User-interface thread only.

#include <vector>

#include "ui/action_dialog.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;

namespace quor {

class SaveDataDialog : public ActionDialog {
  Q_OBJECT

 public:
  SaveDataDialog(const AgentAction& action, const std::vector<AgentExtraction>& rules,
                 QWidget* parent = nullptr);

  // The choosers behind "..." beside "Output filename:" and the template
  // field; tests replace them.
  void SetOutputChooser(FileChooser chooser) { output_chooser_ = std::move(chooser); }
  void SetTemplateChooser(FileChooser chooser) { template_chooser_ = std::move(chooser); }

 protected:
  void StoreProperties(AgentAction& action) const override;

 private:
  void ChooseOutput();
  void ChooseTemplate();
  void InsertData();

  QLineEdit* output_file_ = nullptr;
  QCheckBox* append_ = nullptr;
  QRadioButton* methods_[3] = {};
  QLineEdit* template_file_ = nullptr;
  QComboBox* available_data_ = nullptr;
  QPlainTextEdit* format_ = nullptr;
  FileChooser output_chooser_;
  FileChooser template_chooser_;
};

// The items of "Available Data:" in the order shown: "{name}" for every rule
// with a variable name (twice for a name used twice), and the six message
// fields, alphabetically.
QStringList AvailableDataItems(const std::vector<AgentExtraction>& rules);

// The format text as stored lines: one entry per line, each cut to 1023
// characters; an empty text is one empty line.
QStringList FormatLines(const QString& format);

}  // namespace quor
