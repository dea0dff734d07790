#pragma once
// Hands one composed message to an SMTP server: greeting, HELO, MAIL FROM,
// RCPT TO per recipient, DATA, the content, the terminating dot; QUIT when the
// object is destroyed. Results: 1 sent, 0 refused (the refusing line is
// LastReply()), negative for an error (-1 for a missing sender or recipient
// or a time-out, otherwise -errno). Lives for one send or forward action.

#include <string>
#include <vector>

#include "net/client_socket.h"
#include "net/log_target.h"
#include "net/outgoing_message.h"

// The bare address of a mailbox text: between '<' and '>', else the text
// before '(' without trailing spaces, else the text unchanged.
std::string MailboxAddress(const std::string& text);

class SmtpClient : public ClientSocket {
 public:
  static constexpr int kDefaultReplyWaitSeconds = 29;

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
};
