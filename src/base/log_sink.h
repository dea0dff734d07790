#pragma once
// Where activity-log lines go, one at a time. The activity log itself takes
// the lines of the mail and engine code (it writes the log file and passes
// each line on); the front ends take them to show (the window's list, the
// headless standard output); tests record them. Each implementation says
// which threads may call it.

#include <string>

namespace quor {

class LogSink {
 public:
  virtual ~LogSink() = default;
  // One line of the activity log, without a line end of its own.
  virtual void AddLine(const std::string& line) = 0;
};

}  // namespace quor
