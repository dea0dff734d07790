#pragma once
// The general settings, as stored under [Settings] in the profile file.

#include <cstdint>
#include <string>

namespace quor {

struct Settings {
  int32_t check_interval_minutes = 10;  // "POPDelay", minutes between passes
  int32_t size_limit_kilobytes = 0;     // "MessageSize", kilobytes of 1000 bytes, 0 = no limit
  std::string smtp_server;              // "SMTPServer"
  std::string email_address;            // "Email"
  std::string sender_name;              // "Name"
  std::string organization;             // "Organization"
  std::string reply_address;            // "Reply"
  std::string log_file;                 // "Logfile"
  bool log_to_file = true;              // "EnableLog": log lines also go to the file
  bool exit_after_check = false;        // "ExitOnCheck" 1: end after each pass
  // "ReplyToAutomatic" 1: send actions answer automatic mail too (no loop check).
  bool reply_to_automatic = false;
  // "DecodeText" 1: agents see international text decoded to UTF-8. Off in
  // profiles that never set it; a profile quor creates has it on.
  bool decode_text = false;

  bool operator==(const Settings&) const = default;
};

}  // namespace quor
