#include "app/lifecycle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "config/file_size_limit.h"
#include "fixtures/read_only_folder.h"
#include "fixtures/recording_sink.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::Not;

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
  // What a start without any mailbox adds after "Started.".
  std::string NoMailboxes() const {
    return "No mailboxes are configured: add one in Setup, or in " + profile_.File("quor.INI") +
           ".";
  }

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
    EXPECT_THAT(sink_.lines, ElementsAre(MatchesRegex(kStartedPattern), NoMailboxes()));
  }
  EXPECT_THAT(Lines(ReadWholeFile(LogFile())),
              ElementsAre(MatchesRegex(kStartedPattern), NoMailboxes()));
}

TEST_F(LifecycleTest, TwoStartUpsAppendToTheSameLog) {
  for (int run = 0; run < 2; ++run) {
    Lifecycle app(Options(), &sink_, hooks_);
    app.LoadConfiguration();
    app.log().AddLine("line " + std::to_string(run));
  }
  EXPECT_THAT(Lines(ReadWholeFile(LogFile())),
              ElementsAre(MatchesRegex(kStartedPattern), NoMailboxes(), "line 0",
                          MatchesRegex(kStartedPattern), NoMailboxes(), "line 1"));
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
  EXPECT_THAT(sink_.lines, ElementsAre("Warning: Unable to open log file (" + missing + ")",
                                       MatchesRegex(kStartedPattern), NoMailboxes()));
  app.log().AddLine("still logging");
  EXPECT_EQ(sink_.lines.back(), "still logging");
}

TEST_F(LifecycleTest, LoggingOffTouchesNoFileButStillShowsLines) {
  WriteWholeFile(profile_.File("quor.INI"), "[Settings]\nEnableLog=0\n");
  Lifecycle app(Options(), &sink_, hooks_);
  app.LoadConfiguration();
  EXPECT_FALSE(FileExists(LogFile()));
  EXPECT_THAT(sink_.lines, ElementsAre(MatchesRegex(kStartedPattern), NoMailboxes()));
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

// ---- Faults: the base folder taken, progress after a kill, saves that fail,
// agents files not understood ----

TEST_F(LifecycleTest, ASecondQuorOnTheSameBaseFolderStopsBeforeWritingAnything) {
  Lifecycle first(Options(), &sink_, hooks_);
  ASSERT_TRUE(first.LoadConfiguration());
  std::string log_before = ReadWholeFile(LogFile());
  std::string profile_before = ReadWholeFile(profile_.File("quor.INI"));

  RecordingSink second_sink;
  {
    Lifecycle second(Options(), &second_sink, hooks_);
    EXPECT_FALSE(second.LoadConfiguration());
    const std::string error =
        "ERROR: Another quor is already running with the base folder " + base_.path() + ".";
    EXPECT_THAT(second_sink.lines, ElementsAre(error));
    EXPECT_EQ(second.start_error(), error);
    EXPECT_FALSE(second.FinishExit());
    EXPECT_EQ(second.ExitStatus(), 1);
  }
  EXPECT_EQ(ReadWholeFile(LogFile()), log_before);
  EXPECT_EQ(ReadWholeFile(profile_.File("quor.INI")), profile_before);
}

TEST_F(LifecycleTest, TheBaseFolderIsFreeAgainOnceTheOtherQuorHasGone) {
  {
    Lifecycle first(Options(), &sink_, hooks_);
    ASSERT_TRUE(first.LoadConfiguration());
  }
  Lifecycle next(Options(), &sink_, hooks_);
  EXPECT_TRUE(next.LoadConfiguration());
}

TEST_F(LifecycleTest, ProgressLeftByAKilledRunReachesTheProfileAtStartUp) {
  WriteWholeFile(profile_.File("quor.INI"),
                 "[Settings]\nMailboxCount=1\nPOPServer0=pop.example.org\nPOPUser0=ann\n"
                 "POPLastMsg0=uid-1\n");
  {
    // What a pass records before it is killed: the journal alone has it.
    ConfigurationStore store;
    Configuration killed = ConfigurationFiles(profile_.File("quor.INI"), base_.path()).Load();
    store.Load(killed);
    ProgressJournal journal(base_.File("quor.progress"));
    ASSERT_TRUE(journal.Record(store, store.Snapshot().mailboxes[0], "uid-4"));
  }
  Lifecycle app(Options(), &sink_, hooks_);
  ASSERT_TRUE(app.LoadConfiguration());
  EXPECT_EQ(app.configuration().mailboxes[0].last_message, "uid-4");
  EXPECT_THAT(ReadWholeFile(profile_.File("quor.INI")),
              ::testing::HasSubstr("POPLastMsg0=uid-4\n"));
  EXPECT_EQ(ReadWholeFile(base_.File("quor.progress")), "");
}

TEST_F(LifecycleTest, AFullDiskIsReportedForTheFileThatDidNotFit) {
  Lifecycle app(Options(), &sink_, hooks_);
  ASSERT_TRUE(app.LoadConfiguration());
  bool saved = true;
  {
    // The profile holds more than this, the empty agents file less.
    FileSizeLimit limit(64);
    saved = app.FinishExit();
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(sink_.lines.back(),
            "ERROR: Unable to save the configuration (" + profile_.File("quor.INI") + ")");
  EXPECT_THAT(sink_.lines, Not(Contains(::testing::HasSubstr("quoragts.ini"))));
  EXPECT_EQ(app.ExitStatus(), 1);
}

TEST_F(LifecycleTest, AProfileFolderThatTakesNoFilesIsReportedAtEverySave) {
  WriteWholeFile(profile_.File("quor.INI"), "[Settings]\nPOPDelay=5\n");
  ReadOnlyFolder read_only(profile_.path());
  if (!read_only.active()) GTEST_SKIP() << "no way to make a folder read-only here";
  Lifecycle app(Options(), &sink_, hooks_);
  ASSERT_TRUE(app.LoadConfiguration());
  const std::string error =
      "ERROR: Unable to save the configuration (" + profile_.File("quor.INI") + ")";
  EXPECT_FALSE(app.InstallConfiguration(app.configuration()));
  EXPECT_FALSE(app.FinishExit());
  EXPECT_EQ(std::count(sink_.lines.begin(), sink_.lines.end(), error), 2);
  EXPECT_EQ(ReadWholeFile(profile_.File("quor.INI")), "[Settings]\nPOPDelay=5\n");
}

struct AgentsFileCase {
  const char* name;
  const char* content;  // "/": a folder in its place
  bool understood;
};

class LifecycleAgentsFileTest : public LifecycleTest,
                                public ::testing::WithParamInterface<AgentsFileCase> {
 protected:
  std::string AgentsPath() const { return base_.File("quoragts.ini"); }
  std::string Warning() const {
    return "WARNING: The agents file " + AgentsPath() +
           " was not understood and will not be overwritten.";
  }
};

TEST_P(LifecycleAgentsFileTest, ExitLeavesAFileNotUnderstoodAloneAndSetupReplacesIt) {
  const AgentsFileCase& row = GetParam();
  bool folder = std::string(row.content) == "/";
  if (folder) {
    ASSERT_EQ(mkdir(AgentsPath().c_str(), 0700), 0);
  } else {
    WriteWholeFile(AgentsPath(), row.content);
  }
  {
    Lifecycle app(Options(), &sink_, hooks_);
    ASSERT_TRUE(app.LoadConfiguration());
    EXPECT_EQ(std::count(sink_.lines.begin(), sink_.lines.end(), Warning()),
              row.understood ? 0 : 1);
    EXPECT_TRUE(app.FinishExit());
  }
  if (row.understood || folder) return;
  EXPECT_EQ(ReadWholeFile(AgentsPath()), row.content);
  EXPECT_FALSE(FileExists(AgentsPath() + ".bak"));

  // Setup's OK is the user's word: the file is replaced, after its backup.
  Lifecycle app(Options(), &sink_, hooks_);
  ASSERT_TRUE(app.LoadConfiguration());
  EXPECT_TRUE(app.InstallConfiguration(app.configuration()));
  EXPECT_EQ(ReadWholeFile(AgentsPath() + ".bak"), row.content);
  EXPECT_EQ(ReadWholeFile(AgentsPath()), "[Agents]\nAgentCount=0.\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, LifecycleAgentsFileTest,
    ::testing::Values(AgentsFileCase{"one agent", "[Agents]\nAgentCount=1.\n[Agent0]\nName=A.\n",
                                     true},
                      AgentsFileCase{"hand edit without the count",
                                     "[Agent0]\nName=Orders.\nEnabled=1.\n", false},
                      AgentsFileCase{"a folder in its place", "/", false}),
    [](const ::testing::TestParamInfo<AgentsFileCase>& info) {
      return RowName(info.index, info.param.name);
    });

}  // namespace

}  // namespace quor
