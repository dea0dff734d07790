#pragma once
// The front end for machines without a display: every log line goes to
// standard output, passes run at start-up and on the timer, and SIGINT or
// SIGTERM end the program the way the window's Exit does (a running pass
// ends first, then the configuration is saved).

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
  // pass. Returns the exit status.
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
