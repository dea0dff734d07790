#pragma once
// The drop-down that picks how a connection is protected: the Mailboxes
// page's "Security:" and the Settings page's "SMTP Security:". The one place
// where the three ConnectionSecurity values get the texts the user sees:
// "None", "STARTTLS" and "SSL/TLS", in that order. UI thread only.

#include <QComboBox>

#include "base/connection_security.h"

namespace quor {

class SecurityBox : public QComboBox {
  Q_OBJECT

 public:
  // Shows security.
  explicit SecurityBox(ConnectionSecurity security, QWidget* parent = nullptr);

  void SetSecurity(ConnectionSecurity security);
  ConnectionSecurity Security() const;
};

}  // namespace quor
