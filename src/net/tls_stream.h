#pragma once
// A TLS session (OpenSSL 3) over another ByteStream, as a ByteStream: POP3S
// and SMTPS wrap the TCP connection from its first byte, STLS and STARTTLS
// wrap it after the switch. The TLS records travel through the inner stream
// (a BIO of this class's own), so anything that is a ByteStream can carry
// TLS.
//
// The server must prove who it is, with no way to turn that off: TLS 1.2 at
// least; a certificate chain that leads to the system's store of trusted
// authorities (ca-certificates), or to the PEM file TlsOptions names instead;
// and a certificate for the host of the server text (the name is also sent as
// SNI), or for the address when the server text is an IP address (then no
// SNI is sent). A failed check ends the handshake with a TlsError that says
// which check failed.
//
// Every wait is bounded: the handshake by its deadline, every read and write
// by theirs, as the ByteStream contract says. A read that finds no whole TLS
// record before its deadline gives -ETIMEDOUT and leaves the session usable.
// A TLS protocol failure gives -EPROTO. Owns the inner stream. One thread at a
// time.

#include <memory>
#include <string>

#include "net/byte_stream.h"
#include "net/tls_error.h"

struct ssl_st;
struct ssl_ctx_st;

namespace quor {

struct TlsOptions {
  // PEM file of the certificates to trust instead of the system's store: a
  // private authority, or a self-signed server's own certificate. Empty: the
  // system's store.
  std::string certificate_authority_file;
};

class LineReader;

class TlsStream : public ByteStream {
 public:
  // Runs the client handshake over `stream` for the server `host` (a name or
  // an IP address, without port or brackets) before `deadline`. 1: `stream`
  // now holds the TLS session, which owns the old stream. Negative: `error`
  // says why, and `stream` is closed.
  static int Start(std::unique_ptr<ByteStream>& stream, const std::string& host,
                   const TlsOptions& options, Deadline deadline, TlsError& error);
  // Start for a session that began in clear, once the server has agreed to
  // TLS (STLS, STARTTLS); `reader` moves from the clear stream to the TLS
  // session. The agreement is the last thing to come in clear: bytes read
  // after it and before the handshake were put there by someone else, who
  // would have them read as the server's words inside TLS, so they fail the
  // start (-EPROTO, kDataBeforeHandshake) before any handshake.
  static int StartInSession(std::unique_ptr<ByteStream>& stream, LineReader& reader,
                            const std::string& host, const TlsOptions& options, Deadline deadline,
                            TlsError& error);

  ~TlsStream() override;
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  int Read(char* buffer, size_t size, Deadline deadline) override;
  // True when decrypted bytes wait, or when the records that have arrived
  // (read ahead, or waiting in the inner stream) hold some, or the peer's
  // close. Never waits.
  bool HasInput() override;
  int Write(const char* data, size_t length, Deadline deadline) override;
  // Sends the close notification when it can go at once, then closes the
  // inner stream.
  void Close() override;
  bool is_open() const override { return open_; }
  bool peer_on_loopback() const override { return inner_->peer_on_loopback(); }

  // The protocol agreed on ("TLSv1.3"), for tests and benchmarks.
  std::string protocol() const;

 private:
  class Bio;
  friend class Bio;

  explicit TlsStream(std::unique_ptr<ByteStream> inner);
  // Sets up the context and the session; false with `error` set.
  bool Prepare(const std::string& host, const TlsOptions& options, TlsError& error);
  int Handshake(Deadline deadline, TlsError& error);
  // What went wrong in the last TLS call that failed with `ssl_error`.
  int FailureResult(int ssl_error);

  std::unique_ptr<ByteStream> inner_;
  std::string host_;  // the name or address the certificate must carry
  ssl_ctx_st* context_ = nullptr;
  ssl_st* session_ = nullptr;
  bool open_ = false;
  // The deadline of the TLS call in progress, for the BIO's reads and writes.
  Deadline deadline_{};
  // The inner stream's last failure (-errno, -ETIMEDOUT) during a TLS call;
  // 0 when it did not fail.
  int inner_error_ = 0;
  bool inner_closed_ = false;
  // A fatal TLS failure: the session may not even send its close
  // notification any more.
  bool failed_ = false;
  bool established_ = false;
};

}  // namespace quor
