#include "net/smtp_client.h"

#include <openssl/evp.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "base/line_breaks.h"
#include "base/secret_text.h"
#include "net/dot_stuffing_output.h"
#include "net/host_lookup.h"
#include "net/tcp_stream.h"

namespace quor {

namespace {

// A reply line longer than this is not from a mail server: give up on it
// rather than read forever.
constexpr size_t kReplyLineLimit = 64 * 1024;
// Likewise for the lines of one multi-line reply.
constexpr int kReplyLineCountLimit = 1000;
// Content is collected into sends of this size: few system calls, bounded
// memory.
constexpr size_t kSendBufferSize = 16 * 1024;

// The stream side of the DATA section: buffers, sends, and remembers the
// first failure so that the rest of a large message is not pushed into a
// dead connection. A server that stops taking data must not hold the thread
// for good: each send may wait for room only as long as the reply wait, and
// one that takes the data a trickle at a time is held to the transfer pace.
class StreamOutput : public ByteOutput {
 public:
  StreamOutput(ByteStream& stream, int wait_seconds, const PaceLimits& pace)
      : stream_(stream), wait_seconds_(wait_seconds), pace_(pace, Clock::now()) {
    buffer_.reserve(kSendBufferSize);
  }
  void Write(const char* bytes, size_t count) override {
    if (error_ != 0) return;
    buffer_.append(bytes, count);
    if (buffer_.size() >= kSendBufferSize) Flush();
  }
  bool Failed() const override { return error_ != 0; }
  void Flush() {
    if (error_ == 0 && !buffer_.empty()) {
      int sent =
          stream_.Write(buffer_.data(), buffer_.size(), pace_.Bound(DeadlineIn(wait_seconds_)));
      if (sent < 0) error_ = sent;
      pace_.Count(buffer_.size());
    }
    buffer_.clear();
  }
  // 0, or the negative result of the failed send.
  int error() const { return error_; }

 private:
  ByteStream& stream_;
  int wait_seconds_;
  TransferPace pace_;
  std::string buffer_;
  int error_ = 0;
};

// Base64 without line breaks, as AUTH carries its texts.
std::string Base64(const std::string& text) {
  std::string encoded(4 * ((text.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                               reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int>(text.size()));
  encoded.resize(static_cast<size_t>(std::max(length, 0)));
  return encoded;
}

// True when the space-separated words hold `word`, letter case ignored.
bool HasWord(std::string_view words, std::string_view word) {
  size_t start = 0;
  while (start < words.size()) {
    size_t end = words.find(' ', start);
    if (end == std::string_view::npos) end = words.size();
    if (end - start == word.size() &&
        strncasecmp(words.data() + start, word.data(), word.size()) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsContinuationLine(const std::string& line) {
  return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == '-';
}

}  // namespace

SmtpClient::SmtpClient(LogSink* log, int reply_wait_seconds)
    : log_(log), reply_wait_seconds_(reply_wait_seconds) {}

SmtpClient::~SmtpClient() {
  if (connected()) EndSession();
}

std::string SmtpClient::DefaultService(ConnectionSecurity security) {
  switch (security) {
    case ConnectionSecurity::kStartTls:
      return "587";
    case ConnectionSecurity::kImplicitTls:
      return "465";
    case ConnectionSecurity::kNone:
      break;
  }
  return "25";
}

int SmtpClient::Connect(const std::string& host, const std::string& service) {
  Close();
  tls_error_ = {};
  login_failure_.clear();
  std::unique_ptr<TcpStream> connection;
  int result = TcpStream::Connect(host, service, connection, reply_wait_seconds_);
  if (result < 0) return result;
  return Open(std::move(connection));
}

int SmtpClient::Connect(const std::string& server, ConnectionSecurity security,
                        const TlsOptions& tls, const SmtpLogin& login) {
  Close();
  tls_error_ = {};
  login_failure_.clear();
  std::unique_ptr<TcpStream> connection;
  int result =
      TcpStream::Connect(server, DefaultService(security), connection, reply_wait_seconds_);
  if (result < 0) return result;
  std::string host;
  std::string port;
  SplitHostPort(server, host, port);
  return Open(std::move(connection), security, host, tls, login);
}

int SmtpClient::Open(std::unique_ptr<ByteStream> stream) {
  return Open(std::move(stream), ConnectionSecurity::kNone, "", {}, {});
}

int SmtpClient::Open(std::unique_ptr<ByteStream> stream, ConnectionSecurity security,
                     const std::string& host, const TlsOptions& tls, const SmtpLogin& login) {
  tls_error_ = {};
  login_failure_.clear();
  extensions_.clear();
  stream_ = std::move(stream);
  reader_.Attach(stream_.get());
  const bool has_login = !login.user_name.empty();
  if (has_login && security == ConnectionSecurity::kNone && !stream_->peer_on_loopback()) {
    // Not even the greeting is read: nothing is to happen on this connection.
    tls_error_ = {TlsFailure::kLoginInClear, ""};
    return Abandon(-EPROTO);
  }
  if (security == ConnectionSecurity::kImplicitTls) {
    int result = StartTls(host, tls);
    if (result < 0) return result;
  }
  int result = ReadReply();
  if (result < 0) return Abandon(result);
  // A refusing greeting does not end the attempt: the HELO reply decides.
  if (security == ConnectionSecurity::kNone && !has_login) {
    return Command("HELO " + LocalHostName());
  }
  result = ExtendedHello();
  if (result <= 0) return result;
  if (security == ConnectionSecurity::kStartTls) {
    if (!Extension("STARTTLS")) {
      return RefuseInsecureSession({TlsFailure::kNotOffered, "STARTTLS"});
    }
    result = Command("STARTTLS");
    if (result < 0) return result;
    if (!StartsWith(reply_, "220")) {
      return RefuseInsecureSession(
          {TlsFailure::kRefused, "STARTTLS (" + StripLineBreaks(reply_) + ")"});
    }
    result = StartTls(host, tls);
    if (result < 0) return result;
    // What the server offered in clear may have been altered on the way.
    result = ExtendedHello();
    if (result <= 0) return result;
  }
  return has_login ? LogIn(login) : 1;
}

int SmtpClient::ExtendedHello() {
  std::vector<std::string> lines;
  int result = Command("EHLO " + LocalHostName(), &lines);
  extensions_.clear();
  if (result > 0 && !lines.empty()) extensions_.assign(lines.begin() + 1, lines.end());
  return result;
}

std::optional<std::string> SmtpClient::Extension(std::string_view keyword) const {
  for (const std::string& line : extensions_) {
    // "250-AUTH PLAIN LOGIN"; some older servers write "250-AUTH=LOGIN".
    if (line.size() < 4) continue;
    std::string_view text = std::string_view(line).substr(4);
    size_t end = text.find_first_of(" =");
    std::string_view word = text.substr(0, end);
    if (word.size() != keyword.size() ||
        strncasecmp(word.data(), keyword.data(), keyword.size()) != 0) {
      continue;
    }
    return end == std::string_view::npos ? std::string() : std::string(text.substr(end + 1));
  }
  return std::nullopt;
}

int SmtpClient::StartTls(const std::string& host, const TlsOptions& tls) {
  int result = TlsStream::StartInSession(stream_, reader_, host, tls,
                                         DeadlineIn(reply_wait_seconds_), tls_error_);
  if (result < 0) return Abandon(result);
  return 1;
}

int SmtpClient::LogIn(const SmtpLogin& login) {
  const std::string mechanisms = Extension("AUTH").value_or("");
  const std::string plain_token =
      Base64(std::string(1, '\0') + login.user_name + std::string(1, '\0') + login.password);
  const std::string password_token = Base64(login.password);
  const std::vector<std::string> secrets = {login.password, plain_token, password_token};
  if (HasWord(mechanisms, "PLAIN")) {
    int result = Command("AUTH PLAIN " + plain_token);
    if (result < 0) return result;
    return StartsWith(reply_, "235") ? 1 : LoginFailed(secrets);
  }
  if (HasWord(mechanisms, "LOGIN")) {
    int result = Command("AUTH LOGIN");
    if (result >= 0 && StartsWith(reply_, "334")) result = Command(Base64(login.user_name));
    if (result >= 0 && StartsWith(reply_, "334")) result = Command(password_token);
    if (result < 0) return result;
    return StartsWith(reply_, "235") ? 1 : LoginFailed(secrets);
  }
  login_failure_ = "the server offers neither AUTH PLAIN nor AUTH LOGIN";
  EndSession();
  return 0;
}

int SmtpClient::LoginFailed(const std::vector<std::string>& secrets) {
  login_failure_ = MaskSecrets(StripLineBreaks(reply_), secrets);
  if (login_failure_.empty()) login_failure_ = "no reply";
  const std::string refusal = reply_;
  EndSession();
  reply_ = refusal;
  return 0;
}

int SmtpClient::RefuseInsecureSession(TlsError error) {
  EndSession();
  tls_error_ = std::move(error);
  return -EPROTO;
}

void SmtpClient::EndSession() {
  if (connected()) {
    static constexpr char kQuit[] = "QUIT\r\n";
    if (stream_->Write(kQuit, sizeof kQuit - 1, DeadlineIn(reply_wait_seconds_)) >= 0) ReadReply();
  }
  Close();
}

void SmtpClient::Close() {
  if (stream_) stream_->Close();
  reader_.Attach(nullptr);
}

int SmtpClient::Abandon(int result) {
  Close();
  return result;
}

int SmtpClient::ReadReply(std::vector<std::string>* lines) {
  reply_.clear();
  if (lines) lines->clear();
  if (!connected()) return -1;
  const Deadline deadline = DeadlineIn(reply_wait_seconds_);
  for (int line = 0;; ++line) {
    if (line == kReplyLineCountLimit) return -1;
    int result = reader_.ReadReplyLine(reply_, kReplyKeep, kReplyLineLimit, deadline);
    if (result == -EMSGSIZE) return -1;
    if (result < 0) return result;
    if (lines) lines->push_back(StripLineBreaks(reply_));
    // Only the last line of "250-..." continuations carries the outcome;
    // stopping at the first would put every later reply one step behind.
    if (!IsContinuationLine(reply_)) break;
  }
  char first = reply_.empty() ? '\0' : reply_[0];
  return first >= '1' && first <= '3' ? 1 : 0;
}

int SmtpClient::Command(const std::string& line, std::vector<std::string>* lines) {
  if (!connected()) return -1;
  std::string command = line + "\r\n";
  int sent = stream_->Write(command.data(), command.size(), DeadlineIn(reply_wait_seconds_));
  if (sent < 0) return Abandon(sent);
  int result = ReadReply(lines);
  return result < 0 ? Abandon(result) : result;
}

int SmtpClient::SendMail(const MailEnvelope& envelope, const ContentWriter& write_content) {
  if (envelope.recipients.empty()) return -1;
  // An address with a line break would add a command of its own.
  if (HasLineBreak(envelope.sender) ||
      std::any_of(envelope.recipients.begin(), envelope.recipients.end(),
                  [](const std::string& address) { return HasLineBreak(address); })) {
    return -1;
  }

  if (log_) log_->AddLine("[SMTP] From: <" + envelope.sender + ">");
  int result = Command("MAIL FROM: <" + envelope.sender + ">");
  if (result <= 0) return result;

  for (const std::string& address : envelope.recipients) {
    if (log_) log_->AddLine("[SMTP] To: <" + address + ">");
    result = Command("RCPT TO: <" + address + ">");
    if (result <= 0) return result;
  }

  result = Command("DATA");
  if (result <= 0) return result;
  // A failure in the middle leaves the server without the terminating dot;
  // dropping the connection makes it discard the half message.
  result = SendContent(write_content);
  if (result < 0) return Abandon(result);
  result = ReadReply();
  return result < 0 ? Abandon(result) : result;
}

int SmtpClient::SendContent(const ContentWriter& write_content) {
  StreamOutput wire(*stream_, reply_wait_seconds_, pace_limits_);
  DotStuffingOutput data(wire);
  int result = write_content ? write_content(data) : 1;
  if (result < 0) return result;
  data.Finish();
  static constexpr char kEnd[] = "\r\n.\r\n";
  wire.Write(kEnd, sizeof kEnd - 1);
  wire.Flush();
  return wire.error() < 0 ? wire.error() : 1;
}

}  // namespace quor
