#include "engine/program_launcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fixtures/recorder_script.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using Words = std::vector<std::string>;

struct SplitCase {
  std::string line;
  Words words;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsLikeTheOriginalPlatform) {
  EXPECT_EQ(ProgramLauncher::SplitCommandLine(GetParam().line), GetParam().words)
      << "line: " << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"", {}}, SplitCase{"   \t ", {}}, SplitCase{"prog", {"prog"}},
        SplitCase{"prog ", {"prog"}}, SplitCase{"prog a  b\tc", {"prog", "a", "b", "c"}},
        SplitCase{"prog \"a b\" c", {"prog", "a b", "c"}},
        SplitCase{"prog a\"b c\"d", {"prog", "ab cd"}}, SplitCase{"prog \"\"", {"prog", ""}},
        SplitCase{"prog \"\" x", {"prog", "", "x"}},
        SplitCase{"prog \"unterminated group", {"prog", "unterminated group"}},
        // Backslashes not before a quote are literal.
        SplitCase{"C:\\Tools\\proc.exe a\\\\b", {"C:\\Tools\\proc.exe", "a\\\\b"}},
        SplitCase{"prog a\\", {"prog", "a\\"}},
        // 2n+1 backslashes and a quote: n backslashes and a literal quote.
        SplitCase{"prog \\\"", {"prog", "\""}}, SplitCase{"prog a\\\\\\\"b", {"prog", "a\\\"b"}},
        // 2n backslashes and a quote: n backslashes, the quote groups.
        SplitCase{"prog \"a\\\\\" b", {"prog", "a\\", "b"}},
        SplitCase{"prog \\\\\"x y\"", {"prog", "\\x y"}},
        // Shell syntax is plain text.
        SplitCase{"prog a; rm -rf ~", {"prog", "a;", "rm", "-rf", "~"}},
        SplitCase{"prog $(reboot) `id` | x > y", {"prog", "$(reboot)", "`id`", "|", "x", ">", "y"}},
        SplitCase{"prog 'single quotes' stay", {"prog", "'single", "quotes'", "stay"}},
        SplitCase{"prog line\nfeed", {"prog", "line\nfeed"}}),
    NameRowsBy(&SplitCase::line));

// Ranges taken from a message are plain text inside the word where they stand.
struct LiteralCase {
  std::string label;
  std::string line;
  std::vector<TextRange> literal;
  Words words;
};

class SplitWithLiteralRangesTest : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(SplitWithLiteralRangesTest, RangesNeitherSplitNorQuote) {
  EXPECT_EQ(ProgramLauncher::SplitCommandLine(GetParam().line, GetParam().literal),
            GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, SplitWithLiteralRangesTest,
    ::testing::Values(
        LiteralCase{
            "quote closes nothing", "prog -s a\" -x \"b", {{8, 8}}, {"prog", "-s", "a\" -x \"b"}},
        LiteralCase{
            "inside a typed group", "prog \"-s=a b\" next", {{9, 3}}, {"prog", "-s=a b", "next"}},
        LiteralCase{"blank in the middle of a word", "prog x-a b-y", {{7, 3}}, {"prog", "x-a b-y"}},
        LiteralCase{"empty range is a word", "prog  end", {{5, 0}}, {"prog", "", "end"}},
        LiteralCase{"empty range at the end", "prog ", {{5, 0}}, {"prog", ""}},
        LiteralCase{"two empty ranges one word", "prog ", {{5, 0}, {5, 0}}, {"prog", ""}},
        LiteralCase{"typed backslashes before a literal quote",
                    "prog \\\\\"x",
                    {{7, 2}},
                    {"prog", "\\\\\"x"}},
        LiteralCase{"literal backslash before a typed quote",
                    "prog \"a\\\" b",
                    {{7, 1}},
                    {"prog", "a\\", "b"}},
        LiteralCase{"typed rules around ranges",
                    "prog \"a b\" {x y} c",
                    {{11, 5}},
                    {"prog", "a b", "{x y}", "c"}}),
    NameRowsBy(&LiteralCase::label));

class ProgramLauncherTest : public ::testing::Test {
 protected:
  std::string RecorderScript() { return WriteRecorderScript(folder_.path()); }
  std::string Arg(int i) { return ReadWholeFile(folder_.File("arg" + std::to_string(i))); }

  TempDir folder_;
  ProgramLauncher launcher_;
};

TEST_F(ProgramLauncherTest, ArgumentsArriveAsSplitWithoutAShell) {
  std::string script = RecorderScript();
  ProgramLauncher::StartResult started =
      launcher_.Start(script + " \"two words\" a;b $(reboot) \\\"quoted\\\" `id` ~ *");
  ASSERT_GT(started.pid, 0) << started.error;
  ASSERT_TRUE(launcher_.WaitForExit(started.pid, std::chrono::seconds(20)));
  ASSERT_TRUE(FileExists(folder_.File("done")));
  EXPECT_EQ(ReadWholeFile(folder_.File("argc")), "7\n");
  EXPECT_EQ(Arg(0), "two words");
  EXPECT_EQ(Arg(1), "a;b");
  EXPECT_EQ(Arg(2), "$(reboot)");
  EXPECT_EQ(Arg(3), "\"quoted\"");
  EXPECT_EQ(Arg(4), "`id`");
  EXPECT_EQ(Arg(5), "~");
  EXPECT_EQ(Arg(6), "*");
}

TEST_F(ProgramLauncherTest, ProgramGetsEnvironmentFolderAndNullInputAndOutputOnly) {
  std::string script = RecorderScript();
  setenv("QUOR_LAUNCHER_MARK", "inherited value", 1);
  // A descriptor without close-on-exec must still not reach the program.
  int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 0);
  ASSERT_EQ(dup2(leaked, 7), 7);
  ProgramLauncher::StartResult started = launcher_.Start(script);
  close(7);
  close(leaked);
  unsetenv("QUOR_LAUNCHER_MARK");
  ASSERT_GT(started.pid, 0);
  ASSERT_TRUE(launcher_.WaitForExit(started.pid, std::chrono::seconds(20)));
  EXPECT_NE(ReadWholeFile(folder_.File("env")).find("QUOR_LAUNCHER_MARK=inherited value\n"),
            std::string::npos);
  EXPECT_EQ(ReadWholeFile(folder_.File("stdin")), "/dev/null\n");
  // What it prints must not reach the processor's own output.
  EXPECT_EQ(ReadWholeFile(folder_.File("stdout")), "/dev/null\n");
  EXPECT_EQ(ReadWholeFile(folder_.File("stderr")), "/dev/null\n");
  EXPECT_FALSE(FileExists(folder_.File("fd7")));
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(ReadWholeFile(folder_.File("cwd")), std::string(cwd) + "\n");
}

TEST_F(ProgramLauncherTest, CommandLineEndsAtAZeroByte) {
  std::string script = RecorderScript();
  std::string line = script + " kept";
  line.push_back('\0');
  line += " dropped";
  ProgramLauncher::StartResult started = launcher_.Start(line);
  ASSERT_GT(started.pid, 0);
  ASSERT_TRUE(launcher_.WaitForExit(started.pid, std::chrono::seconds(20)));
  EXPECT_EQ(ReadWholeFile(folder_.File("argc")), "1\n");
  EXPECT_EQ(Arg(0), "kept");
}

TEST_F(ProgramLauncherTest, ProgramIsFoundInPath) {
  ProgramLauncher::StartResult started = launcher_.Start("true");
  ASSERT_GT(started.pid, 0);
  EXPECT_TRUE(launcher_.WaitForExit(started.pid, std::chrono::seconds(20)));
  // The check without a start agrees.
  EXPECT_EQ(ProgramLauncher::CheckProgram("true"), 0);
}

struct BadProgram {
  const char* label;
  std::string (*make)(const TempDir&);
  int error;
};

class UnstartableProgramTest : public ::testing::TestWithParam<BadProgram> {
 protected:
  TempDir folder_;
  ProgramLauncher launcher_;
};

TEST_P(UnstartableProgramTest, StartFailsWithTheReason) {
  std::string program = GetParam().make(folder_);
  ProgramLauncher::StartResult started = launcher_.Start(program + " argument");
  EXPECT_EQ(started.pid, 0) << GetParam().label;
  EXPECT_EQ(started.error, GetParam().error) << GetParam().label;
  EXPECT_EQ(launcher_.RunningCount(), 0u);
  // The check without a start gives the same reason for the first word.
  Words words = ProgramLauncher::SplitCommandLine(program + " argument");
  EXPECT_EQ(ProgramLauncher::CheckProgram(words.empty() ? "" : words.front()), GetParam().error)
      << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Programs, UnstartableProgramTest,
    ::testing::Values(
        BadProgram{"missing", [](const TempDir& d) { return d.File("absent"); }, ENOENT},
        BadProgram{"missing in PATH",
                   [](const TempDir&) { return std::string("quor-no-such-program-xyz"); }, ENOENT},
        BadProgram{"directory", [](const TempDir& d) { return d.path(); }, EACCES},
        BadProgram{"not executable",
                   [](const TempDir& d) {
                     WriteWholeFile(d.File("plain.sh"), "#!/bin/sh\nexit 0\n");
                     chmod(d.File("plain.sh").c_str(), 0644);
                     return d.File("plain.sh");
                   },
                   EACCES},
        BadProgram{"empty line", [](const TempDir&) { return std::string("  "); }, ENOENT}));

TEST(ProgramLauncherWait, UnknownPidCountsAsEnded) {
  ProgramLauncher launcher;
  EXPECT_TRUE(launcher.WaitForExit(1, std::chrono::milliseconds(0)));
}

}  // namespace

}  // namespace quor
