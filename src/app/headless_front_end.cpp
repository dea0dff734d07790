#include "app/headless_front_end.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "app/lifecycle.h"

namespace quor {

namespace {

// The driver's threads inherit this mask, so the signals reach only the
// main thread's sigwait: no handler ever runs on a worker in the middle of
// a pass.
sigset_t AwaitedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);   // reopen the log file
  sigaddset(&signals, SIGUSR1);  // our own wake-up: an exit request or the end of --once
  return signals;
}

bool IsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

// Writes all of `text` to standard output, giving up on the first error: a
// reader that has gone away must not stop the pass.
void WriteToStandardOutput(const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t count = ::write(STDOUT_FILENO, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return;
    written += static_cast<size_t>(count);
  }
}

}  // namespace

int HeadlessFrontEnd::Run(const StartupOptions& options) {
  once_ = options.once;
  sigset_t signals = AwaitedSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  Lifecycle lifecycle(options, this, *this);
  // The terminal bell, when there is a terminal to ring; never blocks.
  lifecycle.set_play_sound([this] {
    if (!IsTerminal()) return;
    std::lock_guard lock(output_mutex_);
    WriteToStandardOutput("\a");
  });
  if (!lifecycle.LoadConfiguration()) return 1;
  lifecycle.StartPasses();
  for (;;) {
    int signal_number = 0;
    sigwait(&signals, &signal_number);
    if (signal_number != SIGHUP) break;
    lifecycle.log().Reopen();
  }
  if (lifecycle.BeginExit()) lifecycle.driver().WaitForPass();
  bool saved = lifecycle.FinishExit();
  if (once_) return lifecycle.ExitStatus();
  return saved ? 0 : 1;
}

void HeadlessFrontEnd::AddLine(const std::string& line) {
  std::lock_guard lock(output_mutex_);
  WriteToStandardOutput(line + "\n");
}

void HeadlessFrontEnd::ExitRequested() { WakeMainThread(); }

void HeadlessFrontEnd::PassFinished() {
  if (once_) WakeMainThread();
}

void HeadlessFrontEnd::WakeMainThread() { ::kill(::getpid(), SIGUSR1); }

}  // namespace quor
