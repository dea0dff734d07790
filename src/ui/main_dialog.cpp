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
#include <QVBoxLayout>

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
  exit_state_ = ExitState::kDone;
  lifecycle_->FinishExit();
  done(QDialog::Rejected);
}

void MainDialog::OnPassFinished() {
  if (exit_state_ == ExitState::kWaitingForPass && !lifecycle_->driver().pass_in_progress())
    FinishExit();
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
    AppendLine(line);
    return;
  }
  std::unique_lock lock(line_mutex_);
  if (sink_closed_) return;
  pending_lines_.push_back(line);
  const uint64_t ticket = ++lines_posted_;
  QMetaObject::invokeMethod(this, &MainDialog::DeliverPendingLines, Qt::QueuedConnection);
  line_delivered_.wait(lock, [&] { return sink_closed_ || lines_delivered_ >= ticket; });
}

void MainDialog::DeliverPendingLines() {
  std::deque<std::string> lines;
  {
    std::lock_guard lock(line_mutex_);
    lines.swap(pending_lines_);
  }
  for (const std::string& line : lines) AppendLine(line);
  {
    std::lock_guard lock(line_mutex_);
    lines_delivered_ += lines.size();
  }
  line_delivered_.notify_all();
}

void MainDialog::CloseSink() {
  {
    std::lock_guard lock(line_mutex_);
    sink_closed_ = true;
  }
  line_delivered_.notify_all();
}

void MainDialog::AppendLine(const std::string& line) {
  log_list_->addItem(DisplayText(line));
  while (log_list_->count() > kMaximumLogLines) delete log_list_->takeItem(0);
  log_list_->scrollToBottom();
}

void MainDialog::ShowState(PanelState state) {
  const bool running = state == PanelState::kRunning;
  start_button_->setEnabled(!running);
  stop_button_->setEnabled(running);
  status_->setText(running ? tr("Status: Running") : tr("Status: Stopped"));
}

}  // namespace quor
