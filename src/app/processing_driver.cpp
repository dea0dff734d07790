#include "app/processing_driver.h"

#include <chrono>

namespace quor {

ProcessingDriver::ProcessingDriver(MailProcessor& processor, DriverHooks& hooks)
    : processor_(processor), hooks_(hooks) {
  timer_thread_ = std::thread(&ProcessingDriver::TimerLoop, this);
}

ProcessingDriver::~ProcessingDriver() {
  {
    std::lock_guard lock(timer_mutex_);
    timer_shutdown_ = true;
  }
  timer_changed_.notify_all();
  timer_thread_.join();
  WaitForPass();
  std::lock_guard lock(worker_mutex_);
  if (worker_.joinable()) worker_.join();
}

int64_t ProcessingDriver::TimerPeriodMilliseconds(int32_t check_interval_minutes) {
  int64_t period = int64_t{check_interval_minutes} * 60000;
  return period < 10000 ? 10000 : period;
}

void ProcessingDriver::StartUp() {
  StartPass();
  ArmTimer(TimerPeriodMilliseconds(processor_.configuration().settings().check_interval_minutes));
}

void ProcessingDriver::Start() {
  ArmTimer(TimerPeriodMilliseconds(processor_.configuration().settings().check_interval_minutes));
  if (!StartPass()) {
    // Straight to the window: this line never reaches the log file.
    if (LogSink* front_end = processor_.log().front_end()) front_end->AddLine(kAlreadyRunning);
  }
}

void ProcessingDriver::Stop() { KillTimer(); }

void ProcessingDriver::Reset() {
  processor_.configuration().ClearMarkers();
  Start();
}

void ProcessingDriver::OnTimerTick() { StartPass(); }

bool ProcessingDriver::StartPass() {
  // The test and the start are one step: whoever flips the flag owns the pass.
  bool expected = false;
  if (!worker_active_.compare_exchange_strong(expected, true)) return false;
  std::lock_guard lock(worker_mutex_);
  // The previous worker has cleared the flag; it is at most finishing its hooks.
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this] {
    processor_.RunPass();
    hooks_.PassEnded();
    bool exit_requested = processor_.configuration().settings().exit_after_check;
    if (exit_requested) hooks_.ExitRequested();
    {
      std::lock_guard done(done_mutex_);
      worker_active_ = false;
    }
    worker_done_.notify_all();
    hooks_.PassFinished();
  });
  return true;
}

void ProcessingDriver::WaitForPass() {
  std::unique_lock lock(done_mutex_);
  worker_done_.wait(lock, [this] { return !worker_active_.load(); });
}

bool ProcessingDriver::running() const {
  std::lock_guard lock(timer_mutex_);
  return timer_armed_;
}

void ProcessingDriver::ArmTimer(int64_t period_milliseconds) {
  {
    std::lock_guard lock(timer_mutex_);
    timer_armed_ = true;
    timer_period_milliseconds_ = period_milliseconds;
    ++timer_generation_;  // arming while armed replaces the running timer
  }
  timer_changed_.notify_all();
}

void ProcessingDriver::KillTimer() {
  {
    std::lock_guard lock(timer_mutex_);
    timer_armed_ = false;
    ++timer_generation_;
  }
  timer_changed_.notify_all();
}

void ProcessingDriver::TimerLoop() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock lock(timer_mutex_);
  while (!timer_shutdown_) {
    if (!timer_armed_) {
      timer_changed_.wait(lock);
      continue;
    }
    uint64_t generation = timer_generation_;
    auto period = std::chrono::milliseconds(timer_period_milliseconds_);
    auto deadline = Clock::now() + period;
    while (!timer_shutdown_ && timer_generation_ == generation) {
      if (timer_changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
          timer_generation_ == generation && !timer_shutdown_) {
        lock.unlock();
        OnTimerTick();
        lock.lock();
        deadline += period;
      }
    }
  }
}

}  // namespace quor
