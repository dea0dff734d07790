#include "app/lifecycle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <sstream>

#include "fixtures/recording_sink.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Loading, logging and saving of a quor's life, without passes.
class LifecycleTest : public ::testing::Test {
 protected:
  StartupOptions Options() const {
    StartupOptions options;
    options.base_directory = base_.path();
    options.profile_path = profile_.File("quor.INI");
    return options;
  }
  std::string LogFile() const { return base_.File("quor.log"); }

  TempDir base_;
  TempDir profile_;
  RecordingSink sink_;
  DriverHooks hooks_;
};

constexpr const char* kStartedPattern =
    R"(\[[A-Z][a-z][a-z] [A-Z][a-z][a-z] [0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9] [0-9]{4}\] - Started\.)";

TEST_F(LifecycleTest, FirstStartWithoutFilesUsesDefaultsAndCreatesTheLog) {
  {
    Lifecycle app(Options(), &sink_, hooks_);
    app.LoadConfiguration();
    Settings settings = app.configuration().settings;
    EXPECT_EQ(settings.check_interval_minutes, 10);
    EXPECT_EQ(settings.size_limit_kilobytes, 0);
    EXPECT_TRUE(settings.log_to_file);
    EXPECT_FALSE(settings.exit_after_check);
    EXPECT_EQ(settings.log_file, LogFile());
    EXPECT_TRUE(app.configuration().mailboxes.empty());
    EXPECT_TRUE(app.configuration().agents.empty());
    ASSERT_EQ(sink_.lines.size(), 1u);
    EXPECT_THAT(sink_.lines[0], MatchesRegex(kStartedPattern));
  }
  EXPECT_THAT(Lines(ReadWholeFile(LogFile())), ElementsAre(MatchesRegex(kStartedPattern)));
}

TEST_F(LifecycleTest, TwoStartUpsAppendToTheSameLog) {
  for (int run = 0; run < 2; ++run) {
    Lifecycle app(Options(), &sink_, hooks_);
    app.LoadConfiguration();
    app.log().AddLine("line " + std::to_string(run));
  }
  EXPECT_THAT(Lines(ReadWholeFile(LogFile())),
              ElementsAre(MatchesRegex(kStartedPattern), "line 0", MatchesRegex(kStartedPattern),
                          "line 1"));
}

TEST_F(LifecycleTest, LogFileIsPrivateToItsOwner) {
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  struct stat info {};
  ASSERT_EQ(stat(LogFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(LifecycleTest, UnopenableLogFileGivesTheWarningAndGoesOn) {
  std::string missing = base_.File("no/such/folder/quor.log");
  WriteWholeFile(profile_.File("quor.INI"), "[Settings]\nLogfile=" + missing + "\n");
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  ASSERT_EQ(sink_.lines.size(), 2u);
  EXPECT_EQ(sink_.lines[0], "Warning: Unable to open log file (" + missing + ")");
  EXPECT_THAT(sink_.lines[1], MatchesRegex(kStartedPattern));
  app.log().AddLine("still logging");
  EXPECT_EQ(sink_.lines.back(), "still logging");
}

TEST_F(LifecycleTest, LoggingOffTouchesNoFileButStillShowsLines) {
  WriteWholeFile(profile_.File("quor.INI"), "[Settings]\nEnableLog=0\n");
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  EXPECT_FALSE(FileExists(LogFile()));
  ASSERT_EQ(sink_.lines.size(), 1u);
  EXPECT_THAT(sink_.lines[0], MatchesRegex(kStartedPattern));
}

TEST_F(LifecycleTest, SwitchingLoggingOffInSetupStopsWritingAtOnce) {
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  Settings settings = app.configuration().settings;
  settings.log_to_file = false;
  app.InstallConfiguration({settings, app.configuration().mailboxes, {}});
  app.log().AddLine("window only");
  EXPECT_EQ(sink_.lines.back(), "window only");
  EXPECT_EQ(ReadWholeFile(LogFile()).find("window only"), std::string::npos);
}

TEST_F(LifecycleTest, EmptyMailboxListMakesNoPass) {
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  size_t before = sink_.lines.size();
  EXPECT_EQ(app.processor().RunPass(), -1);
  EXPECT_EQ(sink_.lines.size(), before);
  EXPECT_FALSE(app.processor().in_progress());
}

TEST_F(LifecycleTest, SaveWritesTheDefaultLogPathAndTheMailboxes) {
  {
    Lifecycle app(Options(), &sink_, hooks_);
    app.LoadConfiguration();
    std::vector<MailboxAccount> mailboxes(1);
    mailboxes[0].server = "pop.example.org";
    mailboxes[0].user = "ann";
    mailboxes[0].password = "secret";
    app.store().Install({app.configuration().settings, mailboxes, {}});
    EXPECT_TRUE(app.SaveConfiguration());
  }
  Lifecycle reloaded(Options(), &sink_, hooks_);
  reloaded.LoadConfiguration();
  EXPECT_EQ(reloaded.configuration().settings.log_file, LogFile());
  ASSERT_EQ(reloaded.configuration().mailboxes.size(), 1u);
  EXPECT_EQ(reloaded.configuration().mailboxes[0].Label(), "ann@pop.example.org");
  EXPECT_EQ(reloaded.configuration().mailboxes[0].password, "secret");
  EXPECT_TRUE(FileExists(base_.File("quoragts.ini")));
}

TEST_F(LifecycleTest, InstallKeepsTheMarkerThatTheProcessorHoldsNow) {
  WriteWholeFile(profile_.File("quor.INI"),
                 "[Settings]\nMailboxCount=2\nPOPServer0=a\nPOPUser0=ann\nPOPLastMsg0=uid-7\n"
                 "POPServer1=b\nPOPUser1=bob\nPOPLastMsg1=uid-9\n");
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  // The sheet's copies, edited: ann's server replaced, bob deleted, carl added.
  std::vector<MailboxAccount> edited = app.configuration().mailboxes;
  edited[0].server = "a2";
  edited[0].last_message = "stale copy";
  edited.erase(edited.begin() + 1);
  MailboxAccount carl;
  carl.server = "c";
  carl.user = "carl";
  edited.push_back(carl);
  app.store().Install({app.configuration().settings, edited, {}});
  auto installed = app.configuration().mailboxes;
  ASSERT_EQ(installed.size(), 2u);
  EXPECT_EQ(installed[0].server, "a2");
  EXPECT_EQ(installed[0].last_message, "uid-7");
  EXPECT_EQ(installed[1].user, "carl");
  EXPECT_EQ(installed[1].last_message, "");
  EXPECT_NE(installed[1].id, 0u);
  EXPECT_NE(installed[1].id, installed[0].id);
}

TEST_F(LifecycleTest, ResetEmptiesEveryMarker) {
  WriteWholeFile(profile_.File("quor.INI"),
                 "[Settings]\nMailboxCount=2\nPOPLastMsg0=uid-7\nPOPLastMsg1=uid-9\n");
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  app.store().ClearMarkers();
  for (const auto& account : app.configuration().mailboxes) EXPECT_EQ(account.last_message, "");
}

}  // namespace

}  // namespace quor
