#pragma once
// Where the mail and engine code send activity-log lines. The processor
// implements it; the SMTP client and the actions hold a borrowed reference.

#include <string>

namespace quor {

class LogTarget {
 public:
  virtual ~LogTarget() = default;
  // One line of the activity log, without a line end of its own.
  virtual void Log(const std::string& line) = 0;
};

}  // namespace quor
