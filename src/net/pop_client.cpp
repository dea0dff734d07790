#include "net/pop_client.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>

#include "base/line_breaks.h"
#include "net/host_lookup.h"
#include "net/tcp_stream.h"

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
// Lines of a UIDL listing beyond one per message before giving up on it.
constexpr size_t kListingSlackLines = 1000;
// No real server lists more capabilities than this.
constexpr size_t kCapabilityLineLimit = 1000;

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

std::optional<std::pair<long long, std::string>> UidlListingLine(std::string_view line,
                                                                 size_t limit) {
  ReplyScanner scanner(line);
  std::optional<long long> number = scanner.Number();
  if (!number) return std::nullopt;
  std::string id(scanner.Word().value_or("").substr(0, limit));
  return std::make_pair(*number, std::move(id));
}

bool IsValidUniqueId(std::string_view id) {
  return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
    unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 0x21 && byte <= 0x7E;
  });
}

PopClient::PopClient(int reply_wait_seconds)
    : reply_wait_seconds_(std::max(1, reply_wait_seconds)) {}

PopClient::~PopClient() = default;

std::string PopClient::DefaultService(ConnectionSecurity security) {
  return security == ConnectionSecurity::kImplicitTls ? "995" : "110";
}

int PopClient::Connect(const std::string& host, const std::string& service) {
  Close();
  tls_error_ = {};
  std::unique_ptr<TcpStream> connection;
  int result = TcpStream::Connect(host, service, connection, reply_wait_seconds_);
  if (result < 0) return result;
  return Open(std::move(connection));
}

int PopClient::Connect(const std::string& server, ConnectionSecurity security,
                       const TlsOptions& tls) {
  Close();
  tls_error_ = {};
  std::unique_ptr<TcpStream> connection;
  int result =
      TcpStream::Connect(server, DefaultService(security), connection, reply_wait_seconds_);
  if (result < 0) return result;
  std::string host;
  std::string port;
  SplitHostPort(server, host, port);
  return Open(std::move(connection), security, host, tls);
}

int PopClient::Open(std::unique_ptr<ByteStream> stream) {
  return Open(std::move(stream), ConnectionSecurity::kNone, "", {});
}

int PopClient::Open(std::unique_ptr<ByteStream> stream, ConnectionSecurity security,
                    const std::string& host, const TlsOptions& tls) {
  tls_error_ = {};
  capabilities_.clear();
  capabilities_known_ = false;
  ForgetPlan();
  stream_ = std::move(stream);
  reader_.Attach(stream_.get());
  if (security == ConnectionSecurity::kImplicitTls) {
    int result = SwitchToTls(host, tls);
    if (result < 0) return result;
  }
  int result = ReadReply();
  if (result <= 0 || security != ConnectionSecurity::kStartTls) return result;
  return RequireStartTls(host, tls);
}

int PopClient::RequireStartTls(const std::string& host, const TlsOptions& tls) {
  int result = RequestCapabilities();
  if (result < 0) return result;
  // CAPA is binding: a server (or someone in between) that leaves STLS out
  // is not asked for it anyway.
  if (!HasCapability("STLS")) return RefuseInsecureSession({TlsFailure::kNotOffered, "STLS"});
  return StartTls(host, tls);
}

int PopClient::RequestCapabilities() {
  EndPlan();
  capabilities_.clear();
  capabilities_known_ = true;
  int result = SendCommand("CAPA\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;
  const Deadline deadline = DeadlineIn(reply_wait_seconds_);
  std::string line;
  for (size_t count = 0;; ++count) {
    if (count == kCapabilityLineLimit) return Abandon(-EMSGSIZE);
    int read = reader_.ReadReplyLine(line, kReplyLineLimit, kReplyLineLimit + kReplyDiscardLimit,
                                     deadline);
    if (read < 0) return Abandon(read);
    std::string text = StripLineBreaks(line);
    if (text == ".") return 1;
    // Multi-line replies double a leading dot.
    if (!text.empty() && text[0] == '.') text.erase(0, 1);
    capabilities_.push_back(std::move(text));
  }
}

bool PopClient::HasCapability(std::string_view name) const {
  for (const std::string& line : capabilities_) {
    std::string_view word = std::string_view(line).substr(0, line.find(' '));
    if (word.size() == name.size() && strncasecmp(word.data(), name.data(), name.size()) == 0) {
      return true;
    }
  }
  return false;
}

int PopClient::StartTls(const std::string& host, const TlsOptions& tls) {
  EndPlan();
  int result = SendCommand("STLS\r\n");
  if (result > 0) result = ReadReply();
  if (result < 0) return result;
  if (result == 0) {
    return RefuseInsecureSession(
        {TlsFailure::kRefused, "STLS (" + StripLineBreaks(LastReply()) + ")"});
  }
  return SwitchToTls(host, tls);
}

int PopClient::SwitchToTls(const std::string& host, const TlsOptions& tls) {
  int result = TlsStream::StartInSession(stream_, reader_, host, tls,
                                         DeadlineIn(reply_wait_seconds_), tls_error_);
  if (result < 0) return Abandon(result);
  capabilities_.clear();
  capabilities_known_ = false;
  return 1;
}

int PopClient::RefuseInsecureSession(TlsError error) {
  Logout();
  tls_error_ = std::move(error);
  return -EPROTO;
}

void PopClient::Close() {
  if (stream_) stream_->Close();
  reader_.Attach(nullptr);
  ForgetPlan();
}

int PopClient::Login(const std::string& user, const std::string& password) {
  if (HasLineBreak(user) || HasLineBreak(password)) return -EINVAL;
  EndPlan();
  int result = SendCommand("USER " + user + "\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;
  result = SendCommand("PASS " + password + "\r\n");
  return result > 0 ? ReadReply() : result;
}

int PopClient::MessageCount() {
  EndPlan();
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
  EndPlan();
  int result = SendCommand("UIDL " + std::to_string(number) + "\r\n");
  if (result > 0) result = ReadReply();
  if (result > 0) out = UidlId(LastReply(), kUniqueIdLimit).value_or("");
  return result;
}

int PopClient::UniqueIds(std::vector<std::string>& ids) {
  ids.clear();
  EndPlan();
  int result = SendCommand("UIDL\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;

  TransferPace pace(pace_limits_, Clock::now());
  const size_t count = static_cast<size_t>(message_count_);
  std::string line;
  for (size_t lines = 0;; ++lines) {
    if (lines > count + kListingSlackLines) return Abandon(-EMSGSIZE);
    int read = reader_.ReadReplyLine(line, kReplyLineLimit, kReplyLineLimit + kReplyDiscardLimit,
                                     pace.Bound(DeadlineIn(reply_wait_seconds_)));
    if (read < 0) return Abandon(read);
    pace.Count(line.size());
    if (line == ".\r\n" || line == ".\n") return 1;
    std::optional<std::pair<long long, std::string>> entry =
        UidlListingLine(StripLineBreaks(line), kUniqueIdLimit);
    if (!entry || entry->first < 1 || entry->first > static_cast<long long>(count) ||
        static_cast<size_t>(entry->first) > lines + kListingSlackLines) {
      continue;
    }
    size_t number = static_cast<size_t>(entry->first);
    if (number > ids.size()) ids.resize(number);
    ids[number - 1] = std::move(entry->second);
  }
}

int PopClient::DeleteMessage(int number) {
  const std::string command = "DELE " + std::to_string(number) + "\r\n";
  if (!in_flight_.empty()) return ExchangeAmidReadAhead(command);
  int result = SendCommand(command);
  return result > 0 ? ReadReply() : result;
}

int PopClient::RetrieveMessage(int number, MessageLineSink& sink) {
  if (reading_ahead()) {
    if (number == next_expected_ && number <= last_planned_) return RetrieveAhead(number, sink);
    EndPlan();
  }
  int result = SendCommand("LIST " + std::to_string(number) + "\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;

  // Far beyond any real message, and small enough to compute with safely.
  announced_size_ = std::clamp(ListSize(LastReply()).value_or(0), 0LL, kLargestAnnouncedSize);
  if (size_limit_ != 0 && announced_size_ > size_limit_) return kMessageTooLarge;

  result = SendCommand("RETR " + std::to_string(number) + "\r\n");
  if (result > 0) result = ReadReply();
  if (result <= 0) return result;

  ReadMessageLines(sink);
  DropStrayData();
  // A message cut short by the connection keeps what came, and the RETR
  // reply stays the result.
  return result;
}

void PopClient::ReadMessageLines(MessageLineSink& sink) {
  sink.BeginMessage(static_cast<size_t>(std::min(announced_size_, kLargestSizeHint)));

  const long long budget =
      2 * std::max(announced_size_, static_cast<long long>(size_limit_)) + kRetrievalSlack;
  long long received = 0;
  TransferPace pace(pace_limits_, Clock::now());
  char line[kPieceSize + 1];
  // A CR that ended a piece is held back: it may be half of the CR LF that
  // ends the line, and must then go with the line end.
  int carried = 0;
  bool line_start = true;
  for (;;) {
    if (carried) line[0] = '\r';
    // Each piece within the reply wait, and the whole message at the pace.
    int count = reader_.ReadLine(line + carried, static_cast<size_t>(kPieceSize - carried),
                                 pace.Bound(DeadlineIn(reply_wait_seconds_)));
    if (count <= 0) {
      Abandon(count);
      break;
    }
    received += count;
    pace.Count(static_cast<size_t>(count));
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
    if (length > 0) sink.AddMessageLine(text, length);
    line_start = complete;
  }
  sink.EndMessage();
}

void PopClient::DropStrayData() {
  // Only what has already arrived is dropped: a server that keeps to the
  // protocol costs no wait at all.
  char scratch[4096];
  size_t dropped = 0;
  while (connected() && reader_.HasInput()) {
    int count = reader_.ReadAvailable(scratch, sizeof scratch);
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

int PopClient::Logout() {
  int result;
  if (!in_flight_.empty()) {
    result = ExchangeAmidReadAhead("QUIT\r\n");
  } else {
    result = SendCommand("QUIT\r\n");
    if (result > 0) result = ReadReply();
  }
  Close();
  return result;
}

void PopClient::PlanRetrievals(int first, int last) {
  EndPlan();
  // A single message gains nothing from reading ahead: its RETR waits for
  // its LIST reply either way.
  if (!pipelining_allowed_ || first < 1 || last <= first || !connected()) return;
  // Capabilities may change with the login, so they are asked now; a server
  // that refuses CAPA is taken at its word that it offers nothing.
  if (!capabilities_known_ && RequestCapabilities() < 0) return;
  if (!HasCapability("PIPELINING")) return;
  last_planned_ = last;
  next_expected_ = first;
  next_to_list_ = first;
}

int PopClient::RetrieveAhead(int number, MessageLineSink& sink) {
  ++next_expected_;
  int result = SendAhead();
  // The LIST reply of this message: read already, or next in line.
  while (result > 0 && (listed_.empty() || listed_.front().number != number)) {
    result = ReadListReply();
  }
  if (result < 0) return result;
  // RETR commands go in the order of the messages; if this one's has not
  // gone yet (it is larger than the window), no later one has.
  const ListedMessage& front = listed_.front();
  if (!front.retrieving && front.result > 0 && WithinSizeLimit(front.size)) {
    result = SendAhead(number);
    if (result < 0) return result;
  }
  ListedMessage listed = std::move(listed_.front());
  listed_.pop_front();
  reply_ = listed.reply;
  if (listed.result <= 0) return listed.result;
  announced_size_ = listed.size;
  if (!WithinSizeLimit(listed.size)) return kMessageTooLarge;

  // LIST commands sent before this RETR are answered before it.
  while (!in_flight_.empty() && in_flight_.front().step == Step::kList) {
    result = ReadListReply();
    if (result < 0) return result;
  }
  if (in_flight_.empty() || in_flight_.front().number != number) return Abandon(-EPROTO);
  bytes_in_flight_ -= in_flight_.front().size;
  in_flight_.pop_front();
  result = ReadReply();
  if (result > 0) {
    ReadMessageLines(sink);
    // With replies of later commands on their way, nothing after the end
    // of the message is stray.
    if (in_flight_.empty()) DropStrayData();
  }
  // The next messages come on while the caller works on this one.
  if (connected()) SendAhead();
  return result;
}

int PopClient::SendAhead(int due_now) {
  std::string commands;
  for (ListedMessage& listed : listed_) {
    if (listed.retrieving || listed.result <= 0 || !WithinSizeLimit(listed.size)) continue;
    // What is asked for ahead of its turn must fit in the window, so that
    // DELE amid the window never holds more than the window in memory.
    if (listed.number != due_now && bytes_in_flight_ + listed.size > kWindowBytes) break;
    commands += "RETR " + std::to_string(listed.number) + "\r\n";
    in_flight_.push_back({Step::kRetrieve, listed.number, listed.size});
    bytes_in_flight_ += listed.size;
    listed.retrieving = true;
  }
  while (next_to_list_ <= last_planned_ && next_to_list_ - next_expected_ < kWindowMessages) {
    commands += "LIST " + std::to_string(next_to_list_) + "\r\n";
    in_flight_.push_back({Step::kList, next_to_list_, 0});
    ++next_to_list_;
  }
  return commands.empty() ? 1 : SendCommand(commands);
}

int PopClient::ReadListReply() {
  if (in_flight_.empty() || in_flight_.front().step != Step::kList) return Abandon(-EPROTO);
  const int number = in_flight_.front().number;
  in_flight_.pop_front();
  int result = ReadReply();
  if (result < 0) return result;
  long long size =
      result > 0 ? std::clamp(ListSize(reply_).value_or(0), 0LL, kLargestAnnouncedSize) : 0;
  listed_.push_back({number, result, reply_, size, false});
  return SendAhead();
}

int PopClient::ExchangeAmidReadAhead(const std::string& command) {
  int result = SendCommand(command);
  if (result <= 0) return result;
  std::vector<char> held;
  result = HoldInFlight(held);
  if (result < 0) return result;
  result = ReadReply();
  if (result >= 0) reader_.Replay(std::move(held));
  return result;
}

int PopClient::HoldInFlight(std::vector<char>& held) {
  // What an honest server sends is about the announced sizes; a lying one
  // is stopped as a single retrieval would be.
  const long long budget =
      2 * (bytes_in_flight_ + static_cast<long long>(size_limit_)) + kRetrievalSlack;
  std::string line;
  char piece[kPieceSize];
  for (const SentCommand& command : in_flight_) {
    int read = reader_.ReadReplyLine(line, kReplyLineLimit, kReplyLineLimit + kReplyDiscardLimit,
                                     DeadlineIn(reply_wait_seconds_));
    if (read < 0) return Abandon(read);
    // A line cut at the limit gets an end, so it is read again as the same
    // reply.
    if (line.back() != '\n') line += "\r\n";
    held.insert(held.end(), line.begin(), line.end());
    if (command.step != Step::kRetrieve || line[0] != '+') continue;
    TransferPace pace(pace_limits_, Clock::now());
    bool line_start = true;
    for (;;) {
      int count =
          reader_.ReadLine(piece, sizeof piece, pace.Bound(DeadlineIn(reply_wait_seconds_)));
      if (count <= 0) return Abandon(count);
      pace.Count(static_cast<size_t>(count));
      held.insert(held.end(), piece, piece + count);
      if (static_cast<long long>(held.size()) > budget) return Abandon(-EMSGSIZE);
      const bool complete = piece[count - 1] == '\n';
      // The lone dot that ends the message: ".\r\n", or ".\n" alone.
      if (complete && line_start && piece[0] == '.' &&
          (count == 2 || (count == 3 && piece[1] == '\r'))) {
        break;
      }
      line_start = complete;
    }
  }
  return 1;
}

void PopClient::EndPlan() {
  if (!in_flight_.empty() && connected()) {
    std::vector<char> dropped;
    HoldInFlight(dropped);
  }
  ForgetPlan();
}

void PopClient::ForgetPlan() {
  last_planned_ = 0;
  next_expected_ = 0;
  next_to_list_ = 0;
  in_flight_.clear();
  listed_.clear();
  bytes_in_flight_ = 0;
}

int PopClient::ReadReply() {
  reply_.clear();
  if (!connected()) return -1;
  // The whole reply line must come within the reply wait: a reply that comes
  // later would be taken for the answer to the next command.
  int result = reader_.ReadReplyLine(reply_, kReplyLineLimit, kReplyLineLimit + kReplyDiscardLimit,
                                     DeadlineIn(reply_wait_seconds_));
  if (result < 0) {
    reply_.clear();
    return Abandon(result);
  }
  return reply_[0] == '+' ? 1 : 0;
}

int PopClient::SendCommand(const std::string& command) {
  if (!connected()) return -1;
  int sent = stream_->Write(command.data(), command.size(), DeadlineIn(reply_wait_seconds_));
  return sent < 0 ? Abandon(sent) : 1;
}

int PopClient::Abandon(int result) {
  Close();
  return result < 0 ? result : -1;
}

}  // namespace quor
