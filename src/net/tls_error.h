#pragma once
// Why a mail session could not be protected, and the one log line that says
// so. Both mail clients report their TLS failures in this form, so the POP3
// pass and the SMTP actions log them alike.

#include <string>

namespace quor {

enum class TlsFailure {
  kNone,
  kNotOffered,             // CAPA or EHLO did not list STLS / STARTTLS
  kRefused,                // the server answered STLS / STARTTLS with a refusal
  kDataBeforeHandshake,    // clear text arrived between the reply and the handshake
  kAuthorityFileUnusable,  // CAFile could not be read as PEM certificates
  kUntrusted,              // no trusted authority vouches for the certificate
  kNameMismatch,           // the certificate is for another host name or address
  kExpired,
  kNotYetValid,
  kCertificateRejected,  // any other certificate problem
  kHandshakeFailed,      // the TLS handshake itself failed or timed out
  kLoginInClear,         // an SMTP login would have crossed the network unencrypted
};

struct TlsError {
  TlsFailure failure = TlsFailure::kNone;
  // Names what failed: the command (STLS, STARTTLS), the server's reply, the
  // host, the file, or the TLS library's reason, as the failure needs.
  std::string detail;

  explicit operator bool() const { return failure != TlsFailure::kNone; }
};

// "ERROR - TLS: " and the reason, e.g. "ERROR - TLS: certificate expired.".
// Never holds a password: no failure carries one.
std::string TlsErrorLine(const TlsError& error);

}  // namespace quor
