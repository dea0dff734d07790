#pragma once
// Where a dialog's keyboard focus starts: on its first field, never on its
// buttons or its tab bar, so that typing goes into the field at once and Enter
// takes what was typed. UI thread only.

class QWidget;

namespace quor {

// Gives the focus to the first control inside container, in Tab order, that
// Tab would stop at (enabled, not hidden). May be called before the window is
// shown: the control then gets the focus when the window becomes active.
void FocusFirstField(QWidget* container);

}  // namespace quor
