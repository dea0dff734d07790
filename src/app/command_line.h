#pragma once
// quor [--headless] [--once] [--base-dir DIR] [--profile FILE] | --help | --version
// quor --check [--connect] [--base-dir DIR] [--profile FILE]
// quor --test-message FILE [--agent NAME] [--base-dir DIR] [--profile FILE]

#include <optional>
#include <string>
#include <vector>

namespace quor {

struct CommandLine {
  enum class Request { kRun, kHelp, kVersion, kError, kTestMessage };
  Request request = Request::kRun;
  bool headless = false;
  bool once = false;
  bool check = false;    // --check: look the configuration over instead of running
  bool connect = false;  // --connect: --check, and try the servers too
  std::optional<std::string> base_directory;
  std::optional<std::string> profile;
  std::optional<std::string> test_message;  // the message file of --test-message
  std::optional<std::string> agent;         // --agent: the one agent to try
  std::string error;                        // one line, when request is kError
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
std::string UsageText(const std::string& program);

}  // namespace quor
