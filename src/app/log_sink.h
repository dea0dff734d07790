#pragma once
// The front end's side of the activity log: one line at a time. The desktop
// window adds it to its list; the headless front end prints it.
// AddLine may be called from the pass's worker thread.

#include <string>

namespace quor {

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void AddLine(const std::string& /*line*/) {}
};

}  // namespace quor
