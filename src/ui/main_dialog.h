#pragma once
// The control panel "Quor Mail Processor": the only main window. Owns the one
// MailProcessor and the ProcessingDriver that runs its passes, offers Setup,
// Start, Stop, Reset and Exit, shows the Running/Stopped status and the
// newest 300 lines of the activity log.
//
// Threads: everything but the two hooks and AddLine runs on the UI thread.
// A pass runs on the driver's worker; its log lines arrive through AddLine,
// which hands each line to the UI thread and waits until it is in the list,
// so the window shows the lines in the order the pass wrote them. The wait is
// released when the window closes its sink, so a pass can never be left
// waiting on a window that is going away. Exit never blocks the UI thread:
// with a pass running it disables the buttons and finishes when the pass has
// ended (the PassFinished hook, queued to the UI thread).

#include <QDialog>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/lifecycle.h"
#include "app/processing_driver.h"
#include "app/startup_options.h"
#include "base/log_sink.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace quor {

class QuorSheet;

class MainDialog : public QDialog, public LogSink, public DriverHooks {
  Q_OBJECT

 public:
  static constexpr int kMaximumLogLines = 300;

  // Sets up the lifecycle from the options; nothing runs before StartUp().
  explicit MainDialog(const StartupOptions& options, QWidget* parent = nullptr);
  // Releases a pass waiting in AddLine, then waits for it to end.
  ~MainDialog() override;

  // Loads the configuration, starts the first pass at once and arms the
  // pass timer: the panel is Running. Once, before the dialog is run. False
  // when another quor holds the base folder (lifecycle().start_error() says
  // so): nothing runs, and the dialog should not be shown.
  bool StartUp();
  void Start();
  void Stop();
  void Reset();
  void Setup();
  // Saves the configuration and ends the dialog; with a pass running, does
  // so when that pass has ended. Also the title bar's Close.
  void Exit();

  // LogSink: any thread; returns when the line is in the list (or the window
  // has closed its sink).
  void AddLine(const std::string& line) override;
  // DriverHooks: worker thread; both only queue a call to the UI thread.
  void ExitRequested() override;
  void PassFinished() override;

  // Escape does nothing: the window closes only through Exit.
  void reject() override;

  // How Setup runs the sheet; true when accepted. Tests replace it to fill
  // the sheet without a modal loop.
  void set_sheet_runner(std::function<bool(QuorSheet&)> runner) {
    sheet_runner_ = std::move(runner);
  }

  Lifecycle& lifecycle() { return *lifecycle_; }
  ProcessingDriver& driver() { return lifecycle_->driver(); }
  bool exit_pending() const { return exit_state_ == ExitState::kWaitingForPass; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class PanelState { kRunning, kStopped };
  enum class ExitState { kNone, kAfterSetup, kWaitingForPass, kDone };

  void ShowState(PanelState state);
  void AppendLine(const std::string& line);
  void DeliverPendingLines();
  void CloseSink();
  void OnPassFinished();
  void FinishExit();

  std::unique_ptr<Lifecycle> lifecycle_;
  std::function<bool(QuorSheet&)> sheet_runner_;
  bool started_ = false;
  bool setup_open_ = false;
  ExitState exit_state_ = ExitState::kNone;

  // Lines handed over by the worker, and how far the UI thread has got.
  std::mutex line_mutex_;
  std::condition_variable line_delivered_;
  std::deque<std::string> pending_lines_;
  uint64_t lines_posted_ = 0;
  uint64_t lines_delivered_ = 0;
  bool sink_closed_ = false;

  QLabel* status_ = nullptr;
  QPushButton* setup_button_ = nullptr;
  QPushButton* start_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QPushButton* reset_button_ = nullptr;
  QPushButton* exit_button_ = nullptr;
  QListWidget* log_list_ = nullptr;
};

}  // namespace quor
