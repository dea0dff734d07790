// Ordinary faults end to end, against a real Dovecot and aiosmtpd: a forward
// that fails before a Delete, quor killed in the middle of a pass, a profile
// that cannot be saved, a mailbox that cannot be checked, logrotate's SIGHUP.
// Nothing may be lost, nothing finished may run twice, and the exit status of
// --once tells cron what happened.

#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "fixtures/read_only_folder.h"
#include "fixtures/row_name.h"

namespace quor {

namespace actions_e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kKept[] = "--> Message kept on the server: an earlier action failed.";

// An executable shell script.
std::string Script(const std::string& path, const std::string& body) {
  WriteWholeFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

class ActionsEndToEndFaults : public EndToEndTest {
 protected:
  // Waits for a run that is expected to end with `status`; the lines it
  // printed, which must be the lines it appended to the log file.
  Lines FinishWithStatus(ChildProcess& quor, int status, size_t log_before) {
    EXPECT_EQ(quor.Wait(kRunLimit), status) << quor.Errors() << quor.Output();
    std::string output = quor.Output();
    EXPECT_EQ(ReadWholeFile(LogPath()).substr(log_before), output);
    return SplitLines(output);
  }
  // Replaces the profile line Configure wrote that starts with `start`.
  void EditProfile(const std::string& start, const std::string& replacement) {
    std::string profile = ReadWholeFile(ProfilePath());
    size_t at = profile.find("\n" + start);
    ASSERT_NE(at, std::string::npos) << profile;
    size_t end = profile.find('\n', at + 1);
    WriteWholeFile(ProfilePath(), profile.replace(at + 1, end - at - 1, replacement));
  }
};

TEST_F(ActionsEndToEndFaults, AFailedForwardKeepsTheMessageAndAForwardThatWorksLetsDeleteGoOn) {
  Deliver(PlainMessage("Order 1", "first\n"));
  Deliver(PlainMessage("Order 2", "second\n"));
  MailAgent archive = Agent("Archive", {Action(ActionType::kForward, {{"mailto", "a@example.net"}}),
                                        Action(ActionType::kDelete)});
  Settings settings;
  settings.email_address = "agent@example.com";
  settings.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());

  Lines lines = RunQuor({archive}, settings);
  for (int message : {1, 2}) {
    EXPECT_THAT(AgentRun(lines, "Archive", message),
                ElementsAre("--> Forwarding message...",
                            "ERROR - Failed to connect to SMTP server.", kKept));
  }
  EXPECT_EQ(Dovecot().Count(user_), 2);

  settings.smtp_server = Smtp().host_text();
  size_t before = Smtp().MessageCount();
  lines = RunQuor({archive}, settings);  // the profile again without a marker
  for (int message : {1, 2}) {
    EXPECT_THAT(AgentRun(lines, "Archive", message),
                ElementsAre("--> Forwarding message...", "[SMTP] From: <ann@example.org>",
                            "[SMTP] To: <a@example.net>", "--> Deleting message..."));
  }
  EXPECT_TRUE(Smtp().WaitForMessages(before + 2));
  EXPECT_EQ(Dovecot().Count(user_), 0);
}

TEST_F(ActionsEndToEndFaults, KilledInTheMiddleOfAPassOnlyTheMessageInHandIsHandledAgain) {
  for (int i = 1; i <= 10; ++i) Deliver(PlainMessage("m" + std::to_string(i), "x\n"));
  // Records every message it sees; at message 5, the first time, it kills
  // quor (its parent) the way the OOM killer would.
  std::string recorder =
      Script(Base("record.sh"), "echo \"$1\" >> '" + Base("handled.txt") +
                                    "'\n"
                                    "if [ \"$1\" = m5 ] && [ ! -e '" +
                                    Base("killed") + "' ]; then : > '" + Base("killed") +
                                    "'; kill -KILL $PPID; fi\n");
  MailAgent agent = Agent(
      "Recorder", {Action(ActionType::kRunProgram,
                          {{"program", recorder}, {"arguments", "{Subject}"}, {"wait", "1"}})});
  Configure({agent});
  std::unique_ptr<ChildProcess> killed = StartQuor();
  EXPECT_EQ(killed->Wait(kRunLimit), 128 + SIGKILL) << killed->Errors();
  ASSERT_TRUE(FileExists(Base("killed")));
  // The profile is one whole version or the other, never a mixture.
  EXPECT_THAT(ReadWholeFile(ProfilePath()), HasSubstr("POPPassword0=secret\n"));

  std::unique_ptr<ChildProcess> again = StartQuor();
  Lines lines = FinishQuor(*again);
  EXPECT_THAT(lines, Contains("--> 6 new messages found."));

  std::map<std::string, int> handled;
  for (const std::string& subject : SplitLines(ReadWholeFile(Base("handled.txt")))) {
    ++handled[subject];
  }
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(handled["m" + std::to_string(i)], i == 5 ? 2 : 1) << "m" << i;
  }
  EXPECT_EQ(handled.size(), 10u);
}

struct ExitCase {
  const char* name;
  const char* profile_line;  // the start of a profile line replaced ("" for none)
  const char* replacement;
  bool read_only_profile_folder;
  int status;
  const char* line;  // logged by the run (a prefix of it)
};

class ExitStatusTest : public ActionsEndToEndFaults,
                       public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitStatusTest, OnceSaysWhetherEveryMailboxWasCheckedAndSaved) {
  const ExitCase& row = GetParam();
  TempDir profile_folder;
  profile_ = profile_folder.File("quor.INI");
  Deliver(PlainMessage("Hello", "x\n"));
  Configure({});
  std::string line = row.line;
  if (*row.profile_line != '\0') {
    std::string replacement = row.replacement;
    if (replacement == "closed port") {
      replacement = "POPServer0=127.0.0.1:" + std::to_string(FreeLoopbackPort());
    }
    EditProfile(row.profile_line, replacement);
  }
  std::unique_ptr<ReadOnlyFolder> read_only;
  if (row.read_only_profile_folder) {
    read_only = std::make_unique<ReadOnlyFolder>(profile_folder.path());
    if (!read_only->active()) GTEST_SKIP() << "no way to make a folder read-only here";
    line += profile_ + ")";
  }
  size_t log_before = ReadWholeFile(LogPath()).size();
  std::unique_ptr<ChildProcess> quor = StartQuor();
  Lines lines = FinishWithStatus(*quor, row.status, log_before);
  EXPECT_THAT(lines, Contains(::testing::StartsWith(line))) << ::testing::PrintToString(lines);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ExitStatusTest,
    ::testing::Values(
        ExitCase{"every mailbox checked and saved", "", "", false, 0, "Processing completed."},
        ExitCase{"server not reachable", "POPServer0=127.0.0.1", "closed port", false, 1,
                 "ERROR - Failed to connect to POP server."},
        ExitCase{"login refused", "POPPassword0=secret", "POPPassword0=wrong", false, 1, "-ERR"},
        ExitCase{"profile folder takes no files", "", "", true, 1,
                 "ERROR: Unable to save the configuration ("}),
    NameRowsBy(&ExitCase::name));

TEST_F(ActionsEndToEndFaults, SighupReopensTheLogFileAndThePassGoesOn) {
  Deliver(PlainMessage("Rotate", "x\n"));
  // Holds the pass until the test opens the gate.
  std::string gate = Base("gate");
  std::string waiter =
      Script(Base("wait.sh"), "while [ ! -e '" + gate + "' ]; do sleep 0.05; done\n");
  Configure(
      {Agent("Waiter", {Action(ActionType::kRunProgram, {{"program", waiter}, {"wait", "1"}})})});
  ChildProcess quor(QUOR_BINARY,
                    {"--headless", "--base-dir", base_.path(), "--profile", ProfilePath()},
                    {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  ASSERT_TRUE(quor.WaitForOutput(waiter + " \n")) << quor.Output() << quor.Errors();

  // What logrotate does: move the file away, then SIGHUP.
  std::filesystem::rename(LogPath(), LogPath() + ".1");
  quor.Signal(SIGHUP);
  ASSERT_TRUE(WaitUntil([&] { return FileExists(LogPath()); })) << quor.Output();
  WriteWholeFile(gate, "");
  ASSERT_TRUE(quor.WaitForOutput("Processing completed.\n")) << quor.Output();
  quor.Signal(SIGTERM);
  EXPECT_EQ(quor.Wait(kRunLimit), 0) << quor.Errors();

  Lines rotated = SplitLines(ReadWholeFile(LogPath() + ".1"));
  ASSERT_FALSE(rotated.empty());
  EXPECT_EQ(rotated.back(), waiter + " ");
  EXPECT_THAT(SplitLines(ReadWholeFile(LogPath())), ElementsAre("Processing completed."));
}

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
