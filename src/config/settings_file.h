#pragma once
// The settings and the mailbox list under [Settings] in the profile file.

#include <string>
#include <vector>

#include "config/mailbox_account.h"
#include "config/settings.h"

class SettingsFile {
 public:
  // Reads settings and appends the mailboxes. A missing file gives defaults.
  static void Load(const std::string& path, Settings& settings,
                   std::vector<MailboxAccount>& mailboxes);
  // Writes every setting key and the mailboxes (keys of a longer earlier list
  // stay in the file). Creates the folder when missing; the file is 0600.
  static bool Save(const std::string& path, const Settings& settings,
                   const std::vector<MailboxAccount>& mailboxes);
};
