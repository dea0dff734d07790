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

KeyPlace Place(const ProfileFile& profile, const std::string& key) {
  return {key, profile.KeyLine(kSection, key)};
}

// Keys added after profiles were in use: absent from a profile means the
// default, so they are written only when needed.
bool WriteUnlessDefault(ProfileFile& profile, const std::string& key, const std::string& value,
                        const std::string& default_value) {
  if (value == default_value && !profile.HasKey(kSection, key)) return true;
  return profile.WriteString(kSection, key, value);
}

bool WriteUnlessDefault(ProfileFile& profile, const std::string& key, ConnectionSecurity security) {
  return WriteUnlessDefault(profile, key, std::to_string(static_cast<int32_t>(security)), "0");
}

bool WriteFlagUnlessDefault(ProfileFile& profile, const std::string& key, bool value,
                            bool default_value) {
  return WriteUnlessDefault(profile, key, value ? "1" : "0", default_value ? "1" : "0");
}

ConnectionSecurity Security(const ProfileFile& profile, const std::string& key) {
  return ConnectionSecurityFromNumber(profile.GetInt(kSection, key, 0));
}

}  // namespace

void SettingsFile::Load(const std::string& path, Settings& settings,
                        std::vector<MailboxAccount>& mailboxes, SettingsSource* source) {
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
  settings.smtp_security = Security(profile, "SMTPSecurity");
  settings.smtp_user_name = Text(profile, "SMTPUser");
  settings.smtp_password = Text(profile, "SMTPPassword");
  settings.certificate_authority_file = Text(profile, "CAFile");
  settings.reply_to_automatic = profile.GetInt(kSection, "ReplyToAutomatic", 0) != 0;
  settings.decode_text = profile.GetInt(kSection, "DecodeText", 0) != 0;

  std::vector<std::string> keys = profile.Keys(kSection);
  int64_t last_present = -1;
  for (const char* prefix : {"POPServer", "POPUser", "POPPassword", "POPLastMsg", "POPSecurity"}) {
    last_present = std::max(last_present, LastIndexPresent(keys, prefix, {""}));
  }
  int32_t stored_count = profile.GetInt(kSection, "MailboxCount", 0);
  int32_t count = BoundedRecordCount(stored_count, last_present, kMaxMissingRecords);
  if (source) {
    source->smtp_server = Place(profile, "SMTPServer");
    source->email_address = Place(profile, "Email");
    source->certificate_authority_file = Place(profile, "CAFile");
    source->mailboxes = {Place(profile, "MailboxCount"), stored_count, last_present + 1, count};
  }
  for (int32_t index = 0; index < count; ++index) {
    if (source) {
      source->mailbox_places.push_back({Place(profile, Numbered("POPServer", index)),
                                        Place(profile, Numbered("POPUser", index))});
    }
    MailboxAccount mailbox;
    mailbox.server = Text(profile, Numbered("POPServer", index));
    mailbox.user = Text(profile, Numbered("POPUser", index));
    mailbox.password = Text(profile, Numbered("POPPassword", index));
    mailbox.last_message = Text(profile, Numbered("POPLastMsg", index));
    mailbox.security = Security(profile, Numbered("POPSecurity", index));
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
  complete &= WriteUnlessDefault(profile, "SMTPSecurity", settings.smtp_security);
  complete &= WriteUnlessDefault(profile, "SMTPUser", settings.smtp_user_name, "");
  complete &= WriteUnlessDefault(profile, "SMTPPassword", settings.smtp_password, "");
  complete &= WriteUnlessDefault(profile, "CAFile", settings.certificate_authority_file, "");
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
    complete &= WriteUnlessDefault(profile, Numbered("POPSecurity", index), mailbox.security);
  }
  // Private, because the profile holds passwords.
  if (!MakeFolders(FolderOf(path), 0700)) return false;
  return profile.Save(path) && complete;
}

}  // namespace quor
