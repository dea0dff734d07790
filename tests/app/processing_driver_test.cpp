#include "app/processing_driver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "config/configuration_files.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

// A port that accepts connections into its backlog but never greets: a pass
// checking it stays in the greeting wait until the listener is closed, which
// resets the connection and lets the pass go on.
class SilentListener {
 public:
  SilentListener() {
    handle_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(handle_, 4);
    getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() { Close(); }
  void Close() {
    if (handle_ >= 0) close(handle_);
    handle_ = -1;
  }
  int port() const { return port_; }

 private:
  int handle_ = -1;
  int port_ = 0;
};

class RecordingFrontEnd : public LogSink, public DriverHooks {
 public:
  void AddLine(const std::string& line) override {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  void ExitRequested() override { ++exit_requests; }
  void PassFinished() override { ++passes_finished; }

  std::vector<std::string> lines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  int Count(const std::string& line) {
    auto all = lines();
    return static_cast<int>(std::count(all.begin(), all.end(), line));
  }
  bool HasLineContaining(const std::string& text) {
    for (const auto& line : lines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::atomic<int> exit_requests{0};
  std::atomic<int> passes_finished{0};

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class ProcessingDriverTest : public ::testing::Test {
 protected:
  void Load(const std::string& settings) {
    WriteWholeFile(profile_.File("quor.INI"), "[Settings]\n" + settings);
    Configuration configuration =
        ConfigurationFiles(profile_.File("quor.INI"), base_.path()).Load();
    log_.AttachFrontEnd(&front_end_);
    log_.Open(configuration.settings.log_file, configuration.settings.log_to_file);
    store_.Load(std::move(configuration));
    processor_.set_base_directory(base_.path());
    ProcessorTimings timings;
    timings.pop_reply_wait_seconds = 60;  // the listener decides when the pass goes on
    processor_.set_timings(timings);
  }
  std::string SilentMailbox() {
    return "MailboxCount=1\nPOPServer0=127.0.0.1:" + std::to_string(listener_.port()) +
           "\nPOPUser0=ann\nPOPLastMsg0=uid-3\n";
  }
  bool WaitForCheckingLine() {
    return WaitUntil([&] { return front_end_.HasLineContaining("Checking mailbox ann@"); });
  }

  TempDir base_;
  TempDir profile_;
  SilentListener listener_;
  RecordingFrontEnd front_end_;
  ConfigurationStore store_;
  ActivityLog log_;
  MailProcessor processor_{store_, log_};
};

TEST(ProcessingDriverPeriodTest, NeverBelowTenSeconds) {
  struct Case {
    int32_t minutes;
    int64_t milliseconds;
  } cases[] = {{0, 10000},       {1, 60000},  {10, 600000},
               {1000, 60000000}, {-3, 10000}, {2147483647, int64_t{2147483647} * 60000}};
  for (const auto& c : cases) {
    EXPECT_EQ(ProcessingDriver::TimerPeriodMilliseconds(c.minutes), c.milliseconds) << c.minutes;
  }
}

TEST_F(ProcessingDriverTest, StartWhileAPassRunsWarnsTheWindowOnlyAndStartsNoSecondPass) {
  Load(SilentMailbox());
  ProcessingDriver driver(processor_, front_end_);
  driver.StartUp();
  EXPECT_TRUE(driver.running());
  ASSERT_TRUE(WaitForCheckingLine());
  EXPECT_TRUE(driver.pass_in_progress());

  driver.Stop();
  EXPECT_FALSE(driver.running());
  driver.Start();
  EXPECT_TRUE(driver.running());
  EXPECT_FALSE(driver.StartPass());
  EXPECT_EQ(front_end_.Count(ProcessingDriver::kAlreadyRunning), 1);

  listener_.Close();
  driver.WaitForPass();
  EXPECT_EQ(front_end_.Count("Processing completed."), 1);
  // The hook follows the end of the pass on the worker.
  EXPECT_TRUE(WaitUntil([&] { return front_end_.passes_finished.load() == 1; }));
  driver.Stop();
  std::string log = ReadWholeFile(base_.File("quor.log"));
  EXPECT_EQ(log.find(ProcessingDriver::kAlreadyRunning), std::string::npos);
  EXPECT_NE(log.find("Processing completed."), std::string::npos);
}

TEST_F(ProcessingDriverTest, ResetDuringAPassClearsMarkersAndWarns) {
  Load(SilentMailbox());
  ProcessingDriver driver(processor_, front_end_);
  driver.StartUp();
  ASSERT_TRUE(WaitForCheckingLine());
  driver.Reset();
  EXPECT_EQ(store_.Snapshot().mailboxes[0].last_message, "");
  EXPECT_EQ(front_end_.Count(ProcessingDriver::kAlreadyRunning), 1);
  listener_.Close();
  driver.WaitForPass();
  driver.Stop();
}

TEST_F(ProcessingDriverTest, StopDuringAPassLetsItComplete) {
  Load(SilentMailbox());
  ProcessingDriver driver(processor_, front_end_);
  driver.StartUp();
  ASSERT_TRUE(WaitForCheckingLine());
  driver.Stop();
  listener_.Close();
  driver.WaitForPass();
  EXPECT_EQ(front_end_.Count("Processing completed."), 1);
  EXPECT_FALSE(driver.running());
}

TEST_F(ProcessingDriverTest, ExitOnCheckAsksToExitAfterThePassEvenWithoutMailboxes) {
  Load("ExitOnCheck=1\n");
  ProcessingDriver driver(processor_, front_end_);
  driver.StartUp();
  ASSERT_TRUE(WaitUntil([&] { return front_end_.passes_finished.load() == 1; }));
  EXPECT_EQ(front_end_.exit_requests.load(), 1);
  // No mailbox: no pass lines at all.
  EXPECT_EQ(front_end_.Count("Processing completed."), 0);
  driver.Stop();
}

TEST_F(ProcessingDriverTest, ExitOnCheckOtherThanOneKeepsRunning) {
  Load("ExitOnCheck=2\n");
  ProcessingDriver driver(processor_, front_end_);
  driver.StartUp();
  ASSERT_TRUE(WaitUntil([&] { return front_end_.passes_finished.load() == 1; }));
  EXPECT_EQ(front_end_.exit_requests.load(), 0);
  driver.Stop();
}

TEST_F(ProcessingDriverTest, TicksStartAPassOnlyWhenNoneRuns) {
  Load(SilentMailbox());
  ProcessingDriver driver(processor_, front_end_);
  driver.OnTimerTick();
  ASSERT_TRUE(WaitForCheckingLine());
  driver.OnTimerTick();  // skipped silently
  EXPECT_EQ(front_end_.Count(ProcessingDriver::kAlreadyRunning), 0);
  listener_.Close();
  driver.WaitForPass();
  EXPECT_TRUE(WaitUntil([&] { return front_end_.passes_finished.load() == 1; }));
  EXPECT_EQ(front_end_.Count("Processing completed."), 1);
}

}  // namespace

}  // namespace quor
