// The quor program itself, run the way users run it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fixtures/child_process.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::HasSubstr;

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class QuorBinaryTest : public ::testing::Test {
 protected:
  std::vector<std::string> Arguments(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"--base-dir", base_.path(), "--profile", Profile()};
    arguments.insert(arguments.begin(), extra.begin(), extra.end());
    return arguments;
  }
  std::string Profile() const { return config_.File("quor/quor.INI"); }
  // No display: the tests never open a window.
  std::map<std::string, std::optional<std::string>> Headless() {
    return {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
  }

  TempDir base_;
  TempDir config_;
};

TEST_F(QuorBinaryTest, TwoRunsAppendTwoStartLinesAndLeaveCleanFiles) {
  for (int run = 0; run < 2; ++run) {
    ChildProcess quor(QUOR_BINARY, Arguments({"--headless", "--once"}), Headless());
    // Nothing to check is a fault cron should hear of.
    ASSERT_EQ(quor.Wait(), 1) << quor.Errors();
    EXPECT_THAT(quor.Output(), HasSubstr("] - Started.\nNo mailboxes are configured: add one in "
                                         "Setup, or in " +
                                         Profile() + ".\n"));
  }
  std::string log = ReadWholeFile(base_.File("quor.log"));
  EXPECT_EQ(CountOf(log, "] - Started.\n"), 2u);

  std::string profile = ReadWholeFile(Profile());
  EXPECT_THAT(profile, HasSubstr("[Settings]"));
  EXPECT_THAT(profile, HasSubstr("Logfile=" + base_.File("quor.log")));
  EXPECT_THAT(profile, HasSubstr("MailboxCount=0"));
  struct stat info {};
  ASSERT_EQ(stat(Profile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  EXPECT_EQ(ReadWholeFile(base_.File("quoragts.ini")), "[Agents]\nAgentCount=0.\n");
  // The second save backed up the first one's file.
  EXPECT_EQ(ReadWholeFile(base_.File("quoragts.ini.bak")), "[Agents]\nAgentCount=0.\n");
}

TEST_F(QuorBinaryTest, BadCommandLinesExitWithStatusTwo) {
  for (auto arguments : std::vector<std::vector<std::string>>{{"--frobnicate"}, {"--base-dir"}}) {
    ChildProcess quor(QUOR_BINARY, arguments, Headless());
    EXPECT_EQ(quor.Wait(), 2);
    std::string errors = quor.Errors();
    EXPECT_THAT(errors, HasSubstr("quor: "));
    EXPECT_THAT(errors, HasSubstr("usage: quor"));
  }
}

TEST_F(QuorBinaryTest, HelpAndVersion) {
  ChildProcess help(QUOR_BINARY, {"--help"}, Headless());
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_THAT(help.Output(), HasSubstr("--headless"));
  EXPECT_THAT(help.Output(), HasSubstr("exit status with --once:\n  0  every mailbox"));
  ChildProcess version(QUOR_BINARY, {"--version"}, Headless());
  EXPECT_EQ(version.Wait(), 0);
  EXPECT_THAT(version.Output(), HasSubstr("Quor Mail Processor"));
}

TEST_F(QuorBinaryTest, TerminationSignalsSaveAndExitCleanly) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    ChildProcess quor(QUOR_BINARY, Arguments(), Headless());
    ASSERT_TRUE(quor.WaitForOutput("] - Started.")) << quor.Errors();
    // Without a display and without --headless it says so and runs headless.
    EXPECT_THAT(quor.Errors(), HasSubstr("running headless"));
    quor.Signal(signal_number);
    EXPECT_EQ(quor.Wait(), 0);
    EXPECT_TRUE(FileExists(Profile()));
  }
}

TEST_F(QuorBinaryTest, ASecondQuorOnTheSameBaseFolderExitsWithStatusOne) {
  ChildProcess first(QUOR_BINARY, Arguments({"--headless"}), Headless());
  ASSERT_TRUE(first.WaitForOutput("No mailboxes are configured")) << first.Errors();
  std::string log = ReadWholeFile(base_.File("quor.log"));

  ChildProcess second(QUOR_BINARY, Arguments({"--headless", "--once"}), Headless());
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_EQ(second.Output(),
            "ERROR: Another quor is already running with the base folder " + base_.path() + ".\n");
  EXPECT_EQ(ReadWholeFile(base_.File("quor.log")), log);

  // A killed quor leaves no lock behind.
  first.Signal(SIGKILL);
  first.Wait();
  ChildProcess third(QUOR_BINARY, Arguments({"--headless", "--once"}), Headless());
  third.Wait();
  EXPECT_THAT(third.Output(), HasSubstr("] - Started."));
}

TEST_F(QuorBinaryTest, AnAgentsFileNotUnderstoodIsLeftAsItIs) {
  const std::string hand_edit = "[Agent0]\nName=Orders.\nEnabled=1.\n";
  WriteWholeFile(base_.File("quoragts.ini"), hand_edit);
  ChildProcess quor(QUOR_BINARY, Arguments({"--headless", "--once"}), Headless());
  quor.Wait();
  EXPECT_THAT(quor.Output(), HasSubstr("WARNING: The agents file " + base_.File("quoragts.ini") +
                                       " was not understood and will not be overwritten.\n"));
  EXPECT_EQ(ReadWholeFile(base_.File("quoragts.ini")), hand_edit);
  EXPECT_FALSE(FileExists(base_.File("quoragts.ini.bak")));
}

TEST_F(QuorBinaryTest, AStandardOutputThatIsGoneNeverStopsTheRunNorTheLogFile) {
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  close(pipe_ends[0]);  // nobody will ever read: every write gets EPIPE
  std::vector<std::string> arguments = Arguments({"--headless", "--once"});
  arguments.insert(arguments.begin(), QUOR_BINARY);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // No display: the environment without it, made before the fork.
  std::vector<char*> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    std::string_view text(*variable);
    if (text.rfind("DISPLAY=", 0) != 0 && text.rfind("WAYLAND_DISPLAY=", 0) != 0) {
      environment.push_back(*variable);
    }
  }
  environment.push_back(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(pipe_ends[1], STDOUT_FILENO);
    execve(QUOR_BINARY, argv.data(), environment.data());
    _exit(127);
  }
  close(pipe_ends[1]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);  // no mailbox, as the log says
  EXPECT_THAT(ReadWholeFile(base_.File("quor.log")), HasSubstr("No mailboxes are configured"));
}

TEST_F(QuorBinaryTest, OnePassAgainstARealServer) {
  DovecotServer server;
  server.AddUser("ann", "secret");
  server.Deliver("ann", "From: a@example.org\nSubject: hello\n\nbody\n");
  WriteWholeFile(base_.File("quoragts.ini"),
                 "[Agents]\r\nAgentCount=1.\r\n[Agent0]\r\nName=Greeter.\r\nEnabled=1.\r\n"
                 "CondCount=1.\r\nCond0.fld=Subject.\r\nCond0.op=is.\r\nCond0.value=hello.\r\n");
  mkdir(config_.File("quor").c_str(), 0700);
  WriteWholeFile(Profile(), "[Settings]\nMailboxCount=1\nPOPServer0=" + server.host_text() +
                                "\nPOPUser0=ann\nPOPPassword0=secret\n");
  ChildProcess quor(QUOR_BINARY, Arguments({"--headless", "--once"}), Headless());
  ASSERT_EQ(quor.Wait(), 0) << quor.Errors();
  std::string output = quor.Output();
  EXPECT_THAT(output, HasSubstr("] - Checking mailbox ann@" + server.host_text() +
                                "...\n"
                                "--> 1 new messages found.\n"
                                "--> Retrieving message 1 of 1...\n"
                                "--> [Agent Greeter]: processing message 1...\n"
                                "Processing completed.\n"));
  // The marker reached the profile through the save on exit.
  EXPECT_THAT(ReadWholeFile(Profile()),
              ::testing::MatchesRegex("(.|\n)*POPLastMsg0=[^\n]+\n(.|\n)*"));
  ChildProcess again(QUOR_BINARY, Arguments({"--headless", "--once"}), Headless());
  ASSERT_EQ(again.Wait(), 0);
  EXPECT_THAT(again.Output(), HasSubstr("--> No new messages found."));
}

// With a display, quor opens the window through its window part, a program of
// its own at QUOR_WINDOW_PART from quor's folder. These run a copy of quor in
// a folder laid out as an installation, with or without the part.
class WindowPartTest : public QuorBinaryTest {
 protected:
  WindowPartTest() {
    std::filesystem::create_directories(layout_.File("bin"));
    std::filesystem::copy_file(QUOR_BINARY, Quor());
    chmod(Quor().c_str(), 0755);
  }
  std::string Quor() const { return layout_.File("bin/quor"); }
  std::string Part() const {
    return std::filesystem::path(layout_.File("bin/" QUOR_WINDOW_PART)).lexically_normal();
  }
  void WritePart(const std::string& script, mode_t mode) {
    std::filesystem::create_directories(std::filesystem::path(Part()).parent_path());
    WriteWholeFile(Part(), script);
    chmod(Part().c_str(), mode);
  }
  std::map<std::string, std::optional<std::string>> WithDisplay() {
    return {{"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", std::nullopt}};
  }

  TempDir layout_;
};

TEST_F(WindowPartTest, WithADisplayQuorBecomesTheWindowPartWithTheSameArguments) {
  // The part stands in for the window: it records what it was given and ends
  // with a status of its own, which becomes quor's.
  WritePart("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/arguments\"\nexit 7\n", 0755);
  ChildProcess quor(Quor(), Arguments(), WithDisplay());
  EXPECT_EQ(quor.Wait(), 7);
  EXPECT_EQ(quor.Errors(), "");
  EXPECT_EQ(quor.Output(), "");
  EXPECT_EQ(ReadWholeFile(std::filesystem::path(Part()).parent_path() / "arguments"),
            "--base-dir\n" + base_.path() + "\n--profile\n" + Profile() + "\n");
}

TEST_F(WindowPartTest, WithoutTheWindowPartQuorSaysSoAndRunsHeadless) {
  ChildProcess quor(Quor(), Arguments(), WithDisplay());
  ASSERT_TRUE(quor.WaitForOutput("] - Started.")) << quor.Errors();
  EXPECT_EQ(quor.Errors(),
            "quor: the desktop window (package quor-desktop) is not installed; "
            "running headless.\n");
  quor.Signal(SIGTERM);
  EXPECT_EQ(quor.Wait(), 0);
}

TEST_F(WindowPartTest, AWindowPartThatCannotStartIsNamedAndQuorRunsHeadless) {
  WritePart("#!/bin/sh\nexit 7\n", 0644);
  ChildProcess quor(Quor(), Arguments(), WithDisplay());
  ASSERT_TRUE(quor.WaitForOutput("] - Started.")) << quor.Errors();
  EXPECT_EQ(quor.Errors(), "quor: cannot start the desktop window " + Part() +
                               ": Permission denied; running headless.\n");
  quor.Signal(SIGTERM);
  EXPECT_EQ(quor.Wait(), 0);
}

TEST_F(WindowPartTest, HeadlessAndOnceNeverStartTheWindowPart) {
  WritePart("#!/bin/sh\nexit 7\n", 0755);
  ChildProcess once(Quor(), Arguments({"--once"}), WithDisplay());
  EXPECT_EQ(once.Wait(), 1);  // quor's own status (no mailbox), not the part's 7
  EXPECT_EQ(once.Errors(), "");
  EXPECT_THAT(once.Output(), HasSubstr("] - Started."));

  ChildProcess headless(Quor(), Arguments({"--headless"}), WithDisplay());
  ASSERT_TRUE(headless.WaitForOutput("] - Started.")) << headless.Errors();
  headless.Signal(SIGTERM);
  EXPECT_EQ(headless.Wait(), 0);
  EXPECT_EQ(headless.Errors(), "");
}

}  // namespace

}  // namespace quor
