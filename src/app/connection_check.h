#pragma once
// `quor --check --connect`: tries the servers of a configuration the way a
// pass and the mail actions reach them, and changes nothing there. Each
// mailbox: connect with its security setting, USER/PASS, STAT, QUIT (no
// message is read or deleted). The SMTP server: the greeting, HELO or EHLO,
// STARTTLS and AUTH as the settings ask, QUIT (no mail is sent).
//
// One line per server says how it went; passwords never appear in it.
// Blocking; one thread. Mailboxes without server or user and an empty SMTP
// server are left out (the file check reports them).

#include <string>
#include <vector>

#include "config/configuration.h"

namespace quor {

struct ConnectionOutcome {
  bool ok = false;
  std::string line;
};

class ConnectionCheck {
 public:
  // How long each reply may take, as in a pass.
  ConnectionCheck(int pop_reply_wait_seconds, int smtp_reply_wait_seconds);

  // The mailboxes in order, then the SMTP server.
  std::vector<ConnectionOutcome> Run(const Configuration& configuration) const;

  ConnectionOutcome CheckMailbox(const MailboxAccount& mailbox, const Settings& settings) const;
  ConnectionOutcome CheckSmtpServer(const Settings& settings) const;

 private:
  int pop_reply_wait_seconds_;
  int smtp_reply_wait_seconds_;
};

}  // namespace quor
