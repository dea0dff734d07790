#include "config/settings_file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "base/folders.h"
#include "config/profile_file.h"
#include "config/record_bound.h"

namespace quor {

namespace {

constexpr char kSection[] = "Settings";

std::string Numbered(const char* key, size_t index) { return key + std::to_string(index); }

std::string Text(const ProfileFile& profile, const std::string& key) {
  return profile.GetString(kSection, key, "", ProfileFile::kSettingsTextLimit);
}

bool SameKey(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// For keys that came after the file format: absent means the default, and
// writing the default into a file that never had the key would change it.
bool WriteFlagUnlessDefault(ProfileFile& profile, const std::string& key, bool value,
                            bool default_value) {
  const std::vector<std::string> keys = profile.Keys(kSection);
  const bool present = std::any_of(keys.begin(), keys.end(), [&key](const std::string& written) {
    return SameKey(written, key);
  });
  if (value == default_value && !present) return true;
  return profile.WriteInt(kSection, key, value ? 1 : 0);
}

}  // namespace

void SettingsFile::Load(const std::string& path, Settings& settings,
                        std::vector<MailboxAccount>& mailboxes) {
  ProfileFile profile;
  profile.Load(path);
  settings.check_interval_minutes = profile.GetInt(kSection, "POPDelay", 10);
  settings.size_limit_kilobytes = profile.GetInt(kSection, "MessageSize", 0);
  settings.smtp_server = Text(profile, "SMTPServer");
  settings.email_address = Text(profile, "Email");
  settings.sender_name = Text(profile, "Name");
  settings.organization = Text(profile, "Organization");
  settings.reply_address = Text(profile, "Reply");
  settings.log_file = Text(profile, "Logfile");
  settings.log_to_file = profile.GetInt(kSection, "EnableLog", 1) != 0;
  settings.exit_after_check = profile.GetInt(kSection, "ExitOnCheck", 0) == 1;
  settings.reply_to_automatic = profile.GetInt(kSection, "ReplyToAutomatic", 0) != 0;
  settings.decode_text = profile.GetInt(kSection, "DecodeText", 0) != 0;

  std::vector<std::string> keys = profile.Keys(kSection);
  int64_t last_present = -1;
  for (const char* prefix : {"POPServer", "POPUser", "POPPassword", "POPLastMsg"}) {
    last_present = std::max(last_present, LastIndexPresent(keys, prefix, {""}));
  }
  int32_t count = BoundedRecordCount(profile.GetInt(kSection, "MailboxCount", 0), last_present,
                                     kMaxMissingRecords);
  for (int32_t index = 0; index < count; ++index) {
    MailboxAccount mailbox;
    mailbox.server = Text(profile, Numbered("POPServer", index));
    mailbox.user = Text(profile, Numbered("POPUser", index));
    mailbox.password = Text(profile, Numbered("POPPassword", index));
    mailbox.last_message = Text(profile, Numbered("POPLastMsg", index));
    mailboxes.push_back(std::move(mailbox));
  }
}

bool SettingsFile::Save(const std::string& path, const Settings& settings,
                        const std::vector<MailboxAccount>& mailboxes) {
  ProfileFile profile;
  if (!profile.Load(path) && access(path.c_str(), F_OK) == 0) return false;
  bool complete = true;
  complete &= profile.WriteInt(kSection, "ExitOnCheck", settings.exit_after_check ? 1 : 0);
  complete &= profile.WriteInt(kSection, "EnableLog", settings.log_to_file ? 1 : 0);
  complete &= profile.WriteString(kSection, "Logfile", settings.log_file);
  complete &= profile.WriteInt(kSection, "POPDelay", settings.check_interval_minutes);
  complete &= profile.WriteInt(kSection, "MessageSize", settings.size_limit_kilobytes);
  complete &= profile.WriteString(kSection, "SMTPServer", settings.smtp_server);
  complete &= profile.WriteString(kSection, "Email", settings.email_address);
  complete &= profile.WriteString(kSection, "Name", settings.sender_name);
  complete &= profile.WriteString(kSection, "Organization", settings.organization);
  complete &= profile.WriteString(kSection, "Reply", settings.reply_address);
  complete &=
      WriteFlagUnlessDefault(profile, "ReplyToAutomatic", settings.reply_to_automatic, false);
  complete &= WriteFlagUnlessDefault(profile, "DecodeText", settings.decode_text, false);
  complete &= profile.WriteInt(kSection, "MailboxCount", static_cast<int32_t>(mailboxes.size()));
  for (size_t index = 0; index < mailboxes.size(); ++index) {
    const MailboxAccount& mailbox = mailboxes[index];
    complete &= profile.WriteString(kSection, Numbered("POPServer", index), mailbox.server);
    complete &= profile.WriteString(kSection, Numbered("POPUser", index), mailbox.user);
    complete &= profile.WriteString(kSection, Numbered("POPPassword", index), mailbox.password);
    complete &= profile.WriteString(kSection, Numbered("POPLastMsg", index), mailbox.last_message);
  }
  // Private, because the profile holds passwords.
  if (!MakeFolders(FolderOf(path), 0700)) return false;
  return profile.Save(path) && complete;
}

}  // namespace quor
