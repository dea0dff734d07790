#pragma once
// Hands one message to an SMTP server: greeting, HELO (or EHLO, STARTTLS or
// TLS from the first byte, and AUTH when the session is secured or has a
// login), MAIL FROM, RCPT TO per recipient, DATA, the content, the
// terminating dot; QUIT when the session ends or the object is destroyed.
// The client owns its byte stream (a TCP connection from Connect, or any
// stream handed to Open; a TLS session replaces it when the connection is
// secured). It knows the envelope only; the content is written by the caller
// through the data stream it is given, so the message format stays out of
// this folder.
//
// Results: 1 sent, 0 refused (the refusing line is LastReply()), negative for
// an error (-1 for a missing sender or recipient or a time-out, otherwise
// -errno). A session that could not be secured as asked gives a negative
// result with tls_error() set; a refused login gives 0 with login_failure()
// set. Either way nothing of the mail has been sent, and a login is never
// sent in clear to a server that is not on this machine.
//
// Nothing a message or a variable holds can add a protocol line: envelope
// addresses with a CR or LF are refused before anything is sent, and the
// content goes through DotStuffingOutput, which makes every line end CR LF
// and doubles a leading '.'.
//
// A conversation that times out or loses its connection is closed at once:
// it is out of step with the server, so no QUIT is sent afterwards.
// Lives for one send or forward action; one thread at a time.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_output.h"
#include "base/connection_security.h"
#include "base/log_sink.h"
#include "net/byte_stream.h"
#include "net/line_reader.h"
#include "net/tls_stream.h"
#include "net/transfer_pace.h"

namespace quor {

// The envelope of one message: bare addresses, as MAIL FROM and RCPT TO
// carry them.
struct MailEnvelope {
  std::string sender;
  std::vector<std::string> recipients;
};

// Writes the message's content into `data` (the DATA section, transparency
// applied); 1, or a negative result when the content could not be produced,
// which abandons the message.
using ContentWriter = std::function<int(ByteOutput& data)>;

// The account of an SMTP login (AUTH PLAIN or AUTH LOGIN). An empty user
// name means no login.
struct SmtpLogin {
  std::string user_name;
  std::string password;
};

class SmtpClient {
 public:
  static constexpr int kDefaultReplyWaitSeconds = 29;
  // Reply lines are kept up to this length for LastReply(); the rest of a
  // longer line is read and dropped.
  static constexpr size_t kReplyKeep = 511;

  // log: receives the "[SMTP] From:" and "[SMTP] To:" lines; may be null.
  // reply_wait_seconds: how long a whole reply may take, and how long the
  // server may stop taking data.
  explicit SmtpClient(LogSink* log, int reply_wait_seconds = kDefaultReplyWaitSeconds);
  ~SmtpClient();
  SmtpClient(const SmtpClient&) = delete;
  SmtpClient& operator=(const SmtpClient&) = delete;

  // The port of each kind of connection when the server text names none:
  // 25 in clear, 587 for STARTTLS, 465 for TLS from the first byte.
  static std::string DefaultService(ConnectionSecurity security);

  // Connects over TCP, reads the greeting and says HELO: negative on connect
  // or greeting failure, else the reply result of HELO.
  int Connect(const std::string& host, const std::string& service);
  // The same over a stream that is already open.
  int Open(std::unique_ptr<ByteStream> stream);
  // Connects to the server text ("host", "host:port", "[::1]:587") as
  // `security` asks and gets the session ready for SendMail: in clear
  // without a login, the greeting and HELO as ever; otherwise the greeting
  // (inside TLS for kImplicitTls), EHLO, STARTTLS and EHLO again for
  // kStartTls, then AUTH when there is a login. The TLS session is checked
  // against the host of the server text. 1 ready; 0 refused (LastReply(),
  // and login_failure() when it was the login); negative on error, with
  // tls_error() set when the session could not be secured.
  int Connect(const std::string& server, ConnectionSecurity security, const TlsOptions& tls,
              const SmtpLogin& login);
  // The same as Connect after the TCP connection: `host` is the name or
  // address the server's certificate must carry.
  int Open(std::unique_ptr<ByteStream> stream, ConnectionSecurity security, const std::string& host,
           const TlsOptions& tls, const SmtpLogin& login);

  // Why the last Connect or Open could not secure the session; false when
  // it did not fail for that reason.
  const TlsError& tls_error() const { return tls_error_; }
  // Why the last login failed: the server's refusing reply (without line
  // end, the login's secrets masked), or what the server lacked; empty when
  // the login did not fail.
  const std::string& login_failure() const { return login_failure_; }
  // MAIL FROM, RCPT TO for every recipient in order, DATA, the content from
  // `write_content`, the terminating dot.
  int SendMail(const MailEnvelope& envelope, const ContentWriter& write_content);
  std::string LastReply() const { return reply_; }
  // QUIT when still connected, then Close.
  void EndSession();

  bool connected() const { return stream_ != nullptr && stream_->is_open(); }
  // The pace the DATA section must keep as a whole: each send may still wait
  // the reply wait for room, and the whole content, once it has been sent for
  // the grace time, must average the minimum rate.
  void set_transfer_pace(const PaceLimits& limits) { pace_limits_ = limits; }

 private:
  // Waits for and reads one reply: 1 for a line beginning with '1' to '3', 0
  // for any other line, -1 after the reply wait or on a closed connection,
  // -errno on a stream error. Continuation lines ("250-...") are read up to
  // the last line of the reply, which becomes LastReply(); the whole reply
  // must come within the reply wait.
  // `lines`, when given, receives every line of the reply (each cut like
  // LastReply(), line ends removed).
  int ReadReply(std::vector<std::string>* lines = nullptr);
  // Sends one command line (CR LF added) and reads its reply.
  int Command(const std::string& line, std::vector<std::string>* lines = nullptr);
  // EHLO, keeping the extensions the server lists.
  int ExtendedHello();
  // The parameters of an extension of the last EHLO reply ("PLAIN LOGIN"
  // for AUTH), or none when it was not listed.
  std::optional<std::string> Extension(std::string_view keyword) const;
  // STARTTLS and the handshake; negative with tls_error() set on failure.
  int StartTls(const std::string& host, const TlsOptions& tls);
  // AUTH PLAIN or AUTH LOGIN, whichever the server offers (PLAIN first).
  int LogIn(const SmtpLogin& login);
  // Records a failed login from the refusing reply just read, ends the
  // session and gives 0; LastReply() stays the refusal.
  int LoginFailed(const std::vector<std::string>& secrets);
  // Records why TLS could not be used and ends the session.
  int RefuseInsecureSession(TlsError error);
  // The content through the transparency filter, then the terminating dot;
  // 1, or a negative result.
  int SendContent(const ContentWriter& write_content);
  // Drops the connection of a conversation that went wrong and passes the
  // result on.
  int Abandon(int result);
  void Close();

  LogSink* log_;
  int reply_wait_seconds_;
  PaceLimits pace_limits_;
  std::unique_ptr<ByteStream> stream_;
  LineReader reader_;
  std::string reply_;
  std::vector<std::string> extensions_;  // lines of the last EHLO reply after its first
  TlsError tls_error_;
  std::string login_failure_;
};

}  // namespace quor
