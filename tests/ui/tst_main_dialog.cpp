// The control panel with a real processor and driver: passes run against no
// mailbox (over at once), a stalling server (over when the test says so) or a
// private Dovecot server. Configuration lives in a temporary folder.

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "agent_editor_test_helpers.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/scripted_server.h"
#include "fixtures/test_files.h"
#include "ui/main_dialog.h"
#include "ui/main_mailbox_page.h"
#include "ui/main_settings_page.h"
#include "ui/quor_sheet.h"

namespace quor {

namespace {

const QStringList kPanelButtons{"&Setup...", "&Start", "&Stop", "&Reset", "&Exit"};

// How long a worker may take to log its lines while the UI thread is busy;
// without waiting for the window it needs a few milliseconds.
constexpr std::chrono::seconds kWorkerDeadline{30};

// Counts the queued calls a window receives: how the worker's lines reach it.
class QueuedCallCounter : public QObject {
 public:
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MetaCall) ++count;
    return QObject::eventFilter(watched, event);
  }
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

class TestMainDialog : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void startUpLoadsRunsAPassAndIsRunning();
  void buttonsFollowThePanelState_data();
  void buttonsFollowThePanelState();
  void logKeepsTheNewest300Lines_data();
  void logKeepsTheNewest300Lines();
  void workerLoggingFarMoreThanTheListHoldsNeverWaitsForTheWindow();
  void lineFromTheWindowComesAfterTheQueuedOnes();
  void rowShowsTheLineWithoutItsLineEnd_data();
  void rowShowsTheLineWithoutItsLineEnd();
  void escapeLeavesTheWindowOpen();
  void exitAndCloseSaveAndEnd_data();
  void exitAndCloseSaveAndEnd();
  void startWhileAPassRunsWarnsInTheListOnly();
  void exitDuringAPassWaitsForItThenSaves();
  void exitOnCheckEndsTheModalLoopAfterTheFirstPass();
  void setupOkInstallsAndSavesCancelDoesNot_data();
  void setupOkInstallsAndSavesCancelDoesNot();
  void setupOkKeepsTheMarkerAPassStoredWhileTheSheetWasOpen();
  void exitRequestWhileSetupIsOpenWaitsForTheSheet();
  void baseFolderTakenByAnotherQuorStartsNothing();

 private:
  std::string ProfilePath() const { return folder_->File("quor.INI"); }
  std::string LogPath() const { return folder_->File("quor.log"); }
  // Runs log_lines on a worker thread while the UI thread processes no
  // events; true when the worker finished within kWorkerDeadline all the same.
  bool LogWhileTheWindowIsBusy(const std::function<void()>& log_lines);
  // A profile with the given keys under [Settings], the log file in the folder.
  void WriteProfile(const std::string& keys);
  // A profile whose one mailbox is a server that accepts and then says nothing.
  void WriteProfileWithStallingServer();
  std::unique_ptr<MainDialog> OpenPanel();
  QListWidget* LogList(MainDialog& dialog);
  QStringList LogRows(MainDialog& dialog) { return RowTexts(LogList(dialog)); }
  QString StatusText(MainDialog& dialog);
  void WaitForNoPass(MainDialog& dialog);
  // Whether a row equals the text.
  bool HasRow(MainDialog& dialog, const QString& text) { return LogRows(dialog).contains(text); }

  std::unique_ptr<TempDir> folder_;
  std::unique_ptr<ScriptedServer> stalling_server_;
  ProcessorTimings timings_;
};

void TestMainDialog::init() {
  folder_ = std::make_unique<TempDir>();
  timings_ = ProcessorTimings{};
  timings_.pop_reply_wait_seconds = 60;
}

void TestMainDialog::cleanup() {
  stalling_server_.reset();
  QVERIFY(NoWindowOpen());
  folder_.reset();
}

void TestMainDialog::WriteProfile(const std::string& keys) {
  WriteWholeFile(ProfilePath(), "[Settings]\nLogfile=" + LogPath() + "\n" + keys);
}

void TestMainDialog::WriteProfileWithStallingServer() {
  stalling_server_ = std::make_unique<ScriptedServer>(std::chrono::seconds(60));
  stalling_server_->Silence(std::chrono::seconds(60));
  stalling_server_->Start();
  WriteProfile("MailboxCount=1\nPOPServer0=" + stalling_server_->host_text() +
               "\nPOPUser0=ann\nPOPPassword0=secret\n");
}

std::unique_ptr<MainDialog> TestMainDialog::OpenPanel() {
  StartupOptions options;
  options.base_directory = folder_->path();
  options.profile_path = ProfilePath();
  options.timings = timings_;
  auto dialog = std::make_unique<MainDialog>(options);
  dialog->show();
  dialog->StartUp();
  return dialog;
}

QListWidget* TestMainDialog::LogList(MainDialog& dialog) {
  return FieldLabelled<QListWidget>(&dialog, "Activity Log:");
}

QString TestMainDialog::StatusText(MainDialog& dialog) {
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->text().startsWith("Status:")) return label->text();
  }
  return {};
}

void TestMainDialog::WaitForNoPass(MainDialog& dialog) {
  QTRY_VERIFY(!dialog.driver().pass_in_progress());
}

void TestMainDialog::startUpLoadsRunsAPassAndIsRunning() {
  auto dialog = OpenPanel();
  QCOMPARE(dialog->windowTitle(), QStringLiteral("Quor Mail Processor"));
  auto* panel = dialog->findChild<QGroupBox*>();
  QCOMPARE(panel->title(), QStringLiteral("Control  Panel"));
  for (const QString& text : kPanelButtons) QVERIFY2(ButtonNamed(panel, text), qPrintable(text));
  QVERIFY(ButtonNamed<QPushButton>(panel, "&Setup...")->isDefault());

  QTRY_VERIFY(!LogRows(*dialog).isEmpty());
  static const QRegularExpression started(
      R"(^\[\w{3} \w{3} \d{2} \d{2}:\d{2}:\d{2} \d{4}\] - Started\.$)");
  QVERIFY2(started.match(LogRows(*dialog).first()).hasMatch(),
           qPrintable(LogRows(*dialog).first()));
  QCOMPARE(StatusText(*dialog), QStringLiteral("Status: Running"));
  QVERIFY(dialog->driver().running());
  QVERIFY(!ButtonNamed(panel, "&Start")->isEnabled());
  QVERIFY(ButtonNamed(panel, "&Stop")->isEnabled());
  QVERIFY(Contains(ReadWholeFile(LogPath()), "] - Started."));
  WaitForNoPass(*dialog);
}

void TestMainDialog::buttonsFollowThePanelState_data() {
  QTest::addColumn<QStringList>("presses");
  QTest::addColumn<bool>("running");
  QTest::newRow("stop") << QStringList{"&Stop"} << false;
  QTest::newRow("stop, start") << QStringList{"&Stop", "&Start"} << true;
  QTest::newRow("stop, reset") << QStringList{"&Stop", "&Reset"} << true;
  QTest::newRow("reset while running") << QStringList{"&Reset"} << true;
  QTest::newRow("stop, start, stop") << QStringList{"&Stop", "&Start", "&Stop"} << false;
}

void TestMainDialog::buttonsFollowThePanelState() {
  QFETCH(QStringList, presses);
  QFETCH(bool, running);
  auto dialog = OpenPanel();
  for (const QString& press : presses) {
    WaitForNoPass(*dialog);
    ButtonNamed(dialog.get(), press)->click();
  }
  QCOMPARE(StatusText(*dialog),
           running ? QStringLiteral("Status: Running") : QStringLiteral("Status: Stopped"));
  QCOMPARE(dialog->driver().running(), running);
  QCOMPARE(ButtonNamed(dialog.get(), "&Start")->isEnabled(), !running);
  QCOMPARE(ButtonNamed(dialog.get(), "&Stop")->isEnabled(), running);
  for (const char* always : {"&Setup...", "&Reset", "&Exit"}) {
    QVERIFY2(ButtonNamed(dialog.get(), always)->isEnabled(), always);
  }
  WaitForNoPass(*dialog);
  QVERIFY(!HasRow(*dialog, ProcessingDriver::kAlreadyRunning));
}

void TestMainDialog::logKeepsTheNewest300Lines_data() {
  QTest::addColumn<bool>("from_worker");
  QTest::newRow("lines from the UI thread") << false;
  QTest::newRow("lines from a worker thread") << true;
}

void TestMainDialog::logKeepsTheNewest300Lines() {
  QFETCH(bool, from_worker);
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  QListWidget* list = LogList(*dialog);
  list->clear();
  auto add_lines = [&dialog] {
    for (int number = 1; number <= 301; ++number) dialog->AddLine("line " + std::to_string(number));
  };
  if (from_worker) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      add_lines();
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    // The worker does not wait for the window: its last lines may still wait
    // for the window's next batch.
    QTRY_VERIFY(list->count() > 0 && list->item(list->count() - 1)->text() == "line 301");
  } else {
    add_lines();
  }
  QCOMPARE(list->count(), 300);
  QCOMPARE(list->item(0)->text(), QStringLiteral("line 2"));
  QCOMPARE(list->item(299)->text(), QStringLiteral("line 301"));
  // The newest line is scrolled into view.
  QVERIFY(list->viewport()->rect().intersects(list->visualItemRect(list->item(299))));
}

bool TestMainDialog::LogWhileTheWindowIsBusy(const std::function<void()>& log_lines) {
  std::promise<void> finished;
  std::future<void> worker_done = finished.get_future();
  std::thread worker([&] {
    log_lines();
    finished.set_value();
  });
  const bool finished_while_busy =
      worker_done.wait_for(kWorkerDeadline) == std::future_status::ready;
  // A worker that waits for the window gets it now, so a failure ends cleanly.
  while (worker_done.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  worker.join();
  return finished_while_busy;
}

void TestMainDialog::workerLoggingFarMoreThanTheListHoldsNeverWaitsForTheWindow() {
  constexpr int kLines = 10000;
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  QListWidget* list = LogList(*dialog);
  // What the start-up pass queued to the window is out of the way.
  QCoreApplication::sendPostedEvents(dialog.get());
  list->clear();
  QueuedCallCounter deliveries;
  dialog->installEventFilter(&deliveries);

  QVERIFY(LogWhileTheWindowIsBusy([&dialog] {
    for (int number = 1; number <= kLines; ++number)
      dialog->AddLine("line " + std::to_string(number));
  }));
  QCOMPARE(list->count(), 0);  // nothing shown while the UI thread was busy
  QCoreApplication::sendPostedEvents(dialog.get());
  // The whole batch came in one delivery, not one per line.
  QCOMPARE(deliveries.count, 1);
  QStringList newest;
  for (int number = kLines - MainDialog::kMaximumLogLines + 1; number <= kLines; ++number)
    newest.append(QStringLiteral("line %1").arg(number));
  QCOMPARE(RowTexts(list), newest);
  QVERIFY(list->viewport()->rect().intersects(list->visualItemRect(list->item(299))));
}

void TestMainDialog::lineFromTheWindowComesAfterTheQueuedOnes() {
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  QListWidget* list = LogList(*dialog);
  // What the start-up pass queued to the window is out of the way.
  QCoreApplication::sendPostedEvents(dialog.get());
  list->clear();
  QVERIFY(LogWhileTheWindowIsBusy([&dialog] {
    for (const char* line : {"worker 1", "worker 2"}) dialog->AddLine(line);
  }));
  dialog->AddLine("window");
  QCOMPARE(RowTexts(list), QStringList({"worker 1", "worker 2", "window"}));
  // The delivery still queued finds nothing left to add.
  QCoreApplication::sendPostedEvents(dialog.get());
  QCOMPARE(RowTexts(list), QStringList({"worker 1", "worker 2", "window"}));
}

void TestMainDialog::rowShowsTheLineWithoutItsLineEnd_data() {
  QTest::addColumn<QByteArray>("line");
  QTest::addColumn<QString>("row");
  QTest::newRow("server reply with CR LF") << QByteArray("-ERR denied\r\n") << "-ERR denied";
  QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("caf\xc3\xa9");
  QTest::newRow("Latin-1 byte") << QByteArray("caf\xe9") << QString::fromUtf8("caf\xc3\xa9");
  QTest::newRow("tab kept") << QByteArray("a\tb") << "a\tb";
}

void TestMainDialog::rowShowsTheLineWithoutItsLineEnd() {
  QFETCH(QByteArray, line);
  QFETCH(QString, row);
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  dialog->AddLine(line.toStdString());
  QCOMPARE(LogRows(*dialog).last(), row);
}

void TestMainDialog::escapeLeavesTheWindowOpen() {
  auto dialog = OpenPanel();
  QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
  QSignalSpy finished(dialog.get(), &QDialog::finished);
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  QTest::keyClick(LogList(*dialog), Qt::Key_Escape);
  QVERIFY(dialog->isVisible());
  QCOMPARE(finished.count(), 0);
  QVERIFY(!FileExists(ProfilePath()));
  WaitForNoPass(*dialog);
}

void TestMainDialog::exitAndCloseSaveAndEnd_data() {
  QTest::addColumn<bool>("title_bar_close");
  QTest::newRow("Exit button") << false;
  QTest::newRow("title bar Close") << true;
}

void TestMainDialog::exitAndCloseSaveAndEnd() {
  QFETCH(bool, title_bar_close);
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  QSignalSpy finished(dialog.get(), &QDialog::finished);
  QVERIFY(!FileExists(ProfilePath()));
  if (title_bar_close) {
    dialog->close();
  } else {
    ButtonNamed(dialog.get(), "&Exit")->click();
  }
  QVERIFY(!dialog->isVisible());
  QCOMPARE(finished.count(), 1);
  QCOMPARE(dialog->result(), int(QDialog::Rejected));
  const std::string profile = ReadWholeFile(ProfilePath());
  QVERIFY2(Contains(profile, "POPDelay=10") && Contains(profile, "MailboxCount=0"),
           profile.c_str());
  QVERIFY(FileExists(folder_->File("quoragts.ini")));
}

void TestMainDialog::startWhileAPassRunsWarnsInTheListOnly() {
  WriteProfileWithStallingServer();
  auto dialog = OpenPanel();
  QTRY_VERIFY(stalling_server_->connections() == 1);
  QVERIFY(dialog->driver().pass_in_progress());

  ButtonNamed(dialog.get(), "&Stop")->click();
  ButtonNamed(dialog.get(), "&Start")->click();
  QCOMPARE(LogRows(*dialog).last(), QString(ProcessingDriver::kAlreadyRunning));
  QCOMPARE(StatusText(*dialog), QStringLiteral("Status: Running"));
  QVERIFY(!ButtonNamed(dialog.get(), "&Start")->isEnabled());
  ButtonNamed(dialog.get(), "&Reset")->click();
  QCOMPARE(LogRows(*dialog).count(ProcessingDriver::kAlreadyRunning), 2);

  stalling_server_.reset();  // the pass meets a closed connection and ends
  QTRY_VERIFY(HasRow(*dialog, "Processing completed."));
  WaitForNoPass(*dialog);
  QCOMPARE(LogRows(*dialog).count("Processing completed."), 1);
  const std::string log_file = ReadWholeFile(LogPath());
  QVERIFY(Contains(log_file, "Processing completed."));
  QVERIFY(!Contains(log_file, "WARNING"));
}

void TestMainDialog::exitDuringAPassWaitsForItThenSaves() {
  WriteProfileWithStallingServer();
  auto dialog = OpenPanel();
  QTRY_VERIFY(stalling_server_->connections() == 1);
  QSignalSpy finished(dialog.get(), &QDialog::finished);

  ButtonNamed(dialog.get(), "&Exit")->click();  // returns at once
  QVERIFY(dialog->exit_pending());
  QVERIFY(dialog->isVisible());
  QCOMPARE(StatusText(*dialog), QStringLiteral("Status: Exiting after the current pass..."));
  for (const QString& text : kPanelButtons) {
    QVERIFY2(!ButtonNamed(dialog.get(), text)->isEnabled(), qPrintable(text));
  }
  // Nothing saved yet: the written profile has no ExitOnCheck key.
  QVERIFY(!Contains(ReadWholeFile(ProfilePath()), "ExitOnCheck"));
  // The window keeps taking lines while it waits.
  dialog->close();
  QTest::qWait(50);
  QVERIFY(dialog->isVisible());
  const int rows = LogList(*dialog)->count();

  stalling_server_.reset();
  QTRY_COMPARE(finished.count(), 1);
  QVERIFY(!dialog->isVisible());
  QVERIFY(LogList(*dialog)->count() > rows);
  QVERIFY(HasRow(*dialog, "Processing completed."));
  QVERIFY(Contains(ReadWholeFile(ProfilePath()), "ExitOnCheck=0"));
}

void TestMainDialog::exitOnCheckEndsTheModalLoopAfterTheFirstPass() {
  WriteProfile("ExitOnCheck=1\n");
  StartupOptions options;
  options.base_directory = folder_->path();
  options.profile_path = ProfilePath();
  MainDialog dialog(options);
  dialog.StartUp();
  // A dialog that never ends would otherwise hang the test program.
  QTimer::singleShot(20000, &dialog, [&dialog] { dialog.done(42); });
  QCOMPARE(dialog.exec(), int(QDialog::Rejected));
  QVERIFY(!dialog.driver().pass_in_progress());
  // No mailbox: the pass ends before it could log "Processing completed.".
  QVERIFY(HasRow(dialog, "Processing completed.") == false);
  QVERIFY(LogRows(dialog).first().endsWith("] - Started."));
  QVERIFY(Contains(ReadWholeFile(ProfilePath()), "ExitOnCheck=1"));
}

void TestMainDialog::setupOkInstallsAndSavesCancelDoesNot_data() {
  QTest::addColumn<bool>("accept");
  QTest::newRow("OK") << true;
  QTest::newRow("Cancel") << false;
}

void TestMainDialog::setupOkInstallsAndSavesCancelDoesNot() {
  QFETCH(bool, accept);
  WriteProfile("Name=Old Name\nPOPDelay=5\nSMTPSecurity=2\nSMTPUser=old\n");
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  QString title;
  QString security_shown;
  QString user_name_shown;
  dialog->set_sheet_runner([&](QuorSheet& sheet) {
    title = sheet.windowTitle();
    QTabWidget* tabs = sheet.tabs();
    MainSettingsPage* page = sheet.settings_page();
    tabs->setCurrentWidget(page);
    FieldLabelled<QLineEdit>(page, "Name:")->setText("New Name");
    FieldLabelled<QLineEdit>(page, "Check Incoming Mail Every:")->setText("0");
    auto* security = FieldLabelled<QComboBox>(page, "SMTP &Security:");
    auto* user_name = FieldLabelled<QLineEdit>(page, "SMTP &User Name:");
    security_shown = security->currentText();
    user_name_shown = user_name->text();
    security->setCurrentIndex(security->findText("STARTTLS"));
    user_name->setText("orders");
    FieldLabelled<QLineEdit>(page, "SMTP &Password:")->setText("pw");
    ButtonNamed<QCheckBox>(page, "&Reply to automatic messages")->click();
    auto* box = sheet.findChild<QDialogButtonBox*>();
    box->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    return sheet.result() == QDialog::Accepted;
  });
  const std::string profile_before = ReadWholeFile(ProfilePath());
  ButtonNamed(dialog.get(), "&Setup...")->click();

  QCOMPARE(title, QStringLiteral("Quor Setup"));
  QCOMPARE(security_shown, QStringLiteral("SSL/TLS"));
  QCOMPARE(user_name_shown, QStringLiteral("old"));
  const std::string profile = ReadWholeFile(ProfilePath());
  if (accept) {
    QCOMPARE(dialog->lifecycle().configuration().settings.sender_name, std::string("New Name"));
    QCOMPARE(dialog->lifecycle().configuration().settings.check_interval_minutes, 0);
    QVERIFY2(Contains(profile, "Name=New Name") && Contains(profile, "POPDelay=0"),
             profile.c_str());
    QVERIFY2(Contains(profile, "SMTPSecurity=1\n") && Contains(profile, "SMTPUser=orders\n") &&
                 Contains(profile, "SMTPPassword=pw\n") &&
                 Contains(profile, "ReplyToAutomatic=1\n"),
             profile.c_str());
  } else {
    QCOMPARE(dialog->lifecycle().configuration().settings.sender_name, std::string("Old Name"));
    QCOMPARE(profile, profile_before);
  }
  // Setup leaves the panel's state alone.
  QCOMPARE(StatusText(*dialog), QStringLiteral("Status: Running"));
  QVERIFY(dialog->driver().running());
}

void TestMainDialog::setupOkKeepsTheMarkerAPassStoredWhileTheSheetWasOpen() {
  std::unique_ptr<DovecotServer> server;
  try {
    server = std::make_unique<DovecotServer>();
  } catch (const std::exception& failure) {
    QFAIL(failure.what());
  }
  server->AddUser("ann", "secret");
  server->Deliver("ann", "From: a@example.org\nSubject: first\n\nOne.\n");
  WriteProfile("MailboxCount=1\nPOPServer0=" + server->host_text() +
               "\nPOPUser0=ann\nPOPPassword0=secret\n");
  auto dialog = OpenPanel();
  QTRY_VERIFY(HasRow(*dialog, "Processing completed."));
  WaitForNoPass(*dialog);
  QVERIFY(HasRow(*dialog, "--> 1 new messages found."));
  const std::string first_marker = dialog->lifecycle().configuration().mailboxes.at(0).last_message;
  QVERIFY(!first_marker.empty());

  dialog->set_sheet_runner([&](QuorSheet& sheet) {
    // The user replaces the account (same values) ...
    sheet.tabs()->setCurrentWidget(sheet.mailbox_page());
    QListWidget* list = ControlNamed<QListWidget>(sheet.mailbox_page(), "Mailboxes");
    list->setCurrentRow(0);
    ButtonNamed(sheet.mailbox_page(), "&Replace")->click();
    // ... while a pass finds a new message and moves the marker.
    server->Deliver("ann", "From: a@example.org\nSubject: second\n\nTwo.\n");
    LogList(*dialog)->clear();
    dialog->driver().Start();
    [&] { QTRY_VERIFY(HasRow(*dialog, "Processing completed.")); }();
    [&] { WaitForNoPass(*dialog); }();
    sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    return sheet.result() == QDialog::Accepted;
  });
  ButtonNamed(dialog.get(), "&Setup...")->click();

  QVERIFY(HasRow(*dialog, "--> 1 new messages found."));
  const std::string second_marker =
      dialog->lifecycle().configuration().mailboxes.at(0).last_message;
  QVERIFY(!second_marker.empty());
  QVERIFY(second_marker != first_marker);
  const std::string profile = ReadWholeFile(ProfilePath());
  QVERIFY(Contains(profile, "POPLastMsg0=" + second_marker));
  // Replace kept the account's plain text: "SSL/TLS" is only for a new one.
  QVERIFY2(!Contains(profile, "POPSecurity0="), profile.c_str());
}

void TestMainDialog::exitRequestWhileSetupIsOpenWaitsForTheSheet() {
  auto dialog = OpenPanel();
  WaitForNoPass(*dialog);
  QSignalSpy finished(dialog.get(), &QDialog::finished);
  bool visible_while_open = false;
  dialog->set_sheet_runner([&](QuorSheet& sheet) {
    dialog->ExitRequested();  // what a worker does after a pass
    QTest::qWait(50);
    visible_while_open = dialog->isVisible() && finished.count() == 0;
    sheet.reject();
    return false;
  });
  ButtonNamed(dialog.get(), "&Setup...")->click();
  QVERIFY(visible_while_open);
  QCOMPARE(finished.count(), 1);
  QVERIFY(!dialog->isVisible());
  QVERIFY(FileExists(ProfilePath()));
}

void TestMainDialog::baseFolderTakenByAnotherQuorStartsNothing() {
  StartupOptions options;
  options.base_directory = folder_->path();
  options.profile_path = ProfilePath();
  DriverHooks hooks;
  Lifecycle other(options, nullptr, hooks);
  QVERIFY(other.LoadConfiguration());

  MainDialog dialog(options);
  QVERIFY(!dialog.StartUp());
  const std::string error =
      "ERROR: Another quor is already running with the base folder " + folder_->path() + ".";
  QCOMPARE(dialog.lifecycle().start_error(), error);
  QCOMPARE(LogRows(dialog), QStringList{QString::fromStdString(error)});
  QVERIFY(!dialog.driver().running());
  QVERIFY(!dialog.driver().pass_in_progress());
}

}  // namespace quor

QTEST_MAIN(quor::TestMainDialog)
#include "tst_main_dialog.moc"
