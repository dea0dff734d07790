#include "app/mail_processor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <sstream>

#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class RecordingSink : public LogSink {
 public:
  void AddLine(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class MailProcessorTest : public ::testing::Test {
 protected:
  void Configure(MailProcessor& processor) {
    processor.set_base_directory(base_.path());
    processor.set_profile_path(profile_.File("quor.INI"));
    processor.AttachSink(&sink_);
  }
  std::string LogFile() const { return base_.File("quor.log"); }

  TempDir base_;
  TempDir profile_;
  RecordingSink sink_;
};

constexpr const char* kStartedPattern =
    R"(\[[A-Z][a-z][a-z] [A-Z][a-z][a-z] [0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] [0-9]{4}\] - Started\.)";

TEST_F(MailProcessorTest, FirstStartWithoutFilesUsesDefaultsAndCreatesTheLog) {
  {
    MailProcessor processor;
    Configure(processor);
    EXPECT_EQ(processor.LoadConfiguration(), 1);
    Settings settings = processor.settings();
    EXPECT_EQ(settings.check_interval_minutes, 10);
    EXPECT_EQ(settings.size_limit_kilobytes, 0);
    EXPECT_EQ(settings.log_to_file, 1);
    EXPECT_EQ(settings.exit_after_check, 0);
    EXPECT_EQ(settings.log_file, LogFile());
    EXPECT_TRUE(processor.mailboxes().empty());
    EXPECT_TRUE(processor.agents().empty());
    ASSERT_EQ(sink_.lines.size(), 1u);
    EXPECT_THAT(sink_.lines[0], MatchesRegex(kStartedPattern));
  }
  EXPECT_THAT(Lines(ReadWholeFile(LogFile())), ElementsAre(MatchesRegex(kStartedPattern)));
}

TEST_F(MailProcessorTest, TwoStartUpsAppendToTheSameLog) {
  for (int run = 0; run < 2; ++run) {
    MailProcessor processor;
    Configure(processor);
    processor.LoadConfiguration();
    processor.Log("line " + std::to_string(run));
  }
  EXPECT_THAT(Lines(ReadWholeFile(LogFile())),
              ElementsAre(MatchesRegex(kStartedPattern), "line 0", MatchesRegex(kStartedPattern),
                          "line 1"));
}

TEST_F(MailProcessorTest, LogFileIsPrivateToItsOwner) {
  MailProcessor processor;
  Configure(processor);
  processor.LoadConfiguration();
  struct stat info {};
  ASSERT_EQ(stat(LogFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(MailProcessorTest, UnopenableLogFileGivesTheWarningAndGoesOn) {
  std::string missing = base_.File("no/such/folder/quor.log");
  WriteWholeFile(profile_.File("quor.INI"), "[Settings]\nLogfile=" + missing + "\n");
  MailProcessor processor;
  Configure(processor);
  EXPECT_EQ(processor.LoadConfiguration(), 1);
  ASSERT_EQ(sink_.lines.size(), 2u);
  EXPECT_EQ(sink_.lines[0], "Warning: Unable to open log file (" + missing + ")");
  EXPECT_THAT(sink_.lines[1], MatchesRegex(kStartedPattern));
  processor.Log("still logging");
  EXPECT_EQ(sink_.lines.back(), "still logging");
}

TEST_F(MailProcessorTest, LoggingOffTouchesNoFileButStillShowsLines) {
  WriteWholeFile(profile_.File("quor.INI"), "[Settings]\nEnableLog=0\n");
  MailProcessor processor;
  Configure(processor);
  processor.LoadConfiguration();
  EXPECT_FALSE(FileExists(LogFile()));
  ASSERT_EQ(sink_.lines.size(), 1u);
  EXPECT_THAT(sink_.lines[0], MatchesRegex(kStartedPattern));
}

TEST_F(MailProcessorTest, SwitchingLoggingOffInSetupStopsWritingAtOnce) {
  MailProcessor processor;
  Configure(processor);
  processor.LoadConfiguration();
  Settings settings = processor.settings();
  settings.log_to_file = 0;
  processor.InstallConfiguration(settings, processor.mailboxes(), processor.agents());
  processor.Log("window only");
  EXPECT_EQ(sink_.lines.back(), "window only");
  EXPECT_EQ(ReadWholeFile(LogFile()).find("window only"), std::string::npos);
}

TEST_F(MailProcessorTest, EmptyMailboxListMakesNoPass) {
  MailProcessor processor;
  Configure(processor);
  processor.LoadConfiguration();
  size_t before = sink_.lines.size();
  EXPECT_EQ(processor.RunPass(), -1);
  EXPECT_EQ(sink_.lines.size(), before);
  EXPECT_FALSE(processor.in_progress());
}

TEST_F(MailProcessorTest, SaveWritesTheDefaultLogPathAndTheMailboxes) {
  {
    MailProcessor processor;
    Configure(processor);
    processor.LoadConfiguration();
    std::vector<MailboxAccount> mailboxes(1);
    mailboxes[0].server = "pop.example.org";
    mailboxes[0].user = "ann";
    mailboxes[0].password = "secret";
    processor.InstallConfiguration(processor.settings(), mailboxes, processor.agents());
    EXPECT_NE(processor.SaveConfiguration(), 0);
  }
  MailProcessor reloaded;
  Configure(reloaded);
  reloaded.LoadConfiguration();
  EXPECT_EQ(reloaded.settings().log_file, LogFile());
  ASSERT_EQ(reloaded.mailboxes().size(), 1u);
  EXPECT_EQ(reloaded.mailboxes()[0].Label(), "ann@pop.example.org");
  EXPECT_EQ(reloaded.mailboxes()[0].password, "secret");
  EXPECT_TRUE(FileExists(base_.File("quoragts.ini")));
}

TEST_F(MailProcessorTest, InstallKeepsTheMarkerThatTheProcessorHoldsNow) {
  WriteWholeFile(profile_.File("quor.INI"),
                 "[Settings]\nMailboxCount=2\nPOPServer0=a\nPOPUser0=ann\nPOPLastMsg0=uid-7\n"
                 "POPServer1=b\nPOPUser1=bob\nPOPLastMsg1=uid-9\n");
  MailProcessor processor;
  Configure(processor);
  processor.LoadConfiguration();
  // The sheet's copies, edited: ann's server replaced, bob deleted, carl added.
  std::vector<MailboxAccount> edited = processor.mailboxes();
  edited[0].server = "a2";
  edited[0].last_message = "stale copy";
  edited.erase(edited.begin() + 1);
  MailboxAccount carl;
  carl.server = "c";
  carl.user = "carl";
  edited.push_back(carl);
  processor.InstallConfiguration(processor.settings(), edited, {});
  auto installed = processor.mailboxes();
  ASSERT_EQ(installed.size(), 2u);
  EXPECT_EQ(installed[0].server, "a2");
  EXPECT_EQ(installed[0].last_message, "uid-7");
  EXPECT_EQ(installed[1].user, "carl");
  EXPECT_EQ(installed[1].last_message, "");
  EXPECT_NE(installed[1].id, 0u);
  EXPECT_NE(installed[1].id, installed[0].id);
}

TEST_F(MailProcessorTest, ResetEmptiesEveryMarker) {
  WriteWholeFile(profile_.File("quor.INI"),
                 "[Settings]\nMailboxCount=2\nPOPLastMsg0=uid-7\nPOPLastMsg1=uid-9\n");
  MailProcessor processor;
  Configure(processor);
  processor.LoadConfiguration();
  processor.ClearMarkers();
  for (const auto& account : processor.mailboxes()) EXPECT_EQ(account.last_message, "");
}

}  // namespace

}  // namespace quor
