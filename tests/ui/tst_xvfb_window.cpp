// End to end on a real X display: the installed program's window comes up on
// a private Xvfb server, checks a private Dovecot mailbox and, with
// exit-after-checking on, ends by itself after saving the marker. The window
// is seen from outside, the way a window manager sees it (xwininfo).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <string>

#include "fixtures/dovecot_server.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

class TestXvfbWindow : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();

  void windowComesUpAndChecksTheMailbox();
  void exitAfterCheckingEndsTheProgramAndSavesTheMarker();

 private:
  // Starts Xvfb on the first display number that is free; false if none.
  bool StartDisplay();
  QString WindowTree();
  void WriteProfile(const std::string& extra_keys);
  void StartQuor();
  std::string LogText() const { return ReadWholeFile(folder_->File("quor.log")); }

  QProcess display_server_;
  QString display_;
  std::unique_ptr<DovecotServer> mail_server_;
  std::unique_ptr<TempDir> folder_;
  std::unique_ptr<QProcess> quor_;
};

void TestXvfbWindow::initTestCase() {
  if (QStandardPaths::findExecutable("Xvfb").isEmpty()) {
    QSKIP("Xvfb is not installed (scripts/install-deps.sh installs it)");
  }
  QVERIFY2(!QStandardPaths::findExecutable("xwininfo").isEmpty(),
           "xwininfo is missing (scripts/install-deps.sh installs x11-utils)");
  QVERIFY2(StartDisplay(), "no Xvfb display could be started");
}

void TestXvfbWindow::cleanupTestCase() {
  if (display_server_.state() != QProcess::NotRunning) {
    display_server_.terminate();
    if (!display_server_.waitForFinished(5000)) display_server_.kill();
  }
}

void TestXvfbWindow::init() {
  folder_ = std::make_unique<TempDir>();
  try {
    mail_server_ = std::make_unique<DovecotServer>();
  } catch (const std::exception& failure) {
    QFAIL(failure.what());
  }
  mail_server_->AddUser("ann", "secret");
  mail_server_->Deliver("ann", "From: b@example.org\nSubject: hello\n\nHello Ann.\n");
}

void TestXvfbWindow::cleanup() {
  if (quor_ && quor_->state() != QProcess::NotRunning) {
    quor_->terminate();
    if (!quor_->waitForFinished(5000)) quor_->kill();
    quor_->waitForFinished(1000);
  }
  quor_.reset();
  mail_server_.reset();
  folder_.reset();
}

bool TestXvfbWindow::StartDisplay() {
  for (int number = 50; number < 200; ++number) {
    const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(number);
    if (QFile::exists(socket) || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))) {
      continue;
    }
    display_ = QStringLiteral(":%1").arg(number);
    display_server_.setProgram("Xvfb");
    display_server_.setArguments(
        {display_, "-noreset", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
    display_server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    display_server_.start();
    if (!display_server_.waitForStarted(5000)) return false;
    // Ready once its socket is there; gone again if another server won the number.
    const bool ready = WaitUntil(
        [&] { return QFile::exists(socket) || display_server_.state() == QProcess::NotRunning; },
        std::chrono::seconds(10));
    if (ready && display_server_.state() == QProcess::Running) return true;
    display_server_.kill();
    display_server_.waitForFinished(2000);
  }
  return false;
}

QString TestXvfbWindow::WindowTree() {
  QProcess tree;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display_);
  tree.setProcessEnvironment(environment);
  tree.start("xwininfo", {"-root", "-tree"});
  if (!tree.waitForFinished(5000)) return {};
  return QString::fromLocal8Bit(tree.readAllStandardOutput());
}

void TestXvfbWindow::WriteProfile(const std::string& extra_keys) {
  WriteWholeFile(folder_->File("quor.INI"),
                 "[Settings]\nMailboxCount=1\nPOPServer0=" + mail_server_->host_text() +
                     "\nPOPUser0=ann\nPOPPassword0=secret\n" + extra_keys);
}

void TestXvfbWindow::StartQuor() {
  quor_ = std::make_unique<QProcess>();
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display_);
  // The program must pick the X display itself, as it does on a desktop.
  environment.remove("QT_QPA_PLATFORM");
  environment.remove("WAYLAND_DISPLAY");
  quor_->setProcessEnvironment(environment);
  quor_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  quor_->start(QStringLiteral(QUOR_BINARY),
               {"--base-dir", QString::fromStdString(folder_->path()), "--profile",
                QString::fromStdString(folder_->File("quor.INI"))});
  QVERIFY(quor_->waitForStarted(5000));
}

void TestXvfbWindow::windowComesUpAndChecksTheMailbox() {
  WriteProfile("");
  StartQuor();
  QTRY_VERIFY_WITH_TIMEOUT(WindowTree().contains("\"Quor Mail Processor\""), 20000);
  QTRY_VERIFY_WITH_TIMEOUT(Contains(LogText(), "Processing completed."), 20000);
  const std::string log = LogText();
  QVERIFY2(Contains(log, "] - Started.") && Contains(log, "] - Checking mailbox ann@") &&
               Contains(log, "--> 1 new messages found."),
           log.c_str());
  // Still running: the panel waits for the next tick.
  QCOMPARE(quor_->state(), QProcess::Running);
}

void TestXvfbWindow::exitAfterCheckingEndsTheProgramAndSavesTheMarker() {
  WriteProfile("ExitOnCheck=1\n");
  StartQuor();
  QVERIFY(quor_->waitForFinished(30000));
  QCOMPARE(quor_->exitStatus(), QProcess::NormalExit);
  QCOMPARE(quor_->exitCode(), 0);
  QVERIFY(Contains(LogText(), "Processing completed."));
  const std::string profile = ReadWholeFile(folder_->File("quor.INI"));
  QVERIFY2(Contains(profile, "POPLastMsg0=") && !Contains(profile, "POPLastMsg0=\n"),
           profile.c_str());
}

}  // namespace quor

QTEST_MAIN(quor::TestXvfbWindow)
#include "tst_xvfb_window.moc"
