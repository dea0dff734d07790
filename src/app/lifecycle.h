#pragma once
// The life of a running quor, the same for both front ends: load the
// configuration and open the log ("Started."), run passes (the first at once,
// then on the timer; or a single one with --once), install what Setup hands
// back, and on Exit stop the timer, let a running pass end and save.
//
// Owns the configuration files, the configuration in use, the activity log,
// the processor and the driver, in that order of construction. The front end
// keeps only what is its own: showing lines, its hooks, its thread.
//
// Threads: the operations are called on the front end's thread. The driver's
// hooks are called on the worker; the lifecycle counts finished passes and
// passes the hooks on to the front end's.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/activity_log.h"
#include "app/configuration_store.h"
#include "app/mail_processor.h"
#include "app/processing_driver.h"
#include "app/startup_options.h"
#include "config/configuration_files.h"

namespace quor {

class Lifecycle : private DriverHooks {
 public:
  // front_end: where log lines are shown (may be null); hooks: the front
  // end's side of the driver. Both borrowed; they must outlive the lifecycle.
  Lifecycle(const StartupOptions& options, LogSink* front_end, DriverHooks& hooks);
  // Stops the timer and waits for a running pass. When a pass ended after
  // Exit's save (a timer tick that came just before), saves once more so
  // its markers are kept.
  ~Lifecycle() override;
  Lifecycle(const Lifecycle&) = delete;
  Lifecycle& operator=(const Lifecycle&) = delete;

  // The front end's alert sound for the sound action; must not block.
  void set_play_sound(std::function<void()> play_sound);

  // Reads settings, mailboxes and agents, opens the log file and logs
  // "[<time>] - Started.". Once, before anything else.
  void LoadConfiguration();
  // The first pass at once and the timer armed; with --once a single pass
  // and no timer.
  void StartPasses();

  // Setup's OK: installs the edited configuration and saves it at once.
  // True when it was saved.
  bool InstallConfiguration(Configuration edited);
  // Writes the configuration in use. True when both files were written.
  bool SaveConfiguration();

  // Exit, first half: no new pass from here on. True when a pass is still
  // running; call FinishExit once it has ended (PassFinished).
  bool BeginExit();
  // Exit, second half: saves the configuration. True when it was saved.
  bool FinishExit();

  Configuration configuration() const { return store_.Snapshot(); }
  const ConfigurationFiles& files() const { return files_; }
  ConfigurationStore& store() { return store_; }
  ActivityLog& log() { return log_; }
  MailProcessor& processor() { return processor_; }
  ProcessingDriver& driver() { return *driver_; }

 private:
  void ExitRequested() override;
  void PassFinished() override;

  bool once_;
  DriverHooks& front_end_hooks_;
  ConfigurationFiles files_;
  ConfigurationStore store_;
  ActivityLog log_;
  MailProcessor processor_;
  std::unique_ptr<ProcessingDriver> driver_;
  bool exit_saved_ = false;
  std::atomic<uint64_t> passes_finished_{0};
  uint64_t passes_finished_at_save_ = 0;
};

}  // namespace quor
