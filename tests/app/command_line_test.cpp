#include "app/command_line.h"

#include <gtest/gtest.h>

namespace quor {

TEST(CommandLineTest, ReadsEveryOption) {
  CommandLine line = ParseCommandLine(
      {"--headless", "--once", "--base-dir", "/srv/quor", "--profile", "/etc/quor.INI"});
  EXPECT_EQ(line.request, CommandLine::Request::kRun);
  EXPECT_TRUE(line.headless);
  EXPECT_TRUE(line.once);
  EXPECT_EQ(line.base_directory, "/srv/quor");
  EXPECT_EQ(line.profile, "/etc/quor.INI");
}

TEST(CommandLineTest, NothingGivenRunsWithDefaults) {
  CommandLine line = ParseCommandLine({});
  EXPECT_EQ(line.request, CommandLine::Request::kRun);
  EXPECT_FALSE(line.headless);
  EXPECT_FALSE(line.base_directory.has_value());
}

TEST(CommandLineTest, RefusesUnknownOptionsAndMissingArguments) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;
  } cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--headless", "extra"}, "unknown option extra"},
      {{"--base-dir"}, "option --base-dir needs an argument"},
      {{"--once", "--profile"}, "option --profile needs an argument"},
  };
  for (const auto& c : cases) {
    CommandLine line = ParseCommandLine(c.arguments);
    EXPECT_EQ(line.request, CommandLine::Request::kError);
    EXPECT_EQ(line.error, c.error);
  }
}

TEST(CommandLineTest, ReadsTheCheckAndItsConnectOption) {
  CommandLine line = ParseCommandLine({"--check", "--connect", "--base-dir", "/srv/quor"});
  EXPECT_EQ(line.request, CommandLine::Request::kRun);
  EXPECT_TRUE(line.check);
  EXPECT_TRUE(line.connect);
  EXPECT_FALSE(ParseCommandLine({"--check"}).connect);
  // Trying the servers is a check too.
  EXPECT_TRUE(ParseCommandLine({"--connect"}).check);
}

TEST(CommandLineTest, HelpAndVersionWinOverTheRest) {
  EXPECT_EQ(ParseCommandLine({"--headless", "--help"}).request, CommandLine::Request::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).request, CommandLine::Request::kVersion);
}

TEST(CommandLineTest, ReadsTheMessageTrialOptions) {
  CommandLine line = ParseCommandLine({"--test-message", "mail.eml", "--agent", "Orders"});
  EXPECT_EQ(line.request, CommandLine::Request::kTestMessage);
  EXPECT_EQ(line.test_message, "mail.eml");
  EXPECT_EQ(line.agent, "Orders");
  EXPECT_EQ(ParseCommandLine({"--agent", "Orders"}).error, "option --agent needs --test-message");
  EXPECT_EQ(ParseCommandLine({"--test-message"}).error, "option --test-message needs an argument");
}

}  // namespace quor
