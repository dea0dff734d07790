#include "app/check_command.h"

#include <cstdio>

#include "app/configuration_check.h"
#include "app/connection_check.h"
#include "base/log_line.h"
#include "config/configuration_files.h"

namespace quor {

namespace {

class StandardOutput : public LogSink {
 public:
  void AddLine(const std::string& line) override {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
  }
};

}  // namespace

int RunCheck(const StartupOptions& options, bool connect, LogSink& output) {
  ConfigurationFiles files(options.profile_path, options.base_directory);
  ConfigurationCheck check(files);
  size_t faults = 0;
  for (const CheckProblem& problem : check.Run()) {
    output.AddLine(LogLineText(CheckProblemLine(problem)));
    ++faults;
  }
  if (connect) {
    ConnectionCheck servers(options.timings.pop_reply_wait_seconds,
                            options.timings.smtp_reply_wait_seconds);
    for (const ConnectionOutcome& outcome : servers.Run(check.configuration())) {
      output.AddLine(LogLineText(outcome.line));
      if (!outcome.ok) ++faults;
    }
  }
  if (faults == 0) {
    output.AddLine("No problems found.");
    return 0;
  }
  output.AddLine(std::to_string(faults) + (faults == 1 ? " problem" : " problems") + " found.");
  return 1;
}

int RunCheckCommand(const StartupOptions& options, bool connect) {
  StandardOutput output;
  int status = RunCheck(options, connect, output);
  std::fflush(stdout);
  return status;
}

}  // namespace quor
