// What the agents cost in a pass: a full pass over a mailbox of 2000 messages
// of about 20 KB, with no agents, then with 20 agents of three conditions and
// three extraction rules each. Every agent tests all three conditions on
// every message (one of them reads the body); in the usual case one agent in
// twenty matches a message, as when each agent watches one kind of mail, and
// in the worst case all twenty match, so every message logs 20 agent lines
// and 60 extraction lines, each flushed to the log file on its own. Each
// configuration runs three times (or `rounds`); the best time counts, and
// the best CPU time of this process. Target: the agents add less than 10% to
// the pass.
//
//   build/bench/pass_agents_bench [messages] [rounds]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/lifecycle.h"
#include "app/progress_journal.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/test_files.h"

using namespace quor;

namespace {

std::string SampleMessage(int number) {
  std::string body;
  body.reserve(20000);
  body += "Order: " + std::to_string(100000 + number) + "\nName: Customer " +
          std::to_string(number) + "\nTracking number: ZX-" + std::to_string(number) + "\n\n";
  while (body.size() < 20000) {
    body += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.\n";
  }
  return "From: Shop <shop@example.org>\nTo: ann@example.org\nSubject: Message " +
         std::to_string(number) + " about your order, topic " + std::to_string(number % 20) +
         ".\nDate: Mon, 7 Dec 2026 06:00:00 +0000\n\n" + body;
}

enum class Matching { kOneInTwenty, kAll };

std::vector<MailAgent> Agents(int count, Matching matching) {
  std::vector<MailAgent> agents;
  for (int i = 0; i < count; ++i) {
    MailAgent agent;
    agent.name = "Agent " + std::to_string(i);
    std::string topic = matching == Matching::kAll ? "topic" : "topic " + std::to_string(i) + ".";
    agent.conditions = {
        {"Message-Body", "contains", "Tracking number", ConditionJoin::kAnd},
        {"Sender", "does not contain", "spam" + std::to_string(i), ConditionJoin::kAnd},
        {"Subject", "contains", topic, ConditionJoin::kAnd}};
    agent.extractions = {
        {MarkerKind::kText, "Order: ", MarkerKind::kEndOfLine, "{End of line}", "order"},
        {MarkerKind::kText, "Name: ", MarkerKind::kEndOfLine, "{End of line}", "name"},
        {MarkerKind::kText, "Tracking number: ", MarkerKind::kAnyBlank, "{Any blank space}",
         "tracking"}};
    agents.push_back(agent);
  }
  return agents;
}

class NullSink : public LogSink {
 public:
  void AddLine(const std::string& line) override {
    if (std::getenv("QUOR_BENCH_VERBOSE")) std::puts(line.c_str());
  }
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Wall time and this process's CPU time of one pass: on a busy machine the
// CPU time moves less from run to run than the wall time.
struct PassTime {
  double seconds = 1e9;
  double cpu_seconds = 1e9;
  void KeepBest(const PassTime& other) {
    seconds = std::min(seconds, other.seconds);
    cpu_seconds = std::min(cpu_seconds, other.cpu_seconds);
  }
};

PassTime RunPass(Lifecycle& app) {
  app.store().ClearMarkers();
  double cpu_start = CpuSeconds();
  auto start = std::chrono::steady_clock::now();
  app.processor().RunPass();
  PassTime time;
  time.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  time.cpu_seconds = CpuSeconds() - cpu_start;
  if (std::getenv("QUOR_BENCH_TIMES")) {
    std::printf("  pass %.3f s, CPU %.3f s\n", time.seconds, time.cpu_seconds);
  }
  return time;
}

}  // namespace

int main(int argc, char** argv) {
  int messages = argc > 1 ? std::atoi(argv[1]) : 2000;
  DovecotServer server;
  server.AddUser("ann", "secret");
  size_t bytes = 0;
  for (int i = 1; i <= messages; ++i) {
    std::string message = SampleMessage(i);
    bytes += message.size();
    server.Deliver("ann", message);
  }

  TempDir base;
  NullSink sink;
  DriverHooks hooks;
  StartupOptions options;
  options.base_directory = base.path();
  options.profile_path = base.File("quor.INI");
  Lifecycle app(options, &sink, hooks);
  app.LoadConfiguration();
  MailboxAccount account;
  account.server = server.host_text();
  account.user = "ann";
  account.password = "secret";

  Settings settings = app.configuration().settings;
  auto install = [&](int agent_count, Matching matching) {
    app.store().Install({settings, {account}, Agents(agent_count, matching)});
  };

  // A first pass warms the server's index and the page cache.
  install(0, Matching::kAll);
  RunPass(app);

  int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  PassTime without;
  PassTime with;
  PassTime all;
  for (int round = 0; round < rounds; ++round) {
    install(0, Matching::kAll);
    without.KeepBest(RunPass(app));
    install(20, Matching::kOneInTwenty);
    with.KeepBest(RunPass(app));
    install(20, Matching::kAll);
    all.KeepBest(RunPass(app));
  }
  double best_without = without.seconds;
  double best_with = with.seconds;
  double best_all = all.seconds;
  // What keeping the progress costs on its own: one record per message, as a
  // pass appends them, into a journal of its own.
  ProgressJournal journal(base.File("bench.progress"));
  MailboxAccount live = app.configuration().mailboxes.at(0);
  auto journal_start = std::chrono::steady_clock::now();
  for (int i = 1; i <= messages; ++i) {
    journal.Record(app.store(), live, "0000000" + std::to_string(100000 + i) + ".dovecot-uid");
  }
  double journal_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - journal_start).count();
  // And the fold at the end of a pass: the profile written whole and
  // flushed to the disk, once per pass. Best of three.
  double fold_seconds = 1e9;
  for (int round = 0; round < 3; ++round) {
    auto fold_start = std::chrono::steady_clock::now();
    app.files().Save(app.configuration(), ConfigurationFiles::Parts::kProfile);
    fold_seconds = std::min(
        fold_seconds,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - fold_start).count());
  }

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  double megabytes = static_cast<double>(bytes) / 1e6;
  auto overhead = [&](double seconds) { return (seconds / best_without - 1.0) * 100.0; };
  std::printf("messages                          %d (%.1f MB)\n", messages, megabytes);
  std::printf("pass without agents               %.3f s  (%.1f MB/s)\n", best_without,
              megabytes / best_without);
  std::printf("20 agents, one matches a message  %.3f s  (%.1f MB/s)  agents add %.1f %%\n",
              best_with, megabytes / best_with, overhead(best_with));
  std::printf("20 agents, all match every one    %.3f s  (%.1f MB/s)  agents add %.1f %%\n",
              best_all, megabytes / best_all, overhead(best_all));
  std::printf("CPU of this process per pass      %.3f s / %.3f s / %.3f s\n", without.cpu_seconds,
              with.cpu_seconds, all.cpu_seconds);
  std::printf(
      "progress records alone             %.1f ms for %d (%.2f us each, %.1f %% of the pass)\n",
      journal_seconds * 1e3, messages, journal_seconds * 1e6 / messages,
      journal_seconds / best_without * 100.0);
  std::printf("profile saved at the end of a pass %.1f ms (%.1f %% of the pass)\n",
              fold_seconds * 1e3, fold_seconds / best_without * 100.0);
  std::printf("peak memory              %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}
