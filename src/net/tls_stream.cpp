#include "net/tls_stream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "net/host_lookup.h"
#include "net/line_reader.h"

namespace quor {

// The BIO that carries the TLS records through the inner ByteStream. Reads
// and writes wait until the deadline of the TLS call in progress. A read
// that times out asks OpenSSL to retry later, which leaves the session
// usable; a failed write is final, since part of a record may have gone.
class TlsStream::Bio {
 public:
  static BIO* Make(TlsStream& owner) {
    BIO* bio = BIO_new(Method());
    if (bio == nullptr) return nullptr;
    BIO_set_data(bio, &owner);
    BIO_set_init(bio, 1);
    return bio;
  }

 private:
  static const BIO_METHOD* Method() {
    // Made once, on first use, and kept for the life of the process.
    static BIO_METHOD* const method = [] {
      BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "quor stream");
      BIO_meth_set_read_ex(made, ReadBytes);
      BIO_meth_set_write_ex(made, WriteBytes);
      BIO_meth_set_ctrl(made, Control);
      BIO_meth_set_create(made, [](BIO*) { return 1; });
      BIO_meth_set_destroy(made, [](BIO*) { return 1; });
      return made;
    }();
    return method;
  }

  static TlsStream& Owner(BIO* bio) { return *static_cast<TlsStream*>(BIO_get_data(bio)); }

  static int ReadBytes(BIO* bio, char* buffer, size_t size, size_t* read) {
    TlsStream& owner = Owner(bio);
    BIO_clear_retry_flags(bio);
    *read = 0;
    if (size > INT_MAX) size = INT_MAX;
    int count = owner.inner_->Read(buffer, size, owner.deadline_);
    if (count > 0) {
      *read = static_cast<size_t>(count);
      return 1;
    }
    if (count == 0) {
      owner.inner_closed_ = true;
      return 0;
    }
    owner.inner_error_ = count;
    if (count == -ETIMEDOUT) BIO_set_retry_read(bio);
    return 0;
  }

  static int WriteBytes(BIO* bio, const char* data, size_t length, size_t* written) {
    TlsStream& owner = Owner(bio);
    BIO_clear_retry_flags(bio);
    *written = 0;
    size_t done = 0;
    while (done < length) {
      size_t piece = length - done > INT_MAX ? INT_MAX : length - done;
      int count = owner.inner_->Write(data + done, piece, owner.deadline_);
      if (count < 0) {
        owner.inner_error_ = count;
        return 0;
      }
      done += static_cast<size_t>(count);
    }
    *written = done;
    return 1;
  }

  static long Control(BIO* bio, int command, long, void*) {
    switch (command) {
      case BIO_CTRL_FLUSH:
        return 1;  // every write goes out whole
      case BIO_CTRL_EOF:
        return Owner(bio).inner_closed_ ? 1 : 0;
      default:
        return 0;
    }
  }
};

namespace {

constexpr size_t kReadBufferSize = 64 * 1024;

// The TLS library's reason for the last failure on this thread, such as
// "wrong version number"; empty when it gave none.
std::string LibraryReason() {
  unsigned long code = ERR_peek_last_error();
  if (code == 0) return {};
  const char* reason = ERR_reason_error_string(code);
  return reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(code));
}

TlsError CertificateError(long verify_result, const std::string& host) {
  const std::string text = X509_verify_cert_error_string(verify_result);
  switch (verify_result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return {TlsFailure::kExpired, text};
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return {TlsFailure::kNotYetValid, text};
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return {TlsFailure::kNameMismatch, host};
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return {TlsFailure::kUntrusted, text};
    default:
      return {TlsFailure::kCertificateRejected, text};
  }
}

}  // namespace

TlsStream::TlsStream(std::unique_ptr<ByteStream> inner) : inner_(std::move(inner)) {}

TlsStream::~TlsStream() {
  Close();
  SSL_free(session_);  // frees the BIO with it
  SSL_CTX_free(context_);
}

int TlsStream::StartInSession(std::unique_ptr<ByteStream>& stream, LineReader& reader,
                              const std::string& host, const TlsOptions& options, Deadline deadline,
                              TlsError& error) {
  if (reader.Attach(nullptr) > 0) {
    error = {TlsFailure::kDataBeforeHandshake, ""};
    return -EPROTO;
  }
  int result = Start(stream, host, options, deadline, error);
  if (result < 0) return result;
  reader.Attach(stream.get());
  return 1;
}

int TlsStream::Start(std::unique_ptr<ByteStream>& stream, const std::string& host,
                     const TlsOptions& options, Deadline deadline, TlsError& error) {
  error = TlsError{};
  if (!stream || !stream->is_open()) {
    error = {TlsFailure::kHandshakeFailed, "not connected"};
    return -ENOTCONN;
  }
  std::unique_ptr<TlsStream> tls(new TlsStream(std::move(stream)));
  int result = tls->Prepare(host, options, error) ? tls->Handshake(deadline, error) : -EPROTO;
  if (result < 0) {
    tls->failed_ = true;
    tls->Close();
    stream = std::move(tls->inner_);
    stream->Close();
    return result;
  }
  stream = std::move(tls);
  return 1;
}

bool TlsStream::Prepare(const std::string& host, const TlsOptions& options, TlsError& error) {
  host_ = host;
  ERR_clear_error();
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) {
    error = {TlsFailure::kHandshakeFailed, LibraryReason()};
    return false;
  }
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  // A server that ends the connection without its close notification is
  // taken as closed: both protocols mark their own ends of data.
  SSL_CTX_set_options(context_, SSL_OP_NO_RENEGOTIATION | SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  // Whole records, and what follows them, in one read of the inner stream
  // instead of a header and a body read each: a buffer the size of the line
  // reader's takes several records per system call.
  SSL_CTX_set_read_ahead(context_, 1);
  SSL_CTX_set_default_read_buffer_len(context_, kReadBufferSize);
  const std::string& authority_file = options.certificate_authority_file;
  if (!authority_file.empty()) {
    if (SSL_CTX_load_verify_file(context_, authority_file.c_str()) != 1) {
      std::string reason = LibraryReason();
      error = {TlsFailure::kAuthorityFileUnusable,
               authority_file + (reason.empty() ? "" : " (" + reason + ")")};
      return false;
    }
  } else if (SSL_CTX_set_default_verify_paths(context_) != 1) {
    error = {TlsFailure::kAuthorityFileUnusable, "of the system (" + LibraryReason() + ")"};
    return false;
  }

  session_ = SSL_new(context_);
  BIO* bio = session_ ? Bio::Make(*this) : nullptr;
  if (bio == nullptr) {
    error = {TlsFailure::kHandshakeFailed, LibraryReason()};
    return false;
  }
  SSL_set_bio(session_, bio, bio);
  SSL_set_connect_state(session_);
  if (host.empty()) {
    error = {TlsFailure::kNameMismatch, "an empty server name"};
    return false;
  }
  bool checks_set;
  if (IsAddressLiteral(host)) {
    // An address is checked against the certificate's addresses; SNI may
    // carry names only.
    checks_set = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session_), host.c_str()) == 1;
  } else {
    SSL_set_hostflags(session_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    checks_set = SSL_set_tlsext_host_name(session_, host.c_str()) == 1 &&
                 SSL_set1_host(session_, host.c_str()) == 1;
  }
  if (!checks_set) {
    error = {TlsFailure::kHandshakeFailed, "cannot check the server name " + host};
    return false;
  }
  open_ = true;
  return true;
}

int TlsStream::Handshake(Deadline deadline, TlsError& error) {
  deadline_ = deadline;
  inner_error_ = 0;
  ERR_clear_error();
  int done = SSL_connect(session_);
  if (done == 1) {
    established_ = true;
    return 1;
  }
  failed_ = true;
  long verify_result = SSL_get_verify_result(session_);
  if (verify_result != X509_V_OK) {
    error = CertificateError(verify_result, host_);
    return -EPROTO;
  }
  if (inner_error_ == -ETIMEDOUT) {
    error = {TlsFailure::kHandshakeFailed, "timed out"};
    return -ETIMEDOUT;
  }
  if (inner_error_ < 0) {
    error = {TlsFailure::kHandshakeFailed, std::strerror(-inner_error_)};
    return inner_error_;
  }
  if (inner_closed_) {
    error = {TlsFailure::kHandshakeFailed, "the server closed the connection"};
    return -ECONNRESET;
  }
  std::string reason = LibraryReason();
  error = {TlsFailure::kHandshakeFailed, reason.empty() ? "no reason given" : reason};
  return -EPROTO;
}

int TlsStream::FailureResult(int ssl_error) {
  switch (ssl_error) {
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      // Only a read that timed out asks for a retry; the session goes on.
      return inner_error_ < 0 ? inner_error_ : -ETIMEDOUT;
    default:
      failed_ = true;
      if (inner_error_ < 0) return inner_error_;
      if (inner_closed_) return 0;
      return -EPROTO;
  }
}

int TlsStream::Read(char* buffer, size_t size, Deadline deadline) {
  if (!open_) return -ENOTCONN;
  if (size == 0) return 0;
  if (size > INT_MAX) size = INT_MAX;
  deadline_ = deadline;
  inner_error_ = 0;
  ERR_clear_error();
  size_t count = 0;
  int done = SSL_read_ex(session_, buffer, size, &count);
  if (done == 1) return static_cast<int>(count);
  return FailureResult(SSL_get_error(session_, done));
}

bool TlsStream::HasInput() {
  if (!open_) return false;
  if (SSL_pending(session_) > 0) return true;
  if (!SSL_has_pending(session_) && !inner_->HasInput()) return false;
  // What has arrived may be part of a record, or a record without data (a
  // session ticket): look inside without waiting.
  deadline_ = Clock::now();
  inner_error_ = 0;
  ERR_clear_error();
  char byte;
  size_t count = 0;
  int done = SSL_peek_ex(session_, &byte, 1, &count);
  if (done == 1) return true;
  int ssl_error = SSL_get_error(session_, done);
  if (ssl_error == SSL_ERROR_WANT_READ && inner_error_ == -ETIMEDOUT) return false;
  // The peer's close or a failure: the next read reports it at once.
  if (ssl_error != SSL_ERROR_ZERO_RETURN) failed_ = true;
  return true;
}

int TlsStream::Write(const char* data, size_t length, Deadline deadline) {
  if (!open_) return -ENOTCONN;
  if (length == 0) return 0;
  if (failed_) return -EPROTO;
  deadline_ = deadline;
  inner_error_ = 0;
  ERR_clear_error();
  size_t written = 0;
  int done = SSL_write_ex(session_, data, length, &written);
  if (done == 1) return static_cast<int>(written);
  // Part of a record may have gone: nothing can follow it.
  failed_ = true;
  int ssl_error = SSL_get_error(session_, done);
  if (inner_error_ < 0) return inner_error_;
  return ssl_error == SSL_ERROR_ZERO_RETURN ? -EPIPE : -EPROTO;
}

void TlsStream::Close() {
  if (!open_) return;
  open_ = false;
  if (established_ && !failed_) {
    // The close notification goes only if it can go at once.
    deadline_ = Clock::now();
    ERR_clear_error();
    SSL_shutdown(session_);
  }
  ERR_clear_error();
  inner_->Close();
}

std::string TlsStream::protocol() const {
  return session_ != nullptr ? SSL_get_version(session_) : "";
}

}  // namespace quor
