#pragma once
// The client side of one POP3 conversation with one mailbox: greeting,
// CAPA and STLS or TLS from the first byte when asked, USER/PASS, STAT,
// UIDL, LIST + RETR, DELE, QUIT. The client owns its byte stream (a TCP
// connection from Connect, or any stream handed to Open; a TLS session
// replaces it when the connection is secured) and hands the lines of a
// retrieved message to a MessageLineSink the caller owns, so it knows
// nothing of what a message looks like inside.
//
// Results: 1 positive reply, 0 the server refused (its line is LastReply()),
// negative for a time-out, a closed connection or -errno. RetrieveMessage
// returns kMessageTooLarge for a message above the size limit, which is not
// fetched. A connection that could not be secured as asked gives a negative
// result with tls_error() saying why; nothing of the login has been sent
// then. Used on one thread.
//
// A conversation that has lost step with the server (a reply or message line
// that timed out, an over-long reply line, a server that closed) is closed at
// once, so later commands fail fast with -1 instead of reading stale lines.
//
// Reading ahead: once told which messages will be retrieved (PlanRetrievals)
// and when the server lists PIPELINING, the client sends the LIST and RETR
// commands of the next messages before the replies of earlier ones have been
// read, so that a message is on its way while the caller still works on the
// one before. The replies wait in the connection (the kernel's socket
// buffers) until their message is asked for: at most kWindowMessages
// messages ahead, and RETR commands ahead of their turn only for as many
// announced bytes as kWindowBytes holds (a larger message is asked for when
// the caller asks for it). A RETR is sent only after its LIST reply has been
// read, so a message above the size limit is never retrieved. Results,
// LastReply() and what the sink sees are the same as in lock-step.

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/connection_security.h"
#include "base/message_line_sink.h"
#include "net/byte_stream.h"
#include "net/line_reader.h"
#include "net/tls_stream.h"
#include "net/transfer_pace.h"

namespace quor {

// Reply parsing, free of streams. Each reads what the matching scanf pattern
// would, with saturation instead of overflow.
// STAT "+OK 2 320" -> 2 ("%*s %d %*d"); none when the reply holds no number.
std::optional<long long> StatCount(std::string_view reply);
// LIST "+OK 1 2048" -> 2048 ("%*s %*d %ld").
std::optional<long long> ListSize(std::string_view reply);
// UIDL "+OK 1 abc" -> "abc" ("%*s %*d %s"), cut at `limit` characters.
std::optional<std::string> UidlId(std::string_view reply, size_t limit);
// A line of the UIDL listing, "1 abc" -> {1, "abc"} ("%d %s"), the id cut at
// `limit` characters; none without a number.
std::optional<std::pair<long long, std::string>> UidlListingLine(std::string_view line,
                                                                 size_t limit);
// True for an id a marker can hold: one or more characters, each from 0x21 to
// 0x7E, the only ones a unique id may have.
bool IsValidUniqueId(std::string_view id);

class PopClient {
 public:
  static constexpr int kDefaultReplyWaitSeconds = 119;
  static constexpr size_t kUniqueIdLimit = 255;  // characters kept of a UIDL id
  // RetrieveMessage: the listed size is above the size limit; not fetched.
  static constexpr int kMessageTooLarge = 100;
  // Reading ahead: messages whose commands may be sent before their turn,
  // and the announced bytes of the RETR commands that may be on their way.
  static constexpr int kWindowMessages = 64;
  static constexpr long long kWindowBytes = 1024 * 1024;

  // reply_wait_seconds: how long a reply (and each later piece of a message)
  // may take to arrive; at least 1.
  explicit PopClient(int reply_wait_seconds = kDefaultReplyWaitSeconds);
  ~PopClient();
  PopClient(const PopClient&) = delete;
  PopClient& operator=(const PopClient&) = delete;

  // The port of each kind of connection when the server text names none:
  // 110 in clear and for STLS, 995 for TLS from the first byte.
  static std::string DefaultService(ConnectionSecurity security);

  // Connects over TCP in clear (see TcpStream::Connect) and reads the
  // greeting: the negative connect result, or the greeting's reply result.
  int Connect(const std::string& host, const std::string& service);
  // Connects to the server text ("host", "host:port", "[::1]:995") as
  // `security` asks and gets the session ready for Login: TLS and the
  // greeting (kImplicitTls); the greeting, CAPA and STLS (kStartTls); the
  // greeting alone (kNone). The TLS session is checked against the host of
  // the server text. The negative connect result, the greeting's reply
  // result, or a negative result with tls_error() set.
  int Connect(const std::string& server, ConnectionSecurity security, const TlsOptions& tls);
  // Takes a stream that is already open and reads the greeting.
  int Open(std::unique_ptr<ByteStream> stream);
  // The same as Connect after the TCP connection: `host` is the name or
  // address the server's certificate must carry.
  int Open(std::unique_ptr<ByteStream> stream, ConnectionSecurity security, const std::string& host,
           const TlsOptions& tls);

  // Steps of securing a session, used by Open and open to later steps.
  // CAPA: 1 with the list kept for HasCapability, 0 when the server refused
  // (no capabilities then), negative on error.
  int RequestCapabilities();
  // True when the last CAPA listed the capability (its first word, letter
  // case ignored). The list is forgotten when TLS starts, as the server's
  // may differ inside TLS.
  bool HasCapability(std::string_view name) const;
  // STLS and the TLS handshake with the server `host`: 1 when the session is
  // protected; otherwise negative with tls_error() set (refused, handshake
  // failed, clear text after the reply) and the connection closed.
  int StartTls(const std::string& host, const TlsOptions& tls);
  // Why the last Connect or Open could not secure the session; false when
  // it did not fail for that reason.
  const TlsError& tls_error() const { return tls_error_; }
  // -EINVAL without sending anything when the user or password holds a line
  // break (it would smuggle in a command of its own).
  int Login(const std::string& user, const std::string& password);
  // The count on a positive STAT reply, else the reply result.
  int MessageCount();
  // UIDL n; on a positive reply the id (cut at kUniqueIdLimit) goes to out.
  int UniqueId(int number, std::string& out);
  // UIDL: the ids the listing names, ids[n - 1] for message n, each cut at
  // kUniqueIdLimit; as long as the highest number named, empty where the
  // listing named none. Numbers beyond the last MessageCount(), and numbers
  // far ahead of the lines read so far (memory follows the listing, not a
  // claimed count), are ignored. The reply result; a listing far longer than
  // the message count is given up on (-EMSGSIZE). Keeps the transfer pace,
  // like a message.
  int UniqueIds(std::vector<std::string>& ids);
  // DELE n. Amid reading ahead, DELE goes after the commands already sent
  // (they are not undone: a message already asked for is still handed out);
  // their replies are held in memory until the DELE reply has come, then
  // handed out in turn: about kWindowBytes at most from an honest server,
  // and bounded like a retrieval's from one whose LIST sizes lie.
  int DeleteMessage(int number);
  // LIST n, the size limit, RETR n; the message's lines go to `sink`, which
  // sees BeginMessage, the lines and EndMessage only when RETR was accepted.
  int RetrieveMessage(int number, MessageLineSink& sink);
  // The caller will retrieve messages first to last, in order, one
  // RetrieveMessage each (DeleteMessage between them as it likes). With
  // more than one message and pipelining allowed, asks CAPA (unless this
  // session, or its TLS part, already did) and reads ahead when the server
  // lists PIPELINING; otherwise, or when CAPA is refused, every command
  // waits for the reply before it as without a plan. Retrieving another
  // message than the next one planned, or any other command but DELE and
  // QUIT, ends the plan first: replies of commands sent ahead are read and
  // dropped.
  void PlanRetrievals(int first, int last);
  // True while commands of a plan are on their way or may still be sent.
  bool reading_ahead() const { return last_planned_ > 0; }
  // Lock-step only, whatever the server offers: for tests and benchmarks
  // that compare the two ways; users always get what the server offers.
  void set_pipelining_allowed(bool allowed) { pipelining_allowed_ = allowed; }
  // QUIT, its reply read, then Close. The reply's result: 1 means the
  // server has carried out the deletions of the session. Commands still on
  // their way are answered first, so that the server gets to the QUIT.
  int Logout();
  // Drops the connection without a word to the server.
  void Close();
  // The last reply line as received, its CR LF included.
  std::string LastReply() const { return reply_; }

  bool connected() const { return stream_ != nullptr && stream_->is_open(); }
  // The pace a message retrieval (and the id listing) must keep as a whole:
  // each piece must still come within the reply wait, and the whole transfer,
  // once it has run the grace time, must average the minimum rate, or it is
  // abandoned like a silent server.
  void set_transfer_pace(const PaceLimits& limits) { pace_limits_ = limits; }
  void set_size_limit(long bytes) { size_limit_ = bytes; }
  long size_limit() const { return size_limit_; }
  int message_count() const { return message_count_; }

 private:
  // Reply lines longer than this are cut here; the rest of the line is read
  // and dropped so that the next reply starts in step.
  static constexpr size_t kReplyLineLimit = 1023;
  // Message lines are read and handed to the sink in pieces of this size.
  static constexpr int kPieceSize = 512;

  int ReadReply();
  int SendCommand(const std::string& command);
  // STLS is required: CAPA must list it, then StartTls.
  int RequireStartTls(const std::string& host, const TlsOptions& tls);
  // Replaces the stream by a TLS session over it; bytes that came in clear
  // after the last reply end the session instead.
  int SwitchToTls(const std::string& host, const TlsOptions& tls);
  // Records why TLS could not be used and ends the session politely.
  int RefuseInsecureSession(TlsError error);
  // Reads the message lines after a positive RETR reply into the sink.
  void ReadMessageLines(MessageLineSink& sink);
  // Drops what the server has sent beyond the end of the message, without
  // waiting for more.
  void DropStrayData();
  // Closes a conversation that can no longer be trusted to be in step.
  int Abandon(int result);

  // Reading ahead.
  enum class Step { kList, kRetrieve };
  struct SentCommand {
    Step step;
    int number;
    long long size;  // a RETR's announced size
  };
  // A LIST reply read ahead, kept until its message is asked for.
  struct ListedMessage {
    int number;
    int result;  // of the LIST reply
    std::string reply;
    long long size;
    bool retrieving;  // its RETR has been sent
  };
  bool WithinSizeLimit(long long size) const { return size_limit_ == 0 || size <= size_limit_; }
  int RetrieveAhead(int number, MessageLineSink& sink);
  // Sends the RETR commands that listed messages may have now and the LIST
  // commands the window has room for, in one write. The RETR of message
  // `due_now`, the one the caller asks for, goes whatever its size.
  int SendAhead(int due_now = 0);
  // Reads the LIST reply at the head of the commands on their way.
  int ReadListReply();
  // Sends `command` after those on their way and reads its reply: their
  // replies are held meanwhile and put back to be read in turn.
  int ExchangeAmidReadAhead(const std::string& command);
  // Reads the replies of every command on their way, raw, into `held`.
  int HoldInFlight(std::vector<char>& held);
  // Reads and drops the replies still on their way and forgets the plan.
  void EndPlan();
  void ForgetPlan();

  int reply_wait_seconds_;
  PaceLimits pace_limits_;
  std::unique_ptr<ByteStream> stream_;
  LineReader reader_;
  std::string reply_;
  std::vector<std::string> capabilities_;  // lines of the last CAPA reply
  bool capabilities_known_ = false;        // CAPA was asked since the session (or TLS) began
  TlsError tls_error_;
  int message_count_ = 0;
  long size_limit_ = 0;
  long long announced_size_ = 0;

  bool pipelining_allowed_ = true;
  int last_planned_ = 0;   // 0: no plan
  int next_expected_ = 0;  // the next message the caller will ask for
  int next_to_list_ = 0;   // the next message whose LIST is to be sent
  std::deque<SentCommand> in_flight_;
  std::deque<ListedMessage> listed_;
  long long bytes_in_flight_ = 0;  // announced sizes of the RETRs in flight
};

}  // namespace quor
