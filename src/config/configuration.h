#pragma once
// Everything the user configures, as one value: the general settings, the
// mailboxes in checking order and the agents in running order. Loading makes
// one, the setup sheet edits a copy and hands it back, the processor installs
// it, saving writes it. Plain value; copy freely.

#include <vector>

#include "config/mail_agent.h"
#include "config/mailbox_account.h"
#include "config/settings.h"

namespace quor {

struct Configuration {
  Settings settings;
  std::vector<MailboxAccount> mailboxes;
  std::vector<MailAgent> agents;
};

}  // namespace quor
