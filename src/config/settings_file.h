#pragma once
// The settings and the mailbox list under [Settings] in the profile file.
//
// Keys: POPDelay, MessageSize, SMTPServer, Email, Name, Organization, Reply,
// Logfile, EnableLog, ExitOnCheck, ReplyToAutomatic, DecodeText, MailboxCount,
// and per mailbox n (from 0)
// POPServer<n>, POPUser<n>, POPPassword<n>, POPLastMsg<n>. Texts are read up
// to ProfileFile::kSettingsTextLimit characters; integers as their leading
// digits.
//
// The keys of protected connections, SMTPSecurity, SMTPUser, SMTPPassword,
// CAFile and POPSecurity<n>, are written only when their value is not the
// default or the file has the key already (so that going back to the default
// is saved too): a profile from before them loads and saves byte for byte.
//
// Stateless; each call reads or writes the whole file.

#include <string>
#include <vector>

#include "config/configuration_source.h"
#include "config/mailbox_account.h"
#include "config/settings.h"

namespace quor {

class SettingsFile {
 public:
  // A MailboxCount larger than the mailboxes present gives empty mailboxes for
  // the missing ones, but never more than this many past the last mailbox
  // with a key in the file, so a damaged count neither allocates nor loops.
  static constexpr int kMaxMissingRecords = 1000;

  // Reads settings and appends the mailboxes. A missing file gives defaults:
  // every setting is assigned, from the file or from its default. A count of
  // 0 or below gives no mailboxes. source (when given) receives where the
  // server settings and the mailboxes were written.
  static void Load(const std::string& path, Settings& settings,
                   std::vector<MailboxAccount>& mailboxes, SettingsSource* source = nullptr);
  // Writes every setting key and the mailboxes (keys of a longer earlier list
  // stay in the file, as do keys and sections this program does not know).
  // The keys that came later (ReplyToAutomatic, DecodeText, the keys of
  // protected connections above) are written only when they differ from
  // their default or are in the file already, so a profile that never set
  // them is written back byte for byte.
  // Creates the folder (mode 0700) when missing; the file is 0600. False when
  // the file could not be written, or when it exists but cannot be read
  // (then it is left as it is rather than replaced by this program's keys
  // alone), or when a value held a line break and was cut.
  static bool Save(const std::string& path, const Settings& settings,
                   const std::vector<MailboxAccount>& mailboxes);
};

}  // namespace quor
