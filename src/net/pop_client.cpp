#include "net/pop_client.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

namespace quor {

namespace {

// A hostile server must not make a retrieval grow without end: beyond twice
// the announced size (line ends and stuffing dots may double a message) plus
// this much, the retrieval stops.
constexpr long long kRetrievalSlack = 16LL * 1024 * 1024;
// The announced size only sizes the first buffers; a lying LIST reply must not
// make them huge.
constexpr long long kLargestSizeHint = 64LL * 1024 * 1024;
constexpr long long kLargestAnnouncedSize = 1LL << 40;
// Rest of an over-long reply line that is read and dropped before giving up.
constexpr size_t kReplyDiscardLimit = 64 * 1024;
// Data after a message's end that is dropped before giving up on the server.
constexpr size_t kStrayDataLimit = 1024 * 1024;

// A small reader with the skipping rules of scanf's %s and %d.
class ReplyScanner {
 public:
  explicit ReplyScanner(std::string_view text) : text_(text) {}

  // %*s: one word.
  bool SkipWord() {
    SkipSpace();
    size_t start = position_;
    while (position_ < text_.size() && !IsSpace(text_[position_])) ++position_;
    return position_ > start;
  }

  // %d / %ld: an optionally signed decimal number, saturated.
  std::optional<long long> Number() {
    SkipSpace();
    size_t start = position_;
    bool negative = false;
    if (position_ < text_.size() && (text_[position_] == '+' || text_[position_] == '-')) {
      negative = text_[position_] == '-';
      ++position_;
    }
    size_t digits_start = position_;
    long long value = 0;
    while (position_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[position_]))) {
      int digit = text_[position_] - '0';
      value = value > (LLONG_MAX - digit) / 10 ? LLONG_MAX : value * 10 + digit;
      ++position_;
    }
    if (position_ == digits_start) {
      position_ = start;
      return std::nullopt;
    }
    return negative ? -value : value;
  }

  // %s: one word, kept.
  std::optional<std::string_view> Word() {
    SkipSpace();
    size_t start = position_;
    if (!SkipWord()) return std::nullopt;
    return text_.substr(start, position_ - start);
  }

 private:
  static bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
  void SkipSpace() {
    while (position_ < text_.size() && IsSpace(text_[position_])) ++position_;
  }

  std::string_view text_;
  size_t position_ = 0;
};

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::optional<long long> StatCount(std::string_view reply) {
  ReplyScanner scanner(reply);
  if (!scanner.SkipWord()) return std::nullopt;
  return scanner.Number();
}

std::optional<long long> ListSize(std::string_view reply) {
  ReplyScanner scanner(reply);
  if (!scanner.SkipWord() || !scanner.Number()) return std::nullopt;
  return scanner.Number();
}

std::optional<std::string> UidlId(std::string_view reply, size_t limit) {
  ReplyScanner scanner(reply);
  if (!scanner.SkipWord() || !scanner.Number()) return std::nullopt;
  std::optional<std::string_view> word = scanner.Word();
  if (!word) return std::nullopt;
  return std::string(word->substr(0, limit));
}

PopClient::PopClient(int reply_wait_seconds)
    : ClientSocket(0, '\n'), reply_wait_seconds_(std::max(1, reply_wait_seconds)) {
  // Once a line has begun, its rest must come within the same wait as a reply.
  set_receive_time_limit(reply_wait_seconds_);
}

PopClient::~PopClient() = default;

int PopClient::Connect(const std::string& host, const std::string& service) {
  int result = ClientSocket::Connect(host, service);
  if (result < 0) return result;
  return ReadReply();
}

int PopClient::Login(const std::string& user, const std::string& password) {
  if (HasLineBreak(user) || HasLineBreak(password)) return -EINVAL;
  int result = SendCommand("USER " + user + "\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;
  result = SendCommand("PASS " + password + "\r\n");
  return result > 0 ? ReadReply() : result;
}

int PopClient::MessageCount() {
  int result = SendCommand("STAT\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;
  // A negative count would read as a network error; the server has none.
  long long count =
      std::clamp(StatCount(LastReply()).value_or(0), 0LL, static_cast<long long>(INT_MAX));
  message_count_ = static_cast<int>(count);
  return message_count_;
}

int PopClient::UniqueId(int number, std::string& out) {
  int result = SendCommand("UIDL " + std::to_string(number) + "\r\n");
  if (result > 0) result = ReadReply();
  if (result > 0) out = UidlId(LastReply(), kUniqueIdLimit).value_or("");
  return result;
}

int PopClient::DeleteMessage(int number) {
  int result = SendCommand("DELE " + std::to_string(number) + "\r\n");
  return result > 0 ? ReadReply() : result;
}

int PopClient::RetrieveMessage(int number) {
  message_.Clear();
  int result = SendCommand("LIST " + std::to_string(number) + "\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;

  // Far beyond any real message, and small enough to compute with safely.
  long long size = std::clamp(ListSize(LastReply()).value_or(0), 0LL, kLargestAnnouncedSize);
  if (size_limit_ != 0 && size > size_limit_) return 100;

  result = SendCommand("RETR " + std::to_string(number) + "\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;

  ReadMessageLines(size);
  DropStrayData();
  // A message cut short by the connection keeps what came, and the RETR
  // reply stays the result.
  return result;
}

void PopClient::ReadMessageLines(long long announced_size) {
  parser_.BeginParse(message_, static_cast<size_t>(std::min(announced_size, kLargestSizeHint)));

  const long long budget =
      2 * std::max(announced_size, static_cast<long long>(size_limit_)) + kRetrievalSlack;
  long long received = 0;
  char line[kPieceSize + 1];
  // A CR that ended a piece is held back: it may be half of the CR LF that
  // ends the line, and must then go with the line end.
  int carried = 0;
  bool line_start = true;
  for (;;) {
    if (carried) line[0] = '\r';
    int count = ReceiveLine(line + carried, kPieceSize - carried);
    if (count <= 0) {
      Abandon(count);
      break;
    }
    received += count;
    if (received > budget) {
      Abandon(-EMSGSIZE);
      break;
    }
    size_t length = static_cast<size_t>(count + carried);
    carried = 0;
    char* text = line;
    const bool complete = line[length - 1] == '\n';
    if (complete) {
      // Servers end lines in CR LF or LF alone; stored lines end in one LF.
      --length;
      if (length > 0 && line[length - 1] == '\r') --length;
      line[length++] = '\n';
      if (line_start && length == 2 && line[0] == '.') break;
    } else if (line[length - 1] == '\r') {
      carried = 1;
      --length;
    }
    // Byte-stuffing: only the start of a line carries the extra dot.
    if (line_start && text[0] == '.') {
      ++text;
      --length;
    }
    if (length > 0) parser_.ParseLine(text, length);
    line_start = complete;
  }
  parser_.EndParse();
}

void PopClient::DropStrayData() {
  // Only what has already arrived is dropped: a server that keeps to the
  // protocol costs no wait at all.
  char scratch[4096];
  size_t dropped = 0;
  while (connected() && (buffered() > 0 || WaitReadOrError(0, 0) > 0)) {
    int count = ReceiveData(scratch, sizeof scratch);
    if (count <= 0) {
      Abandon(-1);
      return;
    }
    dropped += static_cast<size_t>(count);
    if (dropped > kStrayDataLimit) {
      Abandon(-EMSGSIZE);
      return;
    }
  }
}

void PopClient::Logout() {
  if (SendCommand("QUIT\r\n") > 0) ReadReply();
  Close();
}

std::string PopClient::LastReply() const { return std::string(reply_, reply_length_); }

int PopClient::ReadReply() {
  reply_length_ = 0;
  reply_[0] = '\0';
  if (!connected()) return -1;
  int ready = 0;
  for (int second = 0; second < reply_wait_seconds_ && ready == 0; ++second) {
    ready = WaitReadOrError(1, 0);
  }
  // A reply that comes later would be taken for the answer to the next command.
  if (ready == 0) return Abandon(-1);

  int count = ReceiveLine(reply_, kReplyLineLimit);
  if (count < 0) return Abandon(count);
  if (count == 0) return Abandon(-1);  // the server closed the connection
  reply_length_ = count;
  reply_[count] = '\0';

  if (count == kReplyLineLimit && reply_[count - 1] != '\n') {
    char rest[1024];
    size_t dropped = 0;
    for (;;) {
      int piece = ReceiveLine(rest, sizeof rest);
      if (piece <= 0) return Abandon(piece < 0 ? piece : -1);
      if (rest[piece - 1] == '\n') break;
      dropped += static_cast<size_t>(piece);
      if (dropped > kReplyDiscardLimit) return Abandon(-EMSGSIZE);
    }
  }
  return reply_[0] == '+' ? 1 : 0;
}

int PopClient::SendCommand(const std::string& command) {
  if (!connected()) return -1;
  int sent = SendData(command.data(), static_cast<int>(command.size()));
  return sent < 0 ? Abandon(sent) : 1;
}

int PopClient::Abandon(int result) {
  Close();
  return result < 0 ? result : -1;
}

}  // namespace quor
