#include "app/lifecycle.h"

#include <ctime>

#include "app/time_stamp.h"

namespace quor {

Lifecycle::Lifecycle(const StartupOptions& options, LogSink* front_end, DriverHooks& hooks)
    : once_(options.once),
      front_end_hooks_(hooks),
      files_(options.profile_path, options.base_directory),
      processor_(store_, log_) {
  log_.AttachFrontEnd(front_end);
  processor_.set_base_directory(options.base_directory);
  processor_.set_timings(options.timings);
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

void Lifecycle::LoadConfiguration() {
  Configuration configuration = files_.Load();
  const std::string log_file = configuration.settings.log_file;
  const bool to_file = configuration.settings.log_to_file;
  store_.Load(std::move(configuration));
  log_.Open(log_file, to_file);
  log_.AddLine("[" + TimeStamp(std::time(nullptr)) + "] - Started.");
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
  return SaveConfiguration();
}

bool Lifecycle::SaveConfiguration() { return files_.Save(store_.Snapshot()); }

bool Lifecycle::BeginExit() {
  driver_->Stop();
  return driver_->pass_in_progress();
}

bool Lifecycle::FinishExit() {
  exit_saved_ = true;
  passes_finished_at_save_ = passes_finished_.load();
  return SaveConfiguration();
}

void Lifecycle::ExitRequested() { front_end_hooks_.ExitRequested(); }

void Lifecycle::PassFinished() {
  passes_finished_.fetch_add(1);
  front_end_hooks_.PassFinished();
}

}  // namespace quor
