// Run an External Program, end to end: a subject from a real Dovecot reaches
// a script written by the test through the quor program's command line; wait
// on, wait off and a shortened wait limit; programs that cannot be started.

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "app/lifecycle.h"
#include "fixtures/recorder_script.h"
#include "fixtures/recording_sink.h"

namespace quor {

namespace actions_e2e {
namespace {

using ::testing::ElementsAre;

void WriteScript(const std::string& path, const std::string& text, mode_t mode = 0755) {
  WriteWholeFile(path, "#!/bin/sh\n" + text);
  chmod(path.c_str(), mode);
}

class ActionsEndToEndProgram : public EndToEndTest {
 protected:
  ~ActionsEndToEndProgram() override {
    // A gated script still waiting ends now instead of at its own limit.
    WriteWholeFile(Base("gate"), "");
  }

  // Records how it was called; argv.txt beside it gets every call.
  std::string RecorderScript() { return WriteRecorderScript(base_.path()); }

  // Writes its process id to `pid` beside it, waits until the test creates
  // `gate` (at most 30 s, or until its folder goes), then appends "program"
  // to out.txt.
  std::string GatedScript() const { return Base("gated.sh"); }
  void WriteGatedScript() {
    WriteScript(GatedScript(), R"sh(exec >/dev/null 2>&1
cd "$(dirname "$0")" || exit 1
echo $$ > pid.tmp && mv pid.tmp pid
i=0
while [ ! -e gate ] && [ -e gated.sh ] && [ $i -lt 600 ]; do
  sleep 0.05; i=$((i+1))
done
printf 'program\n' >> out.txt
)sh");
  }

  // The gated program, then a line "saved" appended to the same out.txt: the
  // file's order tells whether the pass waited for the program.
  MailAgent GatedAgent(const std::string& wait) {
    WriteGatedScript();
    return Agent("Gate", {Action(ActionType::kRunProgram,
                                 {{"program", GatedScript()}, {"arguments", ""}, {"wait", wait}}),
                          Action(ActionType::kSaveData, {{"outfile", Base("out.txt")},
                                                         {"append", "1"},
                                                         {"savemethod", "2"},
                                                         {"linecount", "1"},
                                                         {"line0", "saved"}})});
  }

  std::string Out() { return ReadWholeFile(Base("out.txt")); }
};

TEST_F(ActionsEndToEndProgram, SubjectArrivesAsOneArgumentAndIsNeverInterpreted) {
  // Were the line given to a shell, these would run commands, expand
  // variables and names, and redirect; were the subject split, its blanks and
  // quotes would add arguments. HOME and PATH point into the test's folder,
  // so even then nothing outside it could be touched, and a fake "reboot"
  // would tell.
  std::string redirected = Base("redirected");
  const std::vector<std::string> subjects = {
      "plain words  here",          "a; rm -rf ~",
      "$(reboot) `reboot` * $HOME", "x > " + redirected + " & | cat",
      "\"two words\" and \"\" end", "back\\slash \\\"quoted\\\" trail\\\\",
      "even\\\\\"grouped words\"",
  };
  for (const std::string& subject : subjects) Deliver(PlainMessage(subject, "x\n"));
  std::string script = RecorderScript();
  std::filesystem::create_directories(Base("home"));
  std::filesystem::create_directories(Base("bin"));
  WriteWholeFile(Base("home/keep.txt"), "still here");
  WriteScript(Base("bin/reboot"), "touch '" + Base("rebooted") + "'\n");
  const std::string mark = "mark $HOME; `id` \"q\"";

  Lines lines = RunQuor(
      {Agent("Runner",
             {Action(ActionType::kRunProgram,
                     {{"program", script}, {"arguments", "--subject {Subject}"}, {"wait", "1"}})})},
      {},
      {{"QUOR_E2E_MARK", mark}, {"HOME", Base("home")}, {"PATH", Base("bin") + ":/usr/bin:/bin"}});

  std::string expected_record;
  for (size_t i = 0; i < subjects.size(); ++i) {
    SCOPED_TRACE(subjects[i]);
    EXPECT_THAT(AgentRun(lines, "Runner", static_cast<int>(i + 1)),
                ElementsAre("--> Executing program...", script + " --subject " + subjects[i]));
    expected_record += "--subject\n" + subjects[i] + "\nMARK=" + mark + "\n--\n";
  }
  // With wait on, every program has ended before quor did.
  EXPECT_EQ(ReadWholeFile(Base("argv.txt")), expected_record);
  EXPECT_EQ(ReadWholeFile(Base("home/keep.txt")), "still here");
  EXPECT_FALSE(FileExists(Base("rebooted")));
  EXPECT_FALSE(FileExists(redirected));
}

TEST_F(ActionsEndToEndProgram, WaitOnHoldsThePassUntilTheProgramEnds) {
  Deliver(PlainMessage("wait", "x\n"));
  Configure({GatedAgent("1")});
  std::unique_ptr<ChildProcess> quor = StartQuor();
  ASSERT_TRUE(WaitUntil([&] { return FileExists(Base("pid")); })) << quor->Output();
  // The program runs and the pass waits for it: the next action has not run.
  EXPECT_FALSE(FileExists(Base("out.txt")));
  WriteWholeFile(Base("gate"), "");
  Lines lines = FinishQuor(*quor);
  EXPECT_EQ(Out(), "program\nsaved");
  EXPECT_THAT(
      AgentRun(lines, "Gate", 1),
      ElementsAre("--> Executing program...", GatedScript() + " ", "--> Saving message data..."));
}

TEST_F(ActionsEndToEndProgram, WaitOffLetsThePassEndWhileTheProgramRuns) {
  Deliver(PlainMessage("no wait", "x\n"));
  // quor finishes its pass and exits while the program waits for the gate.
  Lines lines = RunQuor({GatedAgent("0")});
  EXPECT_EQ(Out(), "saved");
  EXPECT_THAT(
      AgentRun(lines, "Gate", 1),
      ElementsAre("--> Executing program...", GatedScript() + " ", "--> Saving message data..."));
  WriteWholeFile(Base("gate"), "");
  EXPECT_TRUE(WaitUntil([&] { return Out() == "savedprogram\n"; })) << Out();
}

// In the processor itself, to shorten the wait limit: a program that outlives
// it lets the pass go on, runs on, and is collected when it ends.
TEST_F(ActionsEndToEndProgram, ProgramOutlivingTheWaitLimitLeavesNoZombie) {
  Deliver(PlainMessage("slow", "x\n"));
  RecordingSink sink;
  DriverHooks hooks;
  StartupOptions options;
  options.base_directory = base_.path();
  options.profile_path = Base("quor.INI");
  options.timings = {.pop_reply_wait_seconds = 10,
                     .smtp_reply_wait_seconds = 10,
                     .program_wait_milliseconds = 300};
  Lifecycle app(options, &sink, hooks);
  app.LoadConfiguration();
  MailboxAccount account;
  account.server = Dovecot().host_text();
  account.user = user_;
  account.password = kPassword;
  app.store().Install({app.configuration().settings, {account}, {GatedAgent("1")}});

  ASSERT_EQ(app.processor().RunPass(), 0);
  ExpectMailboxOpened(sink.lines);
  // The gate is still closed, so the program is still running.
  EXPECT_THAT(
      AgentRun(sink.lines, "Gate", 1),
      ElementsAre("--> Executing program...", GatedScript() + " ", "--> Saving message data..."));
  EXPECT_EQ(sink.lines.back(), "Processing completed.");
  EXPECT_EQ(Out(), "saved");
  ASSERT_TRUE(WaitUntil([&] { return FileExists(Base("pid")); }));
  std::string pid = SplitLines(ReadWholeFile(Base("pid"))).at(0);
  std::string proc = "/proc/" + pid;
  std::string stat = ReadWholeFile(proc + "/stat");
  ASSERT_FALSE(stat.empty()) << "the program ended before the gate opened";
  EXPECT_EQ(stat.find(") Z "), std::string::npos) << stat;

  WriteWholeFile(Base("gate"), "");
  EXPECT_TRUE(WaitUntil([&] { return Out() == "savedprogram\n"; })) << Out();
  // Ended and collected: not even a zombie is left.
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(proc); })) << ReadWholeFile(proc + "/stat");
}

TEST_F(ActionsEndToEndProgram, ProgramsThatCannotStartAreReportedAndThePassGoesOn) {
  Deliver(PlainMessage("Try these", "x\n"));
  std::string folder = Base("programs");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  std::string not_executable = Base("not-executable.sh");
  WriteScript(not_executable, "touch '" + Base("ran") + "'\n", 0644);
  std::string missing = Base("no/such/program");
  std::vector<AgentAction> actions;
  for (const std::string& program : {folder, not_executable, missing}) {
    actions.push_back(Action(ActionType::kRunProgram,
                             {{"program", program}, {"arguments", "{Subject}"}, {"wait", "1"}}));
  }
  actions.push_back(Action(ActionType::kSaveData, {{"outfile", Base("after.txt")},
                                                   {"savemethod", "2"},
                                                   {"linecount", "1"},
                                                   {"line0", "{Subject}"}}));

  Lines lines = RunQuor({Agent("Runner", actions)});

  Lines expected;
  for (const std::string& program : {folder, not_executable, missing}) {
    expected.insert(expected.end(), {"--> Executing program...", program + " Try these",
                                     "ERROR: Executing program (" + program + ") - Code 0"});
  }
  expected.push_back("--> Saving message data...");
  EXPECT_EQ(AgentRun(lines, "Runner", 1), expected);
  EXPECT_EQ(ReadWholeFile(Base("after.txt")), "Try these");
  EXPECT_FALSE(FileExists(Base("ran")));
}

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
