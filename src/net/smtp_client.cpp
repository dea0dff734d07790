#include "net/smtp_client.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "net/message_composer.h"
#include "net/temporary_file.h"

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

// The connection side of the DATA stream: buffers, sends, and remembers the
// first failure so that the rest of a large message is not pushed into a
// dead connection. A server that stops taking data must not hold the thread
// for good: each chunk is sent only once the connection can take it within
// the reply wait, and chunks are small enough for a writable socket to take
// them without blocking.
class SocketOutput : public ByteOutput {
 public:
  SocketOutput(MailSocket& socket, int wait_seconds)
      : socket_(socket), wait_seconds_(wait_seconds) {
    buffer_.reserve(kSendBufferSize);
  }
  void Write(const char* bytes, size_t count) override {
    if (error_ != 0) return;
    buffer_.append(bytes, count);
    if (buffer_.size() >= kSendBufferSize) Flush();
  }
  void Flush() {
    for (size_t done = 0; error_ == 0 && done < buffer_.size();) {
      if (wait_seconds_ > 0) {
        int ready = socket_.WaitWrite(wait_seconds_, 0);
        if (ready <= 0) {
          error_ = ready < 0 ? ready : -ETIMEDOUT;
          break;
        }
      }
      size_t chunk = std::min(kSendChunk, buffer_.size() - done);
      int sent = socket_.SendData(buffer_.data() + done, static_cast<int>(chunk));
      if (sent < 0) error_ = sent;
      done += chunk;
    }
    buffer_.clear();
  }
  // 0, or the negative result of the failed send.
  int error() const { return error_; }

 private:
  static constexpr size_t kSendChunk = 2048;

  MailSocket& socket_;
  int wait_seconds_;
  std::string buffer_;
  int error_ = 0;
};

bool IsContinuationLine(const std::string& line) {
  return line.size() >= 4 && std::isdigit(static_cast<unsigned char>(line[0])) &&
         std::isdigit(static_cast<unsigned char>(line[1])) &&
         std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == '-';
}

}  // namespace

std::string MailboxAddress(const std::string& text) {
  size_t open = text.find('<');
  if (open != std::string::npos) {
    size_t close = text.find('>', open + 1);
    if (close != std::string::npos) return text.substr(open + 1, close - open - 1);
  }
  size_t paren = text.find('(');
  if (paren != std::string::npos) {
    std::string before = text.substr(0, paren);
    while (!before.empty() && before.back() == ' ') before.pop_back();
    return before;
  }
  return text;
}

std::vector<std::string> SplitRecipients(const std::string& list) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) {
      pieces.push_back(list.substr(start));
      break;
    }
    pieces.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return pieces;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

void DotStuffingOutput::Write(const char* bytes, size_t count) {
  size_t i = 0;
  while (i < count) {
    if (pending_cr_) {
      // A CR is a line end whether or not its LF follows; a bare one would
      // be taken as a line end by some servers and not by others.
      pending_cr_ = false;
      wire_.Write("\r\n", 2);
      at_line_start_ = true;
      if (bytes[i] == '\n') {
        ++i;
        continue;
      }
    }
    if (at_line_start_ && bytes[i] == '.') wire_.Write(".", 1);
    at_line_start_ = false;
    size_t end = i;
    while (end < count && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    wire_.Write(bytes + i, end - i);
    if (end == count) return;
    if (bytes[end] == '\n') {
      wire_.Write("\r\n", 2);
      at_line_start_ = true;
    } else {
      pending_cr_ = true;
    }
    i = end + 1;
  }
}

void DotStuffingOutput::Finish() {
  if (!pending_cr_) return;
  pending_cr_ = false;
  wire_.Write("\r\n", 2);
  at_line_start_ = true;
}

SmtpClient::SmtpClient(LogTarget* log, int reply_wait_seconds)
    : ClientSocket(0, '\n'), log_(log), reply_wait_seconds_(reply_wait_seconds) {
  // The waits guard the start of each reply; this guards a server that falls
  // silent in the middle of a reply line.
  set_receive_time_limit(reply_wait_seconds);
}

SmtpClient::~SmtpClient() {
  if (connected()) EndSession();
}

int SmtpClient::Connect(const std::string& host, const std::string& service) {
  int result = ClientSocket::Connect(host, service);
  if (result < 0) return result;
  result = ReadReply();
  if (result < 0) return Abandon(result);
  // A refusing greeting does not end the attempt: the HELO reply decides.
  return Command("HELO " + LocalHostName());
}

void SmtpClient::AddAttachment(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) == 0) attachments_.push_back(path);
}

std::string SmtpClient::LastReply() const { return reply_; }

void SmtpClient::EndSession() {
  if (connected()) {
    static constexpr char kQuit[] = "QUIT\r\n";
    if (SendData(kQuit, sizeof kQuit - 1) >= 0) ReadReply();
  }
  attachments_.clear();
  Close();
}

int SmtpClient::Abandon(int result) {
  Close();
  return result;
}

int SmtpClient::ReadReplyLine() {
  reply_.clear();
  if (!connected()) return -1;
  int ready = 0;
  for (int wait = 0; wait < reply_wait_seconds_ && ready == 0; ++wait) {
    ready = WaitReadOrError(1, 0);
  }
  if (ready == 0) return -1;
  if (ready < 0) return ready;

  char piece[kReplyKeep + 1];
  size_t total = 0;
  for (;;) {
    int received = ReceiveLine(piece, static_cast<int>(kReplyKeep));
    if (received < 0) return received;
    if (received == 0) return -1;  // closed before the line ended
    size_t count = static_cast<size_t>(received);
    total += count;
    if (reply_.size() < kReplyKeep) {
      reply_.append(piece, std::min(count, kReplyKeep - reply_.size()));
    }
    if (piece[count - 1] == '\n') return 1;
    if (total > kReplyLineLimit) return -1;
  }
}

int SmtpClient::ReadReply() {
  for (int line = 0;; ++line) {
    if (line == kReplyLineCountLimit) return -1;
    int result = ReadReplyLine();
    if (result < 0) return result;
    // Only the last line of "250-..." continuations carries the outcome;
    // stopping at the first would put every later reply one step behind.
    if (!IsContinuationLine(reply_)) break;
  }
  char first = reply_.empty() ? '\0' : reply_[0];
  return first >= '1' && first <= '3' ? 1 : 0;
}

int SmtpClient::Command(const std::string& line) {
  std::string command = line + "\r\n";
  int sent = SendData(command.data(), static_cast<int>(command.size()));
  if (sent < 0) return Abandon(sent);
  int result = ReadReply();
  return result < 0 ? Abandon(result) : result;
}

int SmtpClient::SendMessage(const OutgoingMessage& message) {
  if (message.sender.empty() || message.to.empty()) return -1;
  // An address with a line break would add a command of its own.
  if (HasLineBreak(message.sender) || HasLineBreak(message.to) || HasLineBreak(message.cc)) {
    return -1;
  }

  std::string sender = MailboxAddress(message.sender);
  if (log_) log_->Log("[SMTP] From: <" + sender + ">");
  int result = Command("MAIL FROM: <" + sender + ">");
  if (result <= 0) return result;

  std::vector<std::string> recipients = SplitRecipients(message.to);
  for (std::string& piece : SplitRecipients(message.cc)) recipients.push_back(std::move(piece));
  for (const std::string& piece : recipients) {
    std::string address = MailboxAddress(piece);
    if (log_) log_->Log("[SMTP] To: <" + address + ">");
    result = Command("RCPT TO: <" + address + ">");
    if (result <= 0) return result;
  }

  result = Command("DATA");
  if (result <= 0) return result;
  // A failure in the middle leaves the server without the terminating dot;
  // dropping the connection makes it discard the half message.
  result = SendContent(message);
  if (result < 0) return Abandon(result);
  result = ReadReply();
  return result < 0 ? Abandon(result) : result;
}

int SmtpClient::SendContent(const OutgoingMessage& message) {
  SocketOutput wire(*this, reply_wait_seconds_);
  DotStuffingOutput data(wire);
  MessageComposer composer(data);
  composer.SendHeaderBlock(message, std::time(nullptr));
  if (attachments_.empty()) {
    composer.SendSinglePartBody(message.body);
  } else {
    TemporaryFile scratch;
    int result = scratch.Create();
    if (result < 0) return result;
    result = composer.ComposeMultipart(scratch.stream(), message.body, attachments_);
    if (result < 0) return result;
    std::rewind(scratch.stream());
    char block[MessageComposer::kBlockSize];
    size_t count;
    while (wire.error() == 0 &&
           (count = std::fread(block, 1, sizeof block, scratch.stream())) > 0) {
      data.Write(block, count);
    }
    if (std::ferror(scratch.stream())) return -EIO;
  }
  data.Finish();
  static constexpr char kEnd[] = "\r\n.\r\n";
  wire.Write(kEnd, sizeof kEnd - 1);
  wire.Flush();
  return wire.error() < 0 ? wire.error() : 1;
}

}  // namespace quor
