// Save Attachments with numbering on, for messages whose parts all have one
// name: each part takes the first free number (report.txt1, report.txt2, ...).
// A search that starts from 1 again for every part makes the action quadratic
// in the number of parts; the figure for 8000 parts shows which it is.
//
// Run: ./numbered_save_bench [parts ...]   (default: 2000 4000 8000)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/local_actions.h"
#include "fixtures/agent_builders.h"
#include "fixtures/test_files.h"

using namespace quor;

namespace {

class NullLog : public LogSink {
 public:
  void AddLine(const std::string&) override {}
};

// Seconds for one Save Attachments action over `parts` parts named
// report.txt, into a fresh folder.
double SaveSeconds(int parts) {
  TempDir folder;
  MailMessage message;
  message.attachments.push_back(MailAttachment{"body", ""});
  for (int i = 0; i < parts; ++i) message.attachments.push_back(MailAttachment{"x", "report.txt"});
  NullLog log;
  Settings settings;
  ActionContext context{.log = log, .settings = settings, .message = &message};
  AgentAction action = Action(ActionType::kSaveAttachments, {{"directory", folder.path()},
                                                             {"basefile", "unused"},
                                                             {"usenumbering", "1"},
                                                             {"usename", "1"}});
  auto start = std::chrono::steady_clock::now();
  SaveAttachmentsAction(action, {}, context);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!FileExists(folder.File("report.txt" + std::to_string(parts)))) {
    std::fprintf(stderr, "part %d was not saved\n", parts);
    std::exit(1);
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {2000, 4000, 8000};
  std::printf("%8s %10s %14s\n", "parts", "seconds", "parts/second");
  for (int parts : counts) {
    double seconds = SaveSeconds(parts);
    std::printf("%8d %10.3f %14.0f\n", parts, seconds, seconds > 0 ? parts / seconds : 0.0);
  }
  return 0;
}
