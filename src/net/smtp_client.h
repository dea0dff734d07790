#pragma once
// Hands one message to an SMTP server: greeting, HELO, MAIL FROM, RCPT TO per
// recipient, DATA, the content, the terminating dot; QUIT when the session
// ends or the object is destroyed. The client owns its byte stream (a TCP
// connection from Connect, or any stream handed to Open). It knows the
// envelope only; the content is written by the caller through the data
// stream it is given, so the message format stays out of this folder.
//
// Results: 1 sent, 0 refused (the refusing line is LastReply()), negative for
// an error (-1 for a missing sender or recipient or a time-out, otherwise
// -errno).
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
#include <string>
#include <vector>

#include "base/byte_output.h"
#include "base/log_sink.h"
#include "net/byte_stream.h"
#include "net/line_reader.h"
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

  // Connects over TCP, reads the greeting and says HELO: negative on connect
  // or greeting failure, else the reply result of HELO.
  int Connect(const std::string& host, const std::string& service);
  // The same over a stream that is already open.
  int Open(std::unique_ptr<ByteStream> stream);
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
  int ReadReply();
  // Sends one command line (CR LF added) and reads its reply.
  int Command(const std::string& line);
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
};

}  // namespace quor
