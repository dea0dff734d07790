#include "ui/main_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/quor_sheet.h"

// The icon lives in the UI library's resources, which a static library must
// register by hand; the macro has to be used outside any namespace.
static void RegisterResources() { Q_INIT_RESOURCE(quor); }

namespace quor {

namespace {

// Log lines are 8-bit texts: UTF-8 when they are valid UTF-8, otherwise
// Latin-1, so that a server's reply in an old code page still reads. Server
// replies keep their line end in the log file; in a list row it would only
// show as a stray glyph.
QString DisplayText(const std::string& line) {
  std::string_view bytes(line);
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.remove_suffix(1);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (utf8.hasError())
    text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return text;
}

}  // namespace

MainDialog::MainDialog(const StartupOptions& options, QWidget* parent) : QDialog(parent) {
  RegisterResources();
  setWindowTitle(tr("Quor Mail Processor"));
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);

  lifecycle_ = std::make_unique<Lifecycle>(options, this, *this);
  // The sound action runs on the worker; the beep belongs to the UI thread.
  lifecycle_->set_play_sound([this] {
    QMetaObject::invokeMethod(
        this, [] { QApplication::beep(); }, Qt::QueuedConnection);
  });
  sheet_runner_ = [](QuorSheet& sheet) { return sheet.exec() == QDialog::Accepted; };

  auto* panel = new QGroupBox(tr("Control  Panel"), this);
  setup_button_ = new QPushButton(tr("&Setup..."), panel);
  start_button_ = new QPushButton(tr("&Start"), panel);
  stop_button_ = new QPushButton(tr("&Stop"), panel);
  reset_button_ = new QPushButton(tr("&Reset"), panel);
  exit_button_ = new QPushButton(tr("&Exit"), panel);
  auto* panel_layout = new QHBoxLayout(panel);
  for (QPushButton* button :
       {setup_button_, start_button_, stop_button_, reset_button_, exit_button_}) {
    button->setAutoDefault(false);
    panel_layout->addWidget(button);
  }
  setup_button_->setDefault(true);

  status_ = new QLabel(tr("Status:"), this);
  status_->setObjectName(QStringLiteral("status"));

  log_list_ = new QListWidget(this);
  log_list_->setObjectName(QStringLiteral("activityLog"));
  log_list_->setSelectionMode(QAbstractItemView::SingleSelection);
  log_list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_list_->setUniformItemSizes(true);
  batch_timer_ = new QTimer(this);
  batch_timer_->setSingleShot(true);
  batch_timer_->setInterval(kLineBatchInterval);
  connect(batch_timer_, &QTimer::timeout, this, &MainDialog::DeliverQueuedLines);
  auto* log_label = new QLabel(tr("Activity Log:"), this);
  log_label->setBuddy(log_list_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel);
  layout->addWidget(status_);
  layout->addWidget(log_label);
  layout->addWidget(log_list_, 1);
  resize(560, 380);

  connect(setup_button_, &QPushButton::clicked, this, &MainDialog::Setup);
  connect(start_button_, &QPushButton::clicked, this, &MainDialog::Start);
  connect(stop_button_, &QPushButton::clicked, this, &MainDialog::Stop);
  connect(reset_button_, &QPushButton::clicked, this, &MainDialog::Reset);
  connect(exit_button_, &QPushButton::clicked, this, &MainDialog::Exit);
}

MainDialog::~MainDialog() {
  CloseSink();
  lifecycle_.reset();
}

bool MainDialog::StartUp() {
  if (started_) return true;
  started_ = true;
  setWindowIcon(QIcon(QStringLiteral(":/quor.svg")));
  if (!lifecycle_->LoadConfiguration()) return false;
  lifecycle_->StartPasses();
  ShowState(PanelState::kRunning);
  return true;
}

void MainDialog::Start() {
  if (exit_state_ != ExitState::kNone) return;
  ShowState(PanelState::kRunning);
  lifecycle_->driver().Start();
}

void MainDialog::Stop() {
  if (exit_state_ != ExitState::kNone) return;
  lifecycle_->driver().Stop();
  ShowState(PanelState::kStopped);
}

void MainDialog::Reset() {
  if (exit_state_ != ExitState::kNone) return;
  ShowState(PanelState::kRunning);
  lifecycle_->driver().Reset();
}

void MainDialog::Setup() {
  if (exit_state_ != ExitState::kNone || setup_open_) return;
  setup_open_ = true;
  bool accepted = false;
  {
    QuorSheet sheet(lifecycle_->configuration(), this);
    accepted = sheet_runner_(sheet);
    if (accepted) {
      lifecycle_->InstallConfiguration(sheet.configuration());
    }
  }
  setup_open_ = false;
  // An exit request that arrived while the sheet was open waited for it.
  if (exit_state_ == ExitState::kAfterSetup) {
    exit_state_ = ExitState::kNone;
    Exit();
  }
}

void MainDialog::Exit() {
  if (exit_state_ == ExitState::kWaitingForPass || exit_state_ == ExitState::kDone) return;
  if (setup_open_) {
    exit_state_ = ExitState::kAfterSetup;
    return;
  }
  // No new pass from here on; a running one goes on to its end.
  if (lifecycle_->BeginExit()) {
    exit_state_ = ExitState::kWaitingForPass;
    for (QPushButton* button :
         {setup_button_, start_button_, stop_button_, reset_button_, exit_button_}) {
      button->setEnabled(false);
    }
    status_->setText(tr("Status: Exiting after the current pass..."));
    return;
  }
  FinishExit();
}

void MainDialog::FinishExit() {
  // The panel ends showing every line written before it did.
  ShowLines(TakeQueuedLines());
  exit_state_ = ExitState::kDone;
  lifecycle_->FinishExit();
  done(QDialog::Rejected);
}

void MainDialog::OnPassFinished() {
  // A pass's last lines need not wait for the next batch.
  ShowLines(TakeQueuedLines());
  if (exit_state_ == ExitState::kWaitingForPass && !lifecycle_->driver().pass_in_progress()) {
    FinishExit();
  }
}

void MainDialog::reject() {}

void MainDialog::closeEvent(QCloseEvent* event) {
  // Closing is Exit's job: it saves first, and may have to wait for a pass.
  event->ignore();
  Exit();
}

void MainDialog::ExitRequested() {
  QMetaObject::invokeMethod(this, &MainDialog::Exit, Qt::QueuedConnection);
}

void MainDialog::PassFinished() {
  QMetaObject::invokeMethod(this, &MainDialog::OnPassFinished, Qt::QueuedConnection);
}

void MainDialog::AddLine(const std::string& line) {
  if (QThread::currentThread() == thread()) {
    std::deque<std::string> lines = TakeQueuedLines();
    lines.push_back(line);
    ShowLines(lines);
    return;
  }
  std::lock_guard lock(line_mutex_);
  if (sink_closed_) return;
  // Lines the list would push out at once need not wait for it.
  if (pending_lines_.size() == kMaximumLogLines) pending_lines_.pop_front();
  pending_lines_.push_back(line);
  if (delivery_queued_) return;
  delivery_queued_ = true;
  // Queued under the lock, so that nothing is queued once the sink is closed.
  QMetaObject::invokeMethod(this, &MainDialog::DeliverQueuedLines, Qt::QueuedConnection);
}

void MainDialog::DeliverQueuedLines() {
  std::deque<std::string> lines;
  {
    std::lock_guard lock(line_mutex_);
    lines.swap(pending_lines_);
    // Nothing came since the last batch: the next line queues a delivery.
    if (lines.empty()) {
      delivery_queued_ = false;
      return;
    }
  }
  ShowLines(lines);
  // Lines that come meanwhile wait for the next batch: however fast a pass
  // logs, the list changes (and is painted) at most once an interval.
  batch_timer_->start();
}

std::deque<std::string> MainDialog::TakeQueuedLines() {
  std::deque<std::string> lines;
  std::lock_guard lock(line_mutex_);
  lines.swap(pending_lines_);
  return lines;
}

void MainDialog::ShowLines(const std::deque<std::string>& lines) {
  if (lines.empty()) return;
  // Only the newest lines can stay: skip the rest, then make room at the top
  // for what is added, so the list never holds more than its maximum.
  const int added = static_cast<int>(std::min<size_t>(lines.size(), kMaximumLogLines));
  const int excess = log_list_->count() + added - kMaximumLogLines;
  if (excess > 0) log_list_->model()->removeRows(0, excess);
  QStringList rows;
  rows.reserve(added);
  for (auto next = lines.end() - added; next != lines.end(); ++next)
    rows.append(DisplayText(*next));
  log_list_->addItems(rows);
  log_list_->scrollToBottom();
}

void MainDialog::CloseSink() {
  std::lock_guard lock(line_mutex_);
  sink_closed_ = true;
}

void MainDialog::ShowState(PanelState state) {
  const bool running = state == PanelState::kRunning;
  start_button_->setEnabled(!running);
  stop_button_->setEnabled(running);
  status_->setText(running ? tr("Status: Running") : tr("Status: Stopped"));
}

}  // namespace quor
