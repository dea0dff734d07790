#pragma once
// Runs processing passes for a front end: one at start-up, then one on every
// tick of the pass timer while none is running. Front-end independent: the
// desktop window and the headless mode both drive a MailProcessor through it.
//
// Threads: the public operations are called from the front end's thread. The
// timer runs on a thread of its own; each pass runs on a worker thread. A pass
// starts only through an atomic test-and-set, so two passes never overlap.
// The hooks are called on the worker thread after a pass has ended.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/mail_processor.h"

namespace quor {

class DriverHooks {
 public:
  virtual ~DriverHooks() = default;
  // A pass has run and still counts as in progress: the end of its work
  // (saving what it moved), which may log as the pass does. First of the
  // three.
  virtual void PassEnded() {}
  // Exit-after-checking is 1 and a pass ended: the front end should Exit.
  // Must not wait for the front end's thread.
  virtual void ExitRequested() {}
  // A pass ended (after ExitRequested, when that was due).
  virtual void PassFinished() {}
};

class ProcessingDriver {
 public:
  static constexpr const char* kAlreadyRunning = "WARNING: Processing is already in progress";

  // Both borrowed; they must outlive the driver.
  ProcessingDriver(MailProcessor& processor, DriverHooks& hooks);
  // Stops the timer and waits for a running pass.
  ~ProcessingDriver();
  ProcessingDriver(const ProcessingDriver&) = delete;
  ProcessingDriver& operator=(const ProcessingDriver&) = delete;

  // Timer period for a check interval in minutes: interval x 60000 ms, at
  // least 10000 ms.
  static int64_t TimerPeriodMilliseconds(int32_t check_interval_minutes);

  // First pass at once, then the timer armed with the current interval.
  void StartUp();
  // Re-arms the timer; starts a pass, or tells the sink one is running.
  void Start();
  // Kills the timer; a running pass goes on to its end.
  void Stop();
  // Empties every last-message marker, then Start.
  void Reset();
  // A timer tick: starts a pass unless one is running, silently.
  void OnTimerTick();
  // Starts one pass now unless one is running; false when one was.
  bool StartPass();

  bool running() const;  // the panel's Running state: the timer is armed
  bool pass_in_progress() const { return worker_active_.load(); }
  // Blocks until no pass runs. Not for the window's own thread, which must
  // keep serving its event loop meanwhile.
  void WaitForPass();

 private:
  void ArmTimer(int64_t period_milliseconds);
  void KillTimer();
  void TimerLoop();

  MailProcessor& processor_;
  DriverHooks& hooks_;

  std::atomic<bool> worker_active_{false};
  std::mutex worker_mutex_;  // guards worker_ (joining and replacing it)
  std::thread worker_;
  std::mutex done_mutex_;
  std::condition_variable worker_done_;

  mutable std::mutex timer_mutex_;
  std::condition_variable timer_changed_;
  std::thread timer_thread_;
  bool timer_armed_ = false;
  bool timer_shutdown_ = false;
  uint64_t timer_generation_ = 0;
  int64_t timer_period_milliseconds_ = 0;
};

}  // namespace quor
