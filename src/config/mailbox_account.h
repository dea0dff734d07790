#pragma once
// One POP3 mailbox of the mailbox list. The id is not stored anywhere: it lets
// the processor find "the same account" again after the setup sheet handed
// back edited copies, so a marker moved by a running pass is not lost.

#include <cstdint>
#include <string>

#include "base/connection_security.h"

namespace quor {

struct MailboxAccount {
  std::string server;  // "host", "host:port", "[IPv6 address]:port", as the user wrote it
  std::string user;
  std::string password;
  std::string last_message;  // unique id of the last message handled; empty: none yet
  // "POPSecurity<n>"; absent: kNone, as every profile written before it.
  ConnectionSecurity security = ConnectionSecurity::kNone;
  uint64_t id = 0;  // 0: not yet known to the processor

  // How the log and the setup sheet show a mailbox: user, "@", server.
  std::string Label() const { return user + "@" + server; }
};

}  // namespace quor
