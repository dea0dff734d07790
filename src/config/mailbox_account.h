#pragma once
// One POP3 mailbox of the mailbox list. The id is not stored anywhere: it lets
// the processor find "the same account" again after the setup sheet handed
// back edited copies, so a marker moved by a running pass is not lost.

#include <cstdint>
#include <string>

namespace quor {

struct MailboxAccount {
  std::string server;
  std::string user;
  std::string password;
  std::string last_message;  // unique id of the last message handled; empty: none yet
  uint64_t id = 0;           // 0: not yet known to the processor

  // How the log and the setup sheet show a mailbox: user, "@", server.
  std::string Label() const { return user + "@" + server; }
};

}  // namespace quor
