#include "ui/security_box.h"

namespace quor {

SecurityBox::SecurityBox(ConnectionSecurity security, QWidget* parent) : QComboBox(parent) {
  // Each item carries the number the profile stores.
  addItem(tr("None"), static_cast<int>(ConnectionSecurity::kNone));
  addItem(tr("STARTTLS"), static_cast<int>(ConnectionSecurity::kStartTls));
  addItem(tr("SSL/TLS"), static_cast<int>(ConnectionSecurity::kImplicitTls));
  SetSecurity(security);
}

void SecurityBox::SetSecurity(ConnectionSecurity security) {
  // A value outside the three reads as the profile reads it, so that the box
  // always shows one of its items.
  const ConnectionSecurity shown = ConnectionSecurityFromNumber(static_cast<int32_t>(security));
  setCurrentIndex(findData(static_cast<int>(shown)));
}

ConnectionSecurity SecurityBox::Security() const {
  return ConnectionSecurityFromNumber(currentData().toInt());
}

}  // namespace quor
