#include "app/headless_front_end.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "app/lifecycle.h"

namespace quor {

namespace {

// The driver's threads inherit this mask, so the signals reach only the
// main thread's sigwait: no handler ever runs on a worker in the middle of
// a pass.
sigset_t ExitSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);  // our own wake-up: an exit request or the end of --once
  return signals;
}

bool IsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace

int HeadlessFrontEnd::Run(const StartupOptions& options) {
  once_ = options.once;
  sigset_t signals = ExitSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  Lifecycle lifecycle(options, this, *this);
  // The terminal bell, when there is a terminal to ring; never blocks.
  lifecycle.set_play_sound([this] {
    if (!IsTerminal()) return;
    std::lock_guard lock(output_mutex_);
    std::fputc('\a', stdout);
    std::fflush(stdout);
  });
  lifecycle.LoadConfiguration();
  lifecycle.StartPasses();
  int signal_number = 0;
  sigwait(&signals, &signal_number);
  if (lifecycle.BeginExit()) lifecycle.driver().WaitForPass();
  lifecycle.FinishExit();
  return 0;
}

void HeadlessFrontEnd::AddLine(const std::string& line) {
  std::lock_guard lock(output_mutex_);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void HeadlessFrontEnd::ExitRequested() { WakeMainThread(); }

void HeadlessFrontEnd::PassFinished() {
  if (once_) WakeMainThread();
}

void HeadlessFrontEnd::WakeMainThread() { ::kill(::getpid(), SIGUSR1); }

}  // namespace quor
