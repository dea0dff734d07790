#pragma once
// The control panel "Quor Mail Processor": the only main window. Owns the one
// MailProcessor and the ProcessingDriver that runs its passes, offers Setup,
// Start, Stop, Reset and Exit, shows the Running/Stopped status and the
// newest 300 lines of the activity log.
//
// Threads: everything but the two hooks and AddLine runs on the UI thread.
// A pass runs on the driver's worker; its log lines arrive through AddLine,
// which only queues the line and returns: the worker never waits for the
// window. The queue keeps at most the newest kMaximumLogLines lines, all the
// list could show; the log file, written before AddLine, has every line. One
// delivery at a time is queued to the UI thread, which takes the whole batch
// and adds it to the list, so the list shows the newest lines in the order
// the pass wrote them however far it falls behind. Lines that come meanwhile
// wait for the next batch, at most kLineBatchInterval later, or for the end
// of the pass, whose hook shows them at once. A line from the UI thread
// itself is added at once, after the lines still queued. Once the window has
// closed its sink (it is going away), AddLine from a worker does nothing.
// Exit never blocks the UI thread: with a pass running it disables the
// buttons and finishes when the pass has ended (the PassFinished hook, queued
// to the UI thread).

#include <QDialog>
#include <atomic>
#include <chrono>
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
class QTimer;

namespace quor {

class QuorSheet;

class MainDialog : public QDialog, public LogSink, public DriverHooks {
  Q_OBJECT

 public:
  static constexpr int kMaximumLogLines = 300;
  // How often, at most, lines from a worker are added to the list: often
  // enough to read as live, rarely enough that a pass logging tens of
  // thousands of lines a second costs the UI thread next to nothing.
  static constexpr std::chrono::milliseconds kLineBatchInterval{20};

  // Sets up the lifecycle from the options; nothing runs before StartUp().
  explicit MainDialog(const StartupOptions& options, QWidget* parent = nullptr);
  // Closes the sink, then waits for a running pass to end.
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

  // LogSink: any thread; never waits for the UI thread.
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
  // UI thread: the queued delivery and the batch timer's tick.
  void DeliverQueuedLines();
  std::deque<std::string> TakeQueuedLines();
  // Adds the lines to the list, keeping its newest kMaximumLogLines rows.
  void ShowLines(const std::deque<std::string>& lines);
  void CloseSink();
  void OnPassFinished();
  void FinishExit();

  std::unique_ptr<Lifecycle> lifecycle_;
  std::function<bool(QuorSheet&)> sheet_runner_;
  bool started_ = false;
  bool setup_open_ = false;
  ExitState exit_state_ = ExitState::kNone;

  // Lines from the worker waiting for the UI thread, at most
  // kMaximumLogLines of them, and whether a delivery is queued or the batch
  // timer runs (either way the UI thread looks at the queue again).
  std::mutex line_mutex_;
  std::deque<std::string> pending_lines_;
  bool delivery_queued_ = false;
  bool sink_closed_ = false;

  QLabel* status_ = nullptr;
  QPushButton* setup_button_ = nullptr;
  QPushButton* start_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QPushButton* reset_button_ = nullptr;
  QPushButton* exit_button_ = nullptr;
  QListWidget* log_list_ = nullptr;
  QTimer* batch_timer_ = nullptr;
};

}  // namespace quor
