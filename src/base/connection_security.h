#pragma once
// How a connection to a mail server is protected. The values are the ones
// the profile stores (POPSecurity<n>, SMTPSecurity), so they never change.
//
// kStartTls and kImplicitTls both require TLS: a server that cannot do it
// gets nothing of the login or the mail. Only kNone talks in clear.

#include <cstdint>

namespace quor {

enum class ConnectionSecurity : int32_t {
  kNone = 0,         // plain text, as every profile written before TLS existed
  kStartTls = 1,     // plain connection switched to TLS first (POP3 STLS, SMTP STARTTLS)
  kImplicitTls = 2,  // TLS from the first byte (POP3S, SMTPS)
};

// The stored number read back: 0, 1 or 2 as they are; any other number is a
// damaged value and counts as TLS from the first byte, so that damage never
// turns a protected connection into a clear one.
inline ConnectionSecurity ConnectionSecurityFromNumber(int32_t number) {
  if (number == 0) return ConnectionSecurity::kNone;
  if (number == 1) return ConnectionSecurity::kStartTls;
  return ConnectionSecurity::kImplicitTls;
}

}  // namespace quor
