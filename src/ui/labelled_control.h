#pragma once
// The label of a form row whose control is not named by its own text: a
// drop-down, which would otherwise be read by its current item. UI thread only.

class QLabel;
class QString;
class QWidget;

namespace quor {

// Makes a label with text, which may carry a mnemonic ("&Security:"), for
// control: the label's buddy is the control, so the mnemonic focuses it and
// screen readers that follow the label relation (AT-SPI) name the control by
// it, and the control's accessible name is the label's text as it reads,
// without the mnemonic marker ("Security:").
QLabel* NewControlLabel(const QString& text, QWidget* control, QWidget* parent);

}  // namespace quor
