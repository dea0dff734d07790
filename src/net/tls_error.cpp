#include "net/tls_error.h"

namespace quor {

namespace {

// " (detail)" when there is a detail.
std::string InParentheses(const std::string& detail) {
  return detail.empty() ? std::string() : " (" + detail + ")";
}

std::string Reason(const TlsError& error) {
  switch (error.failure) {
    case TlsFailure::kNone:
      return "no failure";
    case TlsFailure::kNotOffered:
      return "server does not offer " + error.detail;
    case TlsFailure::kRefused:
      return "server refused " + error.detail;
    case TlsFailure::kDataBeforeHandshake:
      return "server sent data before the handshake";
    case TlsFailure::kAuthorityFileUnusable:
      return "cannot read the certificates of CAFile " + error.detail;
    case TlsFailure::kUntrusted:
      return "certificate not trusted" + InParentheses(error.detail);
    case TlsFailure::kNameMismatch:
      return "certificate name does not match " + error.detail;
    case TlsFailure::kExpired:
      return "certificate expired";
    case TlsFailure::kNotYetValid:
      return "certificate not yet valid";
    case TlsFailure::kCertificateRejected:
      return "certificate rejected" + InParentheses(error.detail);
    case TlsFailure::kHandshakeFailed:
      return "handshake failed" + InParentheses(error.detail);
    case TlsFailure::kLoginInClear:
      return "SMTP login not sent over an unencrypted connection";
  }
  return "unknown failure";
}

}  // namespace

std::string TlsErrorLine(const TlsError& error) { return "ERROR - TLS: " + Reason(error) + "."; }

}  // namespace quor
