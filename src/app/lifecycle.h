#pragma once
// The life of a running quor, the same for both front ends: take the base
// folder (one quor per base folder), load the configuration and open the log
// ("Started."), run passes (the first at once, then on the timer; or a single
// one with --once), install what Setup hands back, and on Exit stop the
// timer, let a running pass end and save.
//
// Progress is never lost: each handled message's marker goes to the progress
// journal at once, and the profile takes the journal over at start-up and at
// the end of every pass (only the profile: the agents change only through
// Setup). Every save that fails logs
// "ERROR: Unable to save the configuration (<path>)". An agents file that
// was not understood at start-up is written only by Setup's OK.
//
// Owns the configuration files, the base folder's lock, the journal, the
// configuration in use, the activity log, the processor and the driver, in
// that order of construction. The front end keeps only what is its own:
// showing lines, its hooks, its thread.
//
// Threads: the operations are called on the front end's thread. The driver's
// hooks are called on the worker; the lifecycle folds the journal there
// while the pass still counts as running (so Exit waits for it), counts
// finished passes and passes the hooks on to the front end's. Saves
// from both threads are serialised by the journal, and no log line is
// written while they hold it (a window's AddLine waits for its thread).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/activity_log.h"
#include "app/base_folder_lock.h"
#include "app/configuration_store.h"
#include "app/mail_processor.h"
#include "app/processing_driver.h"
#include "app/progress_journal.h"
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

  // Takes the base folder, reads settings, mailboxes and agents, replays the
  // progress journal, opens the log file and logs "[<time>] - Started." (and
  // a hint when no mailbox is configured).
  // Once, before anything else. False when another quor holds the base
  // folder: then only the error line is logged (to the front end: no file is
  // touched), start_error() holds it, and the front end must end without
  // starting passes or Exit.
  bool LoadConfiguration();
  const std::string& start_error() const { return start_error_; }
  // The first pass at once and the timer armed; with --once a single pass
  // and no timer.
  void StartPasses();

  // Setup's OK: installs the edited configuration and saves it at once, the
  // agents file too (after its backup) even when it was not understood.
  // True when it was saved.
  bool InstallConfiguration(Configuration edited);
  // Writes the configuration in use: the profile, and the agents file unless
  // it was not understood. True when every file was written.
  bool SaveConfiguration();

  // Exit, first half: no new pass from here on. True when a pass is still
  // running; call FinishExit once it has ended (PassFinished).
  bool BeginExit();
  // Exit, second half: saves the configuration. True when it was saved.
  bool FinishExit();

  // The exit status of --once: 0 when every pass checked every mailbox and
  // every save and progress record was written; 1 when a mailbox could not
  // be checked, none is configured, something could not be saved, or the
  // base folder was taken. Call after FinishExit.
  int ExitStatus() const { return fault_.load() ? 1 : 0; }
  Configuration configuration() const { return store_.Snapshot(); }
  const ConfigurationFiles& files() const { return files_; }
  ConfigurationStore& store() { return store_; }
  ActivityLog& log() { return log_; }
  MailProcessor& processor() { return processor_; }
  ProcessingDriver& driver() { return *driver_; }

 private:
  void PassEnded() override;
  void ExitRequested() override;
  void PassFinished() override;

  // Saves under the journal's lock and, when that worked, empties the
  // journal; logs each path that failed. Without `always`, saves only when
  // the journal has records. True when saved (or nothing was due).
  bool Save(ConfigurationFiles::Parts parts, bool always);

  bool once_;
  DriverHooks& front_end_hooks_;
  ConfigurationFiles files_;
  BaseFolderLock lock_;
  ProgressJournal journal_;
  ConfigurationStore store_;
  ActivityLog log_;
  MailProcessor processor_;
  std::unique_ptr<ProcessingDriver> driver_;
  bool loaded_ = false;
  std::string start_error_;
  // The agents file held something this program did not understand: only
  // Setup's OK (the user's explicit act) may replace it. Front end's thread.
  bool keep_agents_file_ = false;
  // Something went wrong that --once must report in its exit status.
  std::atomic<bool> fault_{false};
  bool exit_saved_ = false;
  std::atomic<uint64_t> passes_finished_{0};
  uint64_t passes_finished_at_save_ = 0;
};

}  // namespace quor
