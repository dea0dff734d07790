#pragma once
// The client side of one POP3 conversation with one mailbox: greeting,
// USER/PASS, STAT, UIDL, LIST + RETR into a MailMessage, DELE, QUIT.
//
// Results: 1 positive reply, 0 the server refused (its line is LastReply()),
// negative for a time-out, a closed connection or -errno. RetrieveMessage
// returns 100 for a message above the size limit, which is not fetched.
// Used on one thread; owns the MailMessage of its last retrieval.

#include <string>

#include "message/mail_message.h"
#include "message/message_parser.h"
#include "net/client_socket.h"

class PopClient : public ClientSocket {
 public:
  static constexpr int kDefaultReplyWaitSeconds = 119;
  static constexpr size_t kUniqueIdLimit = 255;  // characters kept of a UIDL id

  explicit PopClient(int reply_wait_seconds = kDefaultReplyWaitSeconds);
  ~PopClient() override;

  // Connects and reads the greeting: the negative connect result, or the
  // greeting's ReadReply result.
  int Connect(const std::string& host, const std::string& service) override;
  int Login(const std::string& user, const std::string& password);
  // The count on a positive STAT reply, else the ReadReply result.
  int MessageCount();
  // UIDL n; on a positive reply the id (cut at kUniqueIdLimit) goes to out.
  int UniqueId(int number, std::string& out);
  int DeleteMessage(int number);
  int RetrieveMessage(int number);
  // QUIT, the reply read and ignored, then Close.
  void Logout();
  // The last reply line as received, its CR LF included.
  std::string LastReply() const;
  const MailMessage& Message() const { return message_; }

  void set_size_limit(long bytes) { size_limit_ = bytes; }
  long size_limit() const { return size_limit_; }
  int message_count() const { return message_count_; }

 private:
  int ReadReply();
  int SendCommand(const std::string& command);

  int reply_wait_seconds_;
  char reply_[2048] = {};
  int message_count_ = 0;
  long size_limit_ = 0;
  MailMessage message_;
  MessageParser parser_;
};
