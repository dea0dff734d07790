#include "net/smtp_client.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "base/line_breaks.h"
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

int SmtpClient::Connect(const std::string& host, const std::string& service) {
  Close();
  std::unique_ptr<TcpStream> connection;
  int result = TcpStream::Connect(host, service, connection);
  if (result < 0) return result;
  return Open(std::move(connection));
}

int SmtpClient::Open(std::unique_ptr<ByteStream> stream) {
  stream_ = std::move(stream);
  reader_.Attach(stream_.get());
  int result = ReadReply();
  if (result < 0) return Abandon(result);
  // A refusing greeting does not end the attempt: the HELO reply decides.
  return Command("HELO " + LocalHostName());
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

int SmtpClient::ReadReply() {
  reply_.clear();
  if (!connected()) return -1;
  const Deadline deadline = DeadlineIn(reply_wait_seconds_);
  for (int line = 0;; ++line) {
    if (line == kReplyLineCountLimit) return -1;
    int result = reader_.ReadReplyLine(reply_, kReplyKeep, kReplyLineLimit, deadline);
    if (result == -EMSGSIZE) return -1;
    if (result < 0) return result;
    // Only the last line of "250-..." continuations carries the outcome;
    // stopping at the first would put every later reply one step behind.
    if (!IsContinuationLine(reply_)) break;
  }
  char first = reply_.empty() ? '\0' : reply_[0];
  return first >= '1' && first <= '3' ? 1 : 0;
}

int SmtpClient::Command(const std::string& line) {
  if (!connected()) return -1;
  std::string command = line + "\r\n";
  int sent = stream_->Write(command.data(), command.size(), DeadlineIn(reply_wait_seconds_));
  if (sent < 0) return Abandon(sent);
  int result = ReadReply();
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
