#include "app/command_line.h"

namespace quor {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine result;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    auto value = [&](std::optional<std::string>& target) {
      if (i + 1 >= arguments.size()) {
        result.request = CommandLine::Request::kError;
        result.error = "option " + argument + " needs an argument";
        return false;
      }
      target = arguments[++i];
      return true;
    };
    if (argument == "--headless") {
      result.headless = true;
    } else if (argument == "--once") {
      result.once = true;
    } else if (argument == "--check") {
      result.check = true;
    } else if (argument == "--connect") {
      result.check = true;
      result.connect = true;
    } else if (argument == "--base-dir") {
      if (!value(result.base_directory)) return result;
    } else if (argument == "--profile") {
      if (!value(result.profile)) return result;
    } else if (argument == "--test-message") {
      if (!value(result.test_message)) return result;
    } else if (argument == "--agent") {
      if (!value(result.agent)) return result;
    } else if (argument == "--help" || argument == "-h") {
      result.request = CommandLine::Request::kHelp;
      return result;
    } else if (argument == "--version") {
      result.request = CommandLine::Request::kVersion;
      return result;
    } else {
      result.request = CommandLine::Request::kError;
      result.error = "unknown option " + argument;
      return result;
    }
  }
  if (result.agent && !result.test_message) {
    result.request = CommandLine::Request::kError;
    result.error = "option --agent needs --test-message";
  } else if (result.test_message) {
    result.request = CommandLine::Request::kTestMessage;
  }
  return result;
}

std::string UsageText(const std::string& program) {
  return "usage: " + program +
         " [--headless] [--once] [--base-dir DIR] [--profile FILE] | --help | --version\n"
         "       " +
         program +
         " --check [--connect] [--base-dir DIR] [--profile FILE]\n"
         "       " +
         program +
         " --test-message FILE [--agent NAME] [--base-dir DIR] [--profile FILE]\n"
         "  --headless       run without a window; log lines go to standard output\n"
         "  --once           run one pass, save the configuration and exit (implies --headless)\n"
         "  --check          read the profile and the agents file as start-up does, print\n"
         "                   each problem as FILE:LINE: sentence and exit: 0 when nothing\n"
         "                   is wrong, 1 otherwise; writes nothing, takes no lock\n"
         "  --connect        --check, and also log in to each mailbox (STAT, QUIT) and greet\n"
         "                   the SMTP server (AUTH when configured, QUIT), one line per\n"
         "                   server; no mail is read, deleted or sent\n"
         "  --base-dir DIR   folder of quoragts.ini, quor.log and data/ (default: $QUOR_HOME,\n"
         "                   else the current folder)\n"
         "  --profile FILE   settings file (default: $XDG_CONFIG_HOME/quor/quor.INI)\n"
         "  --test-message FILE\n"
         "                   try the enabled agents on one message file and print each\n"
         "                   condition, variable and action; nothing is sent, written,\n"
         "                   deleted or started\n"
         "  --agent NAME     with --test-message: try only this agent, enabled or not\n"
         "exit status with --once:\n"
         "  0  every mailbox was checked and the configuration saved\n"
         "  1  a mailbox could not be checked (connection, login, network), none is\n"
         "     configured, a save failed, or another quor runs with the base folder\n"
         "  2  bad command line\n"
         "exit status with --test-message:\n"
         "  0  an agent matched   1  none did   2  the file cannot be read, no such agent,\n"
         "     or bad command line\n";
}

}  // namespace quor
