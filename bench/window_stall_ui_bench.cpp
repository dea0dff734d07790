// Whether the control panel keeps pace with a pass: the same pass run
// headless and in the window, over a mailbox of 2000 messages with an agent
// that matches every message and extracts three variables (five lines a
// message, about 10000 lines a pass), the log written to a file as in normal
// use.
//
// Headless, the pass runs as the headless front end runs it: through a
// ProcessingDriver, its lines printed (to /dev/null) and flushed one by one.
// In the window, the real MainDialog (Qt, offscreen) runs it from StartUp
// until the list shows the pass's last line. Meanwhile a timer on the UI
// thread ticks every 2 ms; the longest gap between two ticks is the longest
// stall. A first headless pass warms the server's index; then each round runs
// both, alternating (five rounds unless told); the best time of each counts,
// the longest stall of any round. QUOR_BENCH_TIMES=1 prints every round with
// the process's CPU time.
//
// Targets: the window's pass at most 1.3 times the headless pass, and no
// stall longer than 50 ms. The exit status is 1 when either is missed.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window_stall_ui_bench [messages] [rounds]

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

#include "app/lifecycle.h"
#include "app/mail_processor.h"
#include "app/processing_driver.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/test_files.h"
#include "ui/main_dialog.h"

using namespace quor;

namespace {

constexpr double kMaximumRatio = 1.3;
constexpr qint64 kMaximumStallMilliseconds = 50;
constexpr char kLastLineOfAPass[] = "Processing completed.";

std::string SampleMessage(int number) {
  std::string body = "Order: " + std::to_string(100000 + number) + "\nName: Customer " +
                     std::to_string(number) + "\nTracking number: ZX-" + std::to_string(number) +
                     "\n\n";
  while (body.size() < 4000) body += "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n";
  return "From: Shop <shop@example.org>\nTo: ann@example.org\nSubject: Order " +
         std::to_string(number) + "\n\n" + body;
}

// The headless front end's sink, printing to /dev/null instead of a terminal.
class PrintingSink : public LogSink {
 public:
  PrintingSink() : output_(std::fopen("/dev/null", "w")) {}
  ~PrintingSink() override { std::fclose(output_); }

  void AddLine(const std::string& line) override {
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), output_);
    std::fputc('\n', output_);
    std::fflush(output_);
  }

 private:
  std::mutex mutex_;
  std::FILE* output_;
};

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

size_t LineCount(const std::string& path) {
  const std::string text = ReadWholeFile(path);
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Pass {
  double seconds = 0;
  double cpu_seconds = 0;
  qint64 longest_stall_milliseconds = 0;  // the window only
};

Pass RunHeadlessPass(const StartupOptions& options) {
  PrintingSink sink;
  DriverHooks hooks;
  const double cpu_start = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  // The headless front end's way: the same lifecycle, lines to a terminal.
  Lifecycle lifecycle(options, &sink, hooks);
  lifecycle.LoadConfiguration();
  lifecycle.driver().StartPass();
  lifecycle.driver().WaitForPass();
  const auto end = std::chrono::steady_clock::now();
  const double cpu_end = ProcessCpuSeconds();
  return Pass{std::chrono::duration<double>(end - start).count(), cpu_end - cpu_start, 0};
}

Pass RunWindowPass(const StartupOptions& options) {
  MainDialog window(options);
  window.show();
  auto* list = window.findChild<QListWidget*>(QStringLiteral("activityLog"));

  QElapsedTimer clock;
  qint64 last_tick = -1;
  qint64 longest_stall = 0;
  qint64 last_line_shown = -1;
  double cpu_at_last_line = 0;
  // The pass is over for the window when its last line is in the list.
  QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list, [&] {
    if (last_line_shown < 0 && list->item(list->count() - 1)->text() == kLastLineOfAPass) {
      last_line_shown = clock.elapsed();
      cpu_at_last_line = ProcessCpuSeconds();
    }
  });
  // Not the application's quit: that would close the window, whose Exit saves
  // the profile and with it the marker, and the next pass would find nothing.
  QEventLoop loop;
  QTimer ticker;
  ticker.setInterval(2);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last_tick >= 0) longest_stall = std::max(longest_stall, now - last_tick);
    last_tick = now;
    if (last_line_shown >= 0 && !window.driver().pass_in_progress()) loop.quit();
  });

  const double cpu_start = ProcessCpuSeconds();
  clock.start();
  ticker.start();
  window.StartUp();
  loop.exec();
  ticker.stop();
  window.Stop();
  return Pass{static_cast<double>(last_line_shown) / 1000.0, cpu_at_last_line - cpu_start,
              longest_stall};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const int messages = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

  DovecotServer server;
  server.AddUser("ann", "secret");
  for (int i = 1; i <= messages; ++i) server.Deliver("ann", SampleMessage(i));

  TempDir base;
  const std::string log_path = base.File("quor.log");
  WriteWholeFile(base.File("quor.INI"), "[Settings]\nPOPDelay=60\nLogfile=" + log_path +
                                            "\nMailboxCount=1\nPOPServer0=" + server.host_text() +
                                            "\nPOPUser0=ann\nPOPPassword0=secret\n");
  WriteWholeFile(base.File("quoragts.ini"),
                 "[Agents]\nAgentCount=1.\n[Agent0]\nName=Orders.\nEnabled=1.\nCondCount=1.\n"
                 "Cond0.fld=Subject.\nCond0.op=contains.\nCond0.value=Order.\nCond0.join=0.\n"
                 "ExtractCount=3.\n"
                 "Ext0.startval=Order: .\nExt0.starttype=0.\nExt0.endval={End of line}.\n"
                 "Ext0.endtype=3.\nExt0.varname=order.\n"
                 "Ext1.startval=Name: .\nExt1.starttype=0.\nExt1.endval={End of line}.\n"
                 "Ext1.endtype=3.\nExt1.varname=name.\n"
                 "Ext2.startval=Tracking number: .\nExt2.starttype=0.\nExt2.endval={End of line}.\n"
                 "Ext2.endtype=3.\nExt2.varname=tracking.\nActionCount=0.\n");

  // Neither front end saves the profile here, so every pass finds every
  // message new.
  StartupOptions options;
  options.base_directory = base.path();
  options.profile_path = base.File("quor.INI");

  RunHeadlessPass(options);
  const size_t lines_before = LineCount(log_path);
  double best_headless = 1e9;
  double best_window = 1e9;
  qint64 longest_stall = 0;
  for (int round = 0; round < rounds; ++round) {
    const Pass headless = RunHeadlessPass(options);
    const Pass window = RunWindowPass(options);
    if (std::getenv("QUOR_BENCH_TIMES")) {
      std::printf(
          "  round %d: headless %.3f s (CPU %.3f s), window %.3f s (CPU %.3f s), stall %lld ms\n",
          round + 1, headless.seconds, headless.cpu_seconds, window.seconds, window.cpu_seconds,
          static_cast<long long>(window.longest_stall_milliseconds));
    }
    best_headless = std::min(best_headless, headless.seconds);
    best_window = std::min(best_window, window.seconds);
    longest_stall = std::max(longest_stall, window.longest_stall_milliseconds);
  }
  const size_t lines_a_pass = (LineCount(log_path) - lines_before) / (2 * rounds);

  const double ratio = best_window / best_headless;
  const bool ratio_met = ratio <= kMaximumRatio;
  const bool stall_met = longest_stall <= kMaximumStallMilliseconds;
  std::printf("messages                  %d\n", messages);
  std::printf("log lines a pass          %zu\n", lines_a_pass);
  std::printf("rounds                    %d (best of each)\n", rounds);
  std::printf("headless pass             %.3f s\n", best_headless);
  std::printf("window pass               %.3f s (%.0f lines a minute)\n", best_window,
              static_cast<double>(lines_a_pass) / best_window * 60.0);
  std::printf("window / headless         %.2f (target: at most %.1f): %s\n", ratio, kMaximumRatio,
              ratio_met ? "met" : "MISSED");
  std::printf("longest UI stall          %lld ms (target: at most %lld ms): %s\n",
              static_cast<long long>(longest_stall),
              static_cast<long long>(kMaximumStallMilliseconds), stall_met ? "met" : "MISSED");
  return ratio_met && stall_met ? 0 : 1;
}
