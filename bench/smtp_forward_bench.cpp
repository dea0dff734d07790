// Forwarding a message with a 5 MB attachment to a local SMTP server (the
// aiosmtpd sink of the tests), end to end: the part file written to the data
// folder, the multipart body composed in its scratch file, Base64, the
// transfer with dot-stuffing, the server's acceptance.
//
// Targets: the process grows by less than 3x the attachment size while it
// holds the message and forwards it, and the forward moves at least half the
// bytes per second of a plain Python smtplib client that sends the same
// composed message to the same server (bench/smtp_yardstick.py).
//
// Run: ./smtp_forward_bench [repetitions]   (exit status 1 when a target is missed)

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "config/settings.h"
#include "engine/action_context.h"
#include "engine/message_actions.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"

using namespace quor;

namespace {

constexpr size_t kAttachmentBytes = 5 * 1024 * 1024;

class ProblemLog : public LogSink {
 public:
  void AddLine(const std::string& line) override {
    if (line.rfind("[SMTP]", 0) != 0 && line != "--> Forwarding message...") {
      problems.push_back(line);
    }
  }
  std::vector<std::string> problems;
};

long ResidentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

std::string YardstickScript() {
  return (std::filesystem::path(__FILE__).parent_path() / "smtp_yardstick.py").string();
}

}  // namespace

int main(int argc, char** argv) {
  int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  SmtpServer sink;
  TempDir base;
  long baseline = ResidentKilobytes();

  MailMessage message;
  message.subject = "Quarterly figures";
  message.from = "Ann <ann@example.org>";
  message.attachments.resize(2);
  message.attachments[0].data = "The figures are attached.\n";
  message.attachments[1].name = "figures.bin";
  message.attachments[1].data.resize(kAttachmentBytes);
  std::mt19937_64 random(7);
  for (char& byte : message.attachments[1].data) byte = static_cast<char>(random());

  ProblemLog log;
  Settings settings;
  settings.smtp_server = sink.host_text();
  settings.email_address = "agent@example.com";
  ActionContext context{.log = log,
                        .settings = settings,
                        .base_directory = base.path(),
                        .message = &message,
                        .body_text = {},
                        .play_sound = {}};
  AgentAction forward("Forward Incoming Message", ActionType::kForward);
  forward.SetProperty("mailto", "bob@example.com");
  FieldMap fields;

  double best = 1e9;
  for (int i = 0; i < repetitions; ++i) {
    auto start = std::chrono::steady_clock::now();
    ForwardMessageAction(forward, fields, context);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, seconds);
  }
  long peak = PeakKilobytes();
  if (!log.problems.empty() || !sink.WaitForMessages(repetitions)) {
    std::fprintf(stderr, "forward failed: %s\n",
                 log.problems.empty() ? "no message stored" : log.problems.back().c_str());
    return 1;
  }
  StoredMessage stored = sink.Messages().back();
  MimeSummary mime = CheckMime(stored.path);
  if (!mime.ok || mime.attachments.size() != 1 || mime.attachments[0].size != kAttachmentBytes) {
    std::fprintf(stderr, "the forwarded message does not read back: %s\n", mime.error.c_str());
    return 1;
  }

  bool ran = false;
  std::string output =
      RunAndCapture({"/usr/bin/python3", YardstickScript(), std::to_string(sink.port()),
                     stored.path, std::to_string(repetitions)},
                    ran);
  double yardstick = ran ? std::atof(output.c_str()) : 0;
  if (yardstick <= 0) {
    std::fprintf(stderr, "the smtplib yardstick did not run\n");
    return 1;
  }

  double megabytes = static_cast<double>(stored.data.size()) / (1024.0 * 1024.0);
  double ours = megabytes / best;
  double theirs = megabytes / yardstick;
  double growth = static_cast<double>(peak - baseline) / 1024.0;
  double limit = 3.0 * kAttachmentBytes / (1024.0 * 1024.0);
  bool fast_enough = ours >= 0.5 * theirs;
  bool small_enough = growth < limit;

  std::printf("Forward of a %.1f MB attachment (%.2f MB on the wire), best of %d\n",
              kAttachmentBytes / (1024.0 * 1024.0), megabytes, repetitions);
  std::printf("  %-34s %8.3f s %8.2f MB/s\n", "ForwardMessageAction", best, ours);
  std::printf("  %-34s %8.3f s %8.2f MB/s\n", "Python smtplib, same bytes", yardstick, theirs);
  std::printf("  %-34s %8.2f (target >= 0.50)  %s\n", "throughput ratio", ours / theirs,
              fast_enough ? "PASS" : "FAIL");
  std::printf("  %-34s %8.1f MB (target < %.1f)  %s\n", "memory growth (peak RSS - start)", growth,
              limit, small_enough ? "PASS" : "FAIL");
  return fast_enough && small_enough ? 0 : 1;
}
