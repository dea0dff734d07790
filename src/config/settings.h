#pragma once
// The general settings, as stored under [Settings] in the profile file.

#include <cstdint>
#include <string>

namespace quor {

struct Settings {
  int32_t pop_delay = 10;     // "POPDelay", minutes between passes
  int32_t message_size = 0;   // "MessageSize", kilobytes of 1000 bytes, 0 = no limit
  std::string smtp_server;    // "SMTPServer"
  std::string email;          // "Email"
  std::string name;           // "Name"
  std::string organization;   // "Organization"
  std::string reply;          // "Reply"
  std::string logfile;        // "Logfile"
  int32_t enable_log = 1;     // "EnableLog", non-zero: log lines also go to the file
  int32_t exit_on_check = 0;  // "ExitOnCheck", exactly 1: end after each pass

  bool operator==(const Settings&) const = default;
};

}  // namespace quor
