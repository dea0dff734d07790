#pragma once
// Hands one composed message to an SMTP server: greeting, HELO, MAIL FROM,
// RCPT TO per recipient, DATA, the content, the terminating dot; QUIT when the
// object is destroyed. Results: 1 sent, 0 refused (the refusing line is
// LastReply()), negative for an error (-1 for a missing sender or recipient
// or a time-out, otherwise -errno). Lives for one send or forward action.
//
// Nothing a message or a variable holds can add a protocol line: addresses
// with a CR or LF are refused before anything is sent, header values lose
// their line breaks, and the content goes through DotStuffingOutput, which
// makes every line end CR LF and doubles a leading '.'.
//
// A conversation that times out or loses its connection is closed at once:
// it is out of step with the server, so no QUIT is sent afterwards.
// One thread at a time.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "net/byte_output.h"
#include "net/client_socket.h"
#include "net/log_target.h"
#include "net/outgoing_message.h"

namespace quor {

// The bare address of a mailbox text: between '<' and '>', else the text
// before '(' without trailing spaces, else the text unchanged.
std::string MailboxAddress(const std::string& text);

// The pieces of a comma-separated recipient list, each as written (blanks
// kept). A trailing comma adds nothing; an empty piece between two commas is
// kept (and will be refused by the server).
std::vector<std::string> SplitRecipients(const std::string& list);

// True when the text holds a CR or an LF.
bool HasLineBreak(std::string_view text);

// The DATA section's transparency: every line end (CR LF, a bare LF or a bare
// CR) leaves as CR LF, and a line beginning with '.' gets one more '.', so no
// content can end the data early or smuggle in a command. Streams: the state
// between writes is one flag and one pending CR. Finish() completes a pending
// CR; call it before anything is written to `wire` directly.
class DotStuffingOutput : public ByteOutput {
 public:
  explicit DotStuffingOutput(ByteOutput& wire) : wire_(wire) {}
  void Write(const char* bytes, size_t count) override;
  void Finish();

 private:
  ByteOutput& wire_;
  bool at_line_start_ = true;
  bool pending_cr_ = false;
};

class SmtpClient : public ClientSocket {
 public:
  static constexpr int kDefaultReplyWaitSeconds = 29;
  // Reply lines are kept up to this length for LastReply(); the rest of a
  // longer line is read and dropped.
  static constexpr size_t kReplyKeep = 511;

  // log: receives the "[SMTP] From:" and "[SMTP] To:" lines; may be null.
  explicit SmtpClient(LogTarget* log, int reply_wait_seconds = kDefaultReplyWaitSeconds);
  ~SmtpClient() override;

  // Connect, greeting, HELO: negative on connect or greeting failure, else the
  // ReadReply result of HELO.
  int Connect(const std::string& host, const std::string& service) override;
  // Remembers the path when the file exists; otherwise ignores it silently.
  void AddAttachment(const std::string& path);
  int SendMessage(const OutgoingMessage& message);
  std::string LastReply() const;
  void EndSession();

  const std::vector<std::string>& attachments() const { return attachments_; }

 private:
  // Waits for and reads one reply: 1 for a line beginning with '1' to '3', 0
  // for any other line, -1 after the reply wait or on a closed connection,
  // -errno on a socket error. Continuation lines ("250-...") are read up to
  // the last line of the reply, which becomes LastReply().
  int ReadReply();
  // One reply line into reply_; 1, -1 (time-out, closed, too long) or -errno.
  int ReadReplyLine();
  // Sends one command line (CR LF added) and reads its reply.
  int Command(const std::string& line);
  // Sends the header block and the body or multipart body through the
  // transparency filter; 1, or a negative result.
  int SendContent(const OutgoingMessage& message);
  // Drops the connection of a conversation that went wrong and passes the
  // result on.
  int Abandon(int result);

  LogTarget* log_;
  int reply_wait_seconds_;
  std::string reply_;
  std::vector<std::string> attachments_;
};

}  // namespace quor
