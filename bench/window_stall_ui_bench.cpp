// How long the control panel's UI thread stalls while a pass pours log lines
// into it: a pass over a mailbox of 2000 messages with an agent that matches
// every message and extracts three variables (five lines a message, about
// 10000 lines a pass). A timer on the UI thread ticks every 2 ms; the longest
// gap between two ticks while the pass runs is the longest stall.
// Target: never more than 50 ms.
//
//   QT_QPA_PLATFORM=offscreen build/bench/window_stall_ui_bench [messages]

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "fixtures/dovecot_server.h"
#include "fixtures/test_files.h"
#include "ui/main_dialog.h"

using namespace quor;

namespace {

std::string SampleMessage(int number) {
  std::string body = "Order: " + std::to_string(100000 + number) + "\nName: Customer " +
                     std::to_string(number) + "\nTracking number: ZX-" + std::to_string(number) +
                     "\n\n";
  while (body.size() < 4000) body += "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n";
  return "From: Shop <shop@example.org>\nTo: ann@example.org\nSubject: Order " +
         std::to_string(number) + "\n\n" + body;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  int messages = argc > 1 ? std::atoi(argv[1]) : 2000;

  DovecotServer server;
  server.AddUser("ann", "secret");
  for (int i = 1; i <= messages; ++i) server.Deliver("ann", SampleMessage(i));

  TempDir base;
  WriteWholeFile(base.File("quor.INI"),
                 "[Settings]\nPOPDelay=60\nMailboxCount=1\nPOPServer0=" + server.host_text() +
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

  StartupOptions options;
  options.base_directory = base.path();
  options.profile_path = base.File("quor.INI");
  MainDialog window(options);
  window.show();

  QElapsedTimer clock;
  qint64 last_tick = -1;
  qint64 longest_stall = 0;
  qint64 pass_started = 0;
  qint64 pass_ended = 0;
  QTimer ticker;
  ticker.setInterval(2);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    qint64 now = clock.elapsed();
    if (last_tick >= 0) longest_stall = std::max(longest_stall, now - last_tick);
    last_tick = now;
    if (!window.driver().pass_in_progress() && pass_ended == 0 && now > 100) {
      pass_ended = now;
      application.quit();
    }
  });

  clock.start();
  window.StartUp();
  pass_started = clock.elapsed();
  ticker.start();
  application.exec();
  ticker.stop();

  double seconds = static_cast<double>(pass_ended - pass_started) / 1000.0;
  std::printf("messages                  %d\n", messages);
  std::printf("log lines (approx.)       %d\n", messages * 5);
  std::printf("pass time                 %.2f s (%.0f lines a minute)\n", seconds,
              messages * 5 / seconds * 60.0);
  std::printf("longest UI stall          %lld ms (target: at most 50 ms)\n",
              static_cast<long long>(longest_stall));
  window.Stop();
  return 0;
}
