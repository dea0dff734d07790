#include "app/lifecycle.h"

#include <ctime>

#include "app/time_stamp.h"
#include "config/config_paths.h"

namespace quor {

Lifecycle::Lifecycle(const StartupOptions& options, LogSink* front_end, DriverHooks& hooks)
    : once_(options.once),
      front_end_hooks_(hooks),
      files_(options.profile_path, options.base_directory),
      lock_(options.base_directory),
      journal_(InBaseDirectory(options.base_directory, "quor.progress")),
      processor_(store_, log_) {
  log_.AttachFrontEnd(front_end);
  processor_.set_base_directory(options.base_directory);
  processor_.set_timings(options.timings);
  processor_.set_journal(&journal_);
  DriverHooks& counting_hooks = *this;
  driver_ = std::make_unique<ProcessingDriver>(processor_, counting_hooks);
}

Lifecycle::~Lifecycle() {
  driver_.reset();
  // A timer tick may have started a pass just as Exit saved; keep its markers.
  if (exit_saved_ && passes_finished_.load() != passes_finished_at_save_) SaveConfiguration();
  log_.AttachFrontEnd(nullptr);
}

void Lifecycle::set_play_sound(std::function<void()> play_sound) {
  processor_.set_play_sound(std::move(play_sound));
}

bool Lifecycle::LoadConfiguration() {
  BaseFolderLock::Result locked = lock_.Acquire();
  if (locked == BaseFolderLock::Result::kHeldByAnother) {
    start_error_ =
        "ERROR: Another quor is already running with the base folder " + lock_.FolderText() + ".";
    // No log file is open yet: the line goes to the front end alone, and
    // nothing of the other quor's files is touched.
    log_.AddLine(start_error_);
    fault_ = true;
    return false;
  }
  loaded_ = true;
  bool agents_understood = true;
  Configuration configuration = files_.Load(&agents_understood);
  keep_agents_file_ = !agents_understood;
  journal_.Replay(configuration.mailboxes);
  const std::string log_file = configuration.settings.log_file;
  const bool to_file = configuration.settings.log_to_file;
  store_.Load(std::move(configuration));
  log_.Open(log_file, to_file);
  log_.AddLine("[" + TimeStamp(std::time(nullptr)) + "] - Started.");
  if (locked == BaseFolderLock::Result::kUnavailable) {
    log_.AddLine("Warning: Unable to lock the base folder (" + lock_.path() + ")");
  }
  if (keep_agents_file_) {
    log_.AddLine("WARNING: The agents file " + files_.agents_path() +
                 " was not understood and will not be overwritten.");
  }
  if (store_.Snapshot().mailboxes.empty()) {
    log_.AddLine("No mailboxes are configured: add one in Setup, or in " + files_.profile_path() +
                 ".");
  }
  // What a run that was killed left in the journal goes to the profile now.
  Save(ConfigurationFiles::Parts::kProfile, false);
  return true;
}

void Lifecycle::StartPasses() {
  if (once_) {
    driver_->StartPass();
  } else {
    driver_->StartUp();
  }
}

bool Lifecycle::InstallConfiguration(Configuration edited) {
  log_.set_to_file(edited.settings.log_to_file);
  store_.Install(std::move(edited));
  // The user's own act: the file is written (after its backup) even if its
  // earlier content was not understood, and is ours from now on.
  keep_agents_file_ = false;
  return Save(ConfigurationFiles::Parts::kProfileAndAgents, true);
}

bool Lifecycle::SaveConfiguration() {
  return Save(keep_agents_file_ ? ConfigurationFiles::Parts::kProfile
                                : ConfigurationFiles::Parts::kProfileAndAgents,
              true);
}

bool Lifecycle::Save(ConfigurationFiles::Parts parts, bool always) {
  std::vector<std::string> failed;
  journal_.Fold(
      [&] {
        failed = files_.Save(store_.Snapshot(), parts);
        return failed.empty();
      },
      always);
  for (const std::string& path : failed) {
    log_.AddLine("ERROR: Unable to save the configuration (" + path + ")");
  }
  if (!failed.empty()) fault_ = true;
  return failed.empty();
}

bool Lifecycle::BeginExit() {
  driver_->Stop();
  return driver_->pass_in_progress();
}

bool Lifecycle::FinishExit() {
  if (!loaded_) return false;
  exit_saved_ = true;
  passes_finished_at_save_ = passes_finished_.load();
  return SaveConfiguration();
}

void Lifecycle::ExitRequested() { front_end_hooks_.ExitRequested(); }

void Lifecycle::PassEnded() {
  const MailProcessor::PassReport& report = processor_.last_report();
  if (report.no_mailboxes || report.mailboxes_not_checked > 0 || report.progress_not_recorded) {
    fault_ = true;
  }
  // --once saves on its Exit, which follows at once.
  if (!once_) Save(ConfigurationFiles::Parts::kProfile, false);
}

void Lifecycle::PassFinished() {
  passes_finished_.fetch_add(1);
  front_end_hooks_.PassFinished();
}

}  // namespace quor
