#pragma once
// The front end for machines without a display: every log line goes to
// standard output, passes run at start-up and on the timer, and SIGINT or
// SIGTERM end the program the way the window's Exit does (a running pass
// ends first, then the configuration is saved). SIGHUP reopens the log file
// (after logrotate has moved it) and processing goes on. A standard output
// that has gone away (a closed pipe or terminal) costs the lines shown
// there, never the process: the log file still gets every line.

#include <atomic>
#include <mutex>

#include "app/processing_driver.h"
#include "app/startup_options.h"
#include "base/log_sink.h"

namespace quor {

class HeadlessFrontEnd : public LogSink, public DriverHooks {
 public:
  HeadlessFrontEnd() = default;
  // Runs until a signal, the exit request after a pass, or (once) the first
  // pass. Returns the exit status: with --once that of
  // Lifecycle::ExitStatus; otherwise 0, or 1 when the final save failed; 1
  // when another quor holds the base folder.
  int Run(const StartupOptions& options);

  void AddLine(const std::string& line) override;
  void ExitRequested() override;
  void PassFinished() override;

 private:
  void WakeMainThread();

  std::mutex output_mutex_;
  bool once_ = false;
};

}  // namespace quor
