#include "engine/local_actions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "engine/captured_log.h"
#include "engine/part_file.h"
#include "engine/program_launcher.h"
#include "engine/substitution.h"
#include "fixtures/agent_builders.h"
#include "fixtures/recorder_script.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using engine_test::ContextWithLog;
using Lines = std::vector<std::string>;

bool ProcessGone(pid_t pid) { return !FileExists("/proc/" + std::to_string(pid)); }

Lines ReadLines(const std::string& path) {
  Lines lines;
  std::string text = ReadWholeFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// ---- Run an External Program ----

class RunProgramTest : public ::testing::Test {
 protected:
  RunProgramTest() {
    fields_ = {{"Subject", "Hello there; rm -rf ~"}, {"Sender", "ann@example.com"}};
    run_.context.program_wait_milliseconds = 20000;
  }
  std::string RecorderScript() { return WriteRecorderScript(folder_.path()); }
  std::string Arg(int i) { return ReadWholeFile(folder_.File("arg" + std::to_string(i))); }

  TempDir folder_;
  ContextWithLog run_;
  FieldMap fields_;
};

TEST_F(RunProgramTest, LogsTheCommandLineAndPassesSubstitutedArgumentsUnquoted) {
  std::string script = RecorderScript();
  RunProgramAction(
      Action(ActionType::kRunProgram,
             {{"program", script}, {"arguments", "{Subject} \"{Sender}\" $(id)"}, {"wait", "1"}}),
      fields_, run_.context);
  EXPECT_EQ(run_.log.lines, (Lines{"--> Executing program...",
                                   script + " Hello there; rm -rf ~ \"ann@example.com\" $(id)"}));
  ASSERT_TRUE(FileExists(folder_.File("done")));
  // The subject stays the one argument where its token stands.
  EXPECT_EQ(ReadWholeFile(folder_.File("argc")), "3\n");
  EXPECT_EQ(Arg(0), "Hello there; rm -rf ~");
  EXPECT_EQ(Arg(1), "ann@example.com");
  EXPECT_EQ(Arg(2), "$(id)");
}

// Quotes, blanks and backslashes in a value never add, merge or regroup
// arguments; the logged line is the substituted text as it stands.
struct ArgumentCase {
  std::string label;
  std::string arguments;  // as typed in the agent
  std::string subject;
  Lines received;
};

class ProgramArgumentTest : public RunProgramTest,
                            public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(ProgramArgumentTest, ValueStaysInsideItsArgument) {
  const ArgumentCase& c = GetParam();
  std::string script = RecorderScript();
  fields_["Subject"] = c.subject;
  RunProgramAction(Action(ActionType::kRunProgram,
                          {{"program", script}, {"arguments", c.arguments}, {"wait", "1"}}),
                   fields_, run_.context);
  ASSERT_TRUE(FileExists(folder_.File("done")));
  EXPECT_EQ(run_.log.lines.at(1), script + " " + Substitute(c.arguments, fields_));
  Lines received;
  for (const std::string& line : ReadLines(folder_.File("argv.txt"))) {
    if (line.rfind("MARK=", 0) == 0) break;
    received.push_back(line);
  }
  EXPECT_EQ(received, c.received);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProgramArgumentTest,
    ::testing::Values(
        ArgumentCase{"quote ends no quoted argument",
                     "--subject \"{Subject}\" --safe",
                     "x\" --output \"/tmp/owned",
                     {"--subject", "x\" --output \"/tmp/owned", "--safe"}},
        ArgumentCase{"unquoted value with blanks",
                     "-s {Subject} -n",
                     "two  words",
                     {"-s", "two  words", "-n"}},
        ArgumentCase{
            "value inside a typed word", "--subject={Subject}.txt", "a b", {"--subject=a b.txt"}},
        ArgumentCase{
            "backslash before a typed quote", "\"{Subject}\" next", "dir\\", {"dir\\", "next"}},
        ArgumentCase{
            "typed backslash before a value's quote", "pre\\{Subject}", "\" -x", {"pre\\\" -x"}},
        ArgumentCase{"empty value keeps its place", "{Subject} last", "", {"", "last"}},
        ArgumentCase{"blanks inside the token", "{ Subject }", "one value", {"one value"}},
        ArgumentCase{"typed quotes still group", "\"a b\" {Subject}", "c", {"a b", "c"}}),
    NameRowsBy(&ArgumentCase::label));

TEST_F(RunProgramTest, EmptyArgumentsLeaveOneBlank) {
  std::string script = RecorderScript();
  RunProgramAction(Action(ActionType::kRunProgram, {{"program", script}, {"wait", "1"}}), fields_,
                   run_.context);
  EXPECT_EQ(run_.log.lines, (Lines{"--> Executing program...", script + " "}));
  EXPECT_EQ(ReadWholeFile(folder_.File("argc")), "0\n");
}

TEST_F(RunProgramTest, ProgramPathIsNotSubstituted) {
  RunProgramAction(Action(ActionType::kRunProgram, {{"program", "{Sender}"}}), fields_,
                   run_.context);
  EXPECT_EQ(run_.log.lines, (Lines{"--> Executing program...", "{Sender} ",
                                   "ERROR: Executing program ({Sender}) - Code 0"}));
}

TEST_F(RunProgramTest, UnstartableProgramsLogTheErrorWithCodeZero) {
  std::string not_executable = folder_.File("plain");
  WriteWholeFile(not_executable, "#!/bin/sh\n");
  chmod(not_executable.c_str(), 0644);
  for (const std::string& program :
       {folder_.File("missing.exe"), folder_.path(), not_executable, std::string()}) {
    run_.log.lines.clear();
    RunProgramAction(Action(ActionType::kRunProgram, {{"program", program}, {"wait", "1"}}),
                     fields_, run_.context);
    EXPECT_EQ(run_.log.lines, (Lines{"--> Executing program...", program + " ",
                                     "ERROR: Executing program (" + program + ") - Code 0"}));
  }
}

TEST_F(RunProgramTest, WaitEndsAtTheLimitAndTheProgramIsCollectedLater) {
  run_.context.program_wait_milliseconds = 50;
  std::string pid_file = folder_.File("pid");
  std::string go_file = folder_.File("go");
  RunProgramAction(Action(ActionType::kRunProgram,
                          {{"program", "/bin/sh"},
                           {"arguments", "-c \"echo $$ > " + pid_file + "; while [ ! -e " +
                                             go_file + " ]; do sleep 0.01; done\""},
                           {"wait", "1"}}),
                   fields_, run_.context);
  ASSERT_EQ(run_.log.lines.size(), 2u);
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(pid_file).size() > 1; }));
  pid_t pid = static_cast<pid_t>(std::stoi(ReadWholeFile(pid_file)));
  EXPECT_FALSE(ProcessGone(pid));
  WriteWholeFile(go_file, "");
  EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }));
  int result = waitpid(pid, nullptr, WNOHANG);
  int error = errno;
  EXPECT_EQ(result, -1);
  EXPECT_EQ(error, ECHILD);
}

TEST_F(RunProgramTest, WaitOnBlocksUntilTheProgramEnds) {
  std::string pid_file = folder_.File("pid");
  std::string go_file = folder_.File("go");
  std::string out_file = folder_.File("out");
  // Lets the program end once it has started, from another thread.
  std::thread releaser([&] {
    WaitUntil([&] { return FileExists(pid_file); });
    WriteWholeFile(go_file, "");
  });
  RunProgramAction(
      Action(ActionType::kRunProgram,
             {{"program", "/bin/sh"},
              {"arguments", "-c \"echo $$ > " + pid_file + "; while [ ! -e " + go_file +
                                " ]; do sleep 0.01; done; echo finished > " + out_file + "\""},
              {"wait", "1"}}),
      fields_, run_.context);
  releaser.join();
  EXPECT_EQ(ReadWholeFile(out_file), "finished\n");
}

TEST_F(RunProgramTest, WaitOffReturnsWhileTheProgramRuns) {
  std::string pid_file = folder_.File("pid");
  std::string go_file = folder_.File("go");
  RunProgramAction(Action(ActionType::kRunProgram,
                          {{"program", "/bin/sh"},
                           {"arguments", "-c \"echo $$ > " + pid_file + "; while [ ! -e " +
                                             go_file + " ]; do sleep 0.01; done\""},
                           {"wait", "no"}}),
                   fields_, run_.context);
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(pid_file).size() > 1; }));
  pid_t pid = static_cast<pid_t>(std::stoi(ReadWholeFile(pid_file)));
  // The action came back before the program could end.
  EXPECT_FALSE(ProcessGone(pid));
  WriteWholeFile(go_file, "");
  EXPECT_TRUE(WaitUntil([&] { return ProcessGone(pid); }));
}

// ---- Save Attachments ----

class SaveAttachmentsTest : public ::testing::Test {
 protected:
  SaveAttachmentsTest() {
    run_.context.base_directory = base_.path();
    run_.context.message = &message_;
  }
  void AddAttachment(std::string data, std::string name) {
    message_.attachments.push_back(MailAttachment{std::move(data), std::move(name)});
  }
  void Save(const std::string& directory, const std::string& basefile, const std::string& numbering,
            const std::string& use_name) {
    SaveAttachmentsAction(Action(ActionType::kSaveAttachments, {{"directory", directory},
                                                                {"basefile", basefile},
                                                                {"usenumbering", numbering},
                                                                {"usename", use_name}}),
                          fields_, run_.context);
  }

  TempDir base_;
  TempDir target_;
  MailMessage message_;
  ContextWithLog run_;
  FieldMap fields_;
};

TEST_F(SaveAttachmentsTest, NoAttachments) {
  Save(target_.path(), "file", "0", "0");
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving attachments...", "No attachments found."}));
}

TEST_F(SaveAttachmentsTest, NoMessageCountsAsNoAttachments) {
  run_.context.message = nullptr;
  Save(target_.path(), "file", "0", "0");
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving attachments...", "No attachments found."}));
}

TEST_F(SaveAttachmentsTest, OnlyTheBodyPartSavesNothing) {
  AddAttachment("body", "body.txt");
  Save(target_.path(), "file", "0", "1");
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving attachments...", "Extracted 0 attachments."}));
  EXPECT_FALSE(FileExists(target_.File("body.txt")));
  EXPECT_FALSE(FileExists(target_.File("file")));
}

TEST_F(SaveAttachmentsTest, NumberingSkipsExistingFiles) {
  AddAttachment("body", "");
  AddAttachment("first", "a.txt");
  AddAttachment("second!", "b.txt");
  WriteWholeFile(target_.File("file1"), "older");
  Save(target_.path(), "file", "1", "0");
  EXPECT_EQ(run_.log.lines,
            (Lines{"--> Saving attachments...", "Extracted 2 attachments.",
                   "Saving attachment #1: " + target_.File("file2") + " (5 bytes)",
                   "Saving attachment #2: " + target_.File("file3") + " (7 bytes)"}));
  EXPECT_EQ(ReadWholeFile(target_.File("file1")), "older");
  EXPECT_EQ(ReadWholeFile(target_.File("file2")), "first");
  EXPECT_EQ(ReadWholeFile(target_.File("file3")), "second!");
}

TEST_F(SaveAttachmentsTest, NumberFollowsTheWholeName) {
  AddAttachment("body", "");
  AddAttachment("report", "report.txt");
  Save(target_.path(), "unused", "1", "1");
  EXPECT_EQ(ReadWholeFile(target_.File("report.txt1")), "report");
}

TEST_F(SaveAttachmentsTest, NumberingNeverOverwritesAnUnreadableFile) {
  // The next number is the first whose file does not exist, readable or not.
  AddAttachment("body", "");
  AddAttachment("new", "");
  WriteWholeFile(target_.File("file1"), "keep me");
  chmod(target_.File("file1").c_str(), 0);
  ASSERT_EQ(symlink(target_.File("nowhere").c_str(), target_.File("file2").c_str()), 0);
  Save(target_.path(), "file", "1", "0");
  chmod(target_.File("file1").c_str(), 0644);
  EXPECT_EQ(ReadWholeFile(target_.File("file1")), "keep me");
  EXPECT_FALSE(FileExists(target_.File("nowhere")));
  EXPECT_EQ(ReadWholeFile(target_.File("file3")), "new");
}

TEST_F(SaveAttachmentsTest, WithoutNumberingTheFileIsReplaced) {
  AddAttachment("body", "");
  AddAttachment("one", "");
  AddAttachment("two", "");
  WriteWholeFile(target_.File("out.bin"), "previous content");
  Save(target_.path(), "out.bin", "0", "0");
  EXPECT_EQ(ReadWholeFile(target_.File("out.bin")), "two");
  EXPECT_EQ(run_.log.lines[2], "Saving attachment #1: " + target_.File("out.bin") + " (3 bytes)");
}

TEST_F(SaveAttachmentsTest, OwnNameUsedWhenPresentElseBasefile) {
  AddAttachment("body", "");
  AddAttachment("named", "named.pdf");
  AddAttachment("anonymous", "");
  Save(target_.path(), "fallback.dat", "0", "1");
  EXPECT_EQ(ReadWholeFile(target_.File("named.pdf")), "named");
  EXPECT_EQ(ReadWholeFile(target_.File("fallback.dat")), "anonymous");
}

TEST_F(SaveAttachmentsTest, FlagsWithoutDigitsAreOff) {
  AddAttachment("body", "");
  AddAttachment("x", "own.txt");
  Save(target_.path(), "base", "yes", "yes");
  EXPECT_EQ(ReadWholeFile(target_.File("base")), "x");
  EXPECT_FALSE(FileExists(target_.File("base1")));
}

TEST_F(SaveAttachmentsTest, HostileOwnNamesNeverLeaveTheDirectory) {
  TempDir outer;
  std::string inner = outer.File("inner");
  ASSERT_EQ(mkdir(inner.c_str(), 0700), 0);
  AddAttachment("body", "");
  AddAttachment("climb", "../escaped.txt");
  AddAttachment("absolute", outer.File("absolute.txt"));
  AddAttachment("hidden", ".profile");
  AddAttachment("controls", "a\r\nb.txt");
  AddAttachment("dots", "..");
  Save(inner, "fallback", "0", "1");
  EXPECT_FALSE(FileExists(outer.File("escaped.txt")));
  EXPECT_FALSE(FileExists(outer.File("absolute.txt")));
  EXPECT_EQ(ReadWholeFile(inner + "/escaped.txt"), "climb");
  EXPECT_EQ(ReadWholeFile(inner + "/absolute.txt"), "absolute");
  EXPECT_EQ(ReadWholeFile(inner + "/_profile"), "hidden");
  EXPECT_EQ(ReadWholeFile(inner + "/ab.txt"), "controls");
  EXPECT_EQ(ReadWholeFile(inner + "/_."), "dots");
}

TEST_F(SaveAttachmentsTest, VeryLongAndInvalidUtf8NamesAreSaved) {
  AddAttachment("body", "");
  AddAttachment("long", std::string(10 * 1024, 'L') + ".txt");
  AddAttachment("bytes", "\xff\xfe\xc3(.bin");
  Save(target_.path(), "fallback", "1", "1");
  std::string long_name = std::string(kMaxPartNameBytes - 4, 'L') + ".txt";
  EXPECT_EQ(ReadWholeFile(target_.File(long_name + "1")), "long");
  EXPECT_EQ(ReadWholeFile(target_.File("\xff\xfe\xc3(.bin1")), "bytes");
  EXPECT_EQ(run_.log.lines.size(), 4u);
}

TEST_F(SaveAttachmentsTest, MissingFoldersAreCreatedPrivateParentsToo) {
  AddAttachment("body", "");
  AddAttachment("a", "");
  AddAttachment("b", "");
  std::string missing = target_.File("absent/invoices");
  Save(missing, "file", "1", "0");
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving attachments...", "Extracted 2 attachments.",
                                   "Saving attachment #1: " + missing + "/file1 (1 bytes)",
                                   "Saving attachment #2: " + missing + "/file2 (1 bytes)"}));
  EXPECT_EQ(ReadWholeFile(missing + "/file1"), "a");
  EXPECT_EQ(ReadWholeFile(missing + "/file2"), "b");
  for (const std::string& folder : {target_.File("absent"), missing}) {
    struct stat status {};
    ASSERT_EQ(stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u) << folder;
  }
}

TEST_F(SaveAttachmentsTest, DirectoryThatIsAFileIsReportedForEveryFile) {
  AddAttachment("body", "");
  AddAttachment("a", "");
  AddAttachment("b", "");
  WriteWholeFile(target_.File("plain"), "file");
  std::string path = target_.File("plain") + "/file";
  Save(target_.File("plain"), "file", "0", "0");
  EXPECT_EQ(run_.log.lines,
            (Lines{"--> Saving attachments...", "Extracted 2 attachments.",
                   "Saving attachment #1: " + path + " (1 bytes)", "ERROR: writing file " + path,
                   "Saving attachment #2: " + path + " (1 bytes)", "ERROR: writing file " + path}));
  EXPECT_EQ(ReadWholeFile(target_.File("plain")), "file");
}

TEST_F(SaveAttachmentsTest, UnwritableDirectoryIsReported) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  AddAttachment("body", "");
  AddAttachment("a", "");
  ASSERT_EQ(chmod(target_.path().c_str(), 0500), 0);
  Save(target_.path(), "file", "0", "0");
  chmod(target_.path().c_str(), 0700);
  EXPECT_EQ(run_.log.lines.back(), "ERROR: writing file " + target_.File("file"));
  EXPECT_FALSE(FileExists(target_.File("file")));
}

TEST_F(SaveAttachmentsTest, FullDiskIsReported) {
  AddAttachment("body", "");
  AddAttachment("data", "");
  Save("/dev", "full", "0", "0");
  EXPECT_EQ(run_.log.lines.back(), "ERROR: writing file /dev/full");
}

TEST_F(SaveAttachmentsTest, EmptyDirectoryGivesARootedPath) {
  // A configured path, kept as users set it: "/" then the base file name.
  AddAttachment("body", "");
  AddAttachment("data", "");
  Save("", "quor-test-not-writable/out.txt", "0", "0");
  EXPECT_EQ(run_.log.lines[2], "Saving attachment #1: /quor-test-not-writable/out.txt (4 bytes)");
}

// ---- Planted links ----

// Someone planted a link under the name an action writes to: the action
// reports its error line and the link's target keeps its content.
struct PlantedLinkCase {
  std::string label;
  bool dangling;  // the link points to a file that does not exist yet
  void (*run)(const std::string& folder, ActionContext& context);
  std::string error_start;  // the error line up to the link's path
  std::string error_end;
};

class PlantedLinkTest : public ::testing::TestWithParam<PlantedLinkCase> {};

TEST_P(PlantedLinkTest, IsNeverWrittenThrough) {
  TempDir shared;
  TempDir victim_home;
  std::string victim = victim_home.File("notes");
  if (!GetParam().dangling) WriteWholeFile(victim, "the victim's notes\n");
  std::string link = shared.File("report.txt");
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  MailMessage message;
  message.attachments = {MailAttachment{"body", ""},
                         MailAttachment{"attacker's bytes", "report.txt"}};
  ContextWithLog run;
  run.context.message = &message;
  run.context.body_text = "attacker's text\n";

  GetParam().run(shared.path(), run.context);

  EXPECT_EQ(ReadWholeFile(victim), GetParam().dangling ? "" : "the victim's notes\n");
  EXPECT_EQ(FileExists(victim), !GetParam().dangling);
  char target[4096] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(target, victim);
  ASSERT_FALSE(run.log.lines.empty());
  EXPECT_EQ(run.log.lines.back(), GetParam().error_start + link + GetParam().error_end);
}

void SaveOwnName(const std::string& folder, ActionContext& context) {
  SaveAttachmentsAction(
      Action(
          ActionType::kSaveAttachments,
          {{"directory", folder}, {"basefile", "unused"}, {"usenumbering", "0"}, {"usename", "1"}}),
      {}, context);
}

void SaveBaseFile(const std::string& folder, ActionContext& context) {
  SaveAttachmentsAction(Action(ActionType::kSaveAttachments, {{"directory", folder},
                                                              {"basefile", "report.txt"},
                                                              {"usenumbering", "0"},
                                                              {"usename", "0"}}),
                        {}, context);
}

template <int kAppend>
void SaveBody(const std::string& folder, ActionContext& context) {
  SaveDataAction(Action(ActionType::kSaveData, {{"outfile", folder + "/report.txt"},
                                                {"append", std::to_string(kAppend)},
                                                {"savemethod", "0"}}),
                 {}, context);
}

INSTANTIATE_TEST_SUITE_P(
    Writers, PlantedLinkTest,
    ::testing::Values(PlantedLinkCase{"attachment under its own name", false, SaveOwnName,
                                      "ERROR: writing file ", ""},
                      PlantedLinkCase{"attachment under the base name", false, SaveBaseFile,
                                      "ERROR: writing file ", ""},
                      PlantedLinkCase{"attachment to a link to nothing yet", true, SaveOwnName,
                                      "ERROR: writing file ", ""},
                      PlantedLinkCase{"message data appended", false, SaveBody<1>,
                                      "ERROR: can't open output file (", ")"},
                      PlantedLinkCase{"message data replacing", false, SaveBody<0>,
                                      "ERROR: can't open output file (", ")"},
                      PlantedLinkCase{"message data to a link to nothing yet", true, SaveBody<1>,
                                      "ERROR: can't open output file (", ")"}),
    NameRowsBy(&PlantedLinkCase::label));

// ---- Save Message Data to a File ----

class SaveDataTest : public ::testing::Test {
 protected:
  SaveDataTest() {
    fields_ = {{"Sender", "ann@example.com"}, {"Subject", "Order 42"}};
    run_.context.body_text = "body line\n";
  }
  void Save(std::vector<std::pair<std::string, std::string>> properties) {
    SaveDataAction(Action(ActionType::kSaveData, std::move(properties)), fields_, run_.context);
  }

  TempDir folder_;
  ContextWithLog run_;
  FieldMap fields_;
};

TEST_F(SaveDataTest, BodyIsWrittenUnsubstituted) {
  run_.context.body_text = "keep {Subject}\n";
  Save({{"outfile", folder_.File("out")}, {"savemethod", "0"}});
  EXPECT_EQ(ReadWholeFile(folder_.File("out")), "keep {Subject}\n");
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving message data..."}));
}

TEST_F(SaveDataTest, TemplateIsSubstituted) {
  WriteWholeFile(folder_.File("tpl"), "From {Sender}\nRe: {Subject}\n");
  Save({{"outfile", folder_.File("out")},
        {"savemethod", "1"},
        {"templatefile", folder_.File("tpl")}});
  EXPECT_EQ(ReadWholeFile(folder_.File("out")), "From ann@example.com\nRe: Order 42\n");
}

TEST_F(SaveDataTest, InlineLinesAreJoinedThenAppendedDirectly) {
  std::vector<std::pair<std::string, std::string>> properties = {{"outfile", folder_.File("out")},
                                                                 {"append", "1"},
                                                                 {"savemethod", "2"},
                                                                 {"linecount", "2"},
                                                                 {"line0", "From: {Sender}"},
                                                                 {"line1", "Subject: {Subject}"}};
  Save(properties);
  Save(properties);
  EXPECT_EQ(ReadWholeFile(folder_.File("out")),
            "From: ann@example.com\nSubject: Order 42From: ann@example.com\nSubject: Order 42");
}

TEST_F(SaveDataTest, AppendAddsToEveryMethod) {
  WriteWholeFile(folder_.File("tpl"), "[{Subject}]");
  std::string out = folder_.File("out");
  WriteWholeFile(out, "start|");
  Save({{"outfile", out}, {"append", "1"}, {"savemethod", "0"}});
  Save({{"outfile", out},
        {"append", "1"},
        {"savemethod", "1"},
        {"templatefile", folder_.File("tpl")}});
  Save({{"outfile", out},
        {"append", "1"},
        {"savemethod", "2"},
        {"linecount", "1"},
        {"line0", "{Sender}"}});
  EXPECT_EQ(ReadWholeFile(out), "start|body line\n[Order 42]ann@example.com");
}

TEST_F(SaveDataTest, ReplaceEmptiesTheFileFirst) {
  std::string out = folder_.File("out");
  WriteWholeFile(out, "a much longer earlier content");
  Save({{"outfile", out}, {"savemethod", "2"}, {"linecount", "1"}, {"line0", "new"}});
  EXPECT_EQ(ReadWholeFile(out), "new");
}

TEST_F(SaveDataTest, SplitOrMissingInlineLinesAreEmpty) {
  // line1 is absent: an empty line between the others.
  Save({{"outfile", folder_.File("out")},
        {"savemethod", "2"},
        {"linecount", "3"},
        {"line2", "c"},
        {"line0", "a"},
        {"line01", "not line 1"}});
  EXPECT_EQ(ReadWholeFile(folder_.File("out")), "a\n\nc");
}

TEST_F(SaveDataTest, HugeLineCountIsBounded) {
  Save({{"outfile", folder_.File("out")},
        {"savemethod", "2"},
        {"linecount", "2000000000"},
        {"line0", "x"}});
  EXPECT_EQ(ReadWholeFile(folder_.File("out")), "x" + std::string(99999, '\n'));
}

TEST_F(SaveDataTest, OutputEndsAtTheFirstZeroByte) {
  run_.context.body_text = std::string("before\0after", 12);
  Save({{"outfile", folder_.File("out")}, {"savemethod", "0"}});
  EXPECT_EQ(ReadWholeFile(folder_.File("out")), "before");
}

TEST_F(SaveDataTest, MissingTemplateWarnsAndLeavesAnEmptyFile) {
  std::string out = folder_.File("out");
  WriteWholeFile(out, "old");
  Save({{"outfile", out}, {"savemethod", "1"}, {"templatefile", folder_.File("absent")}});
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving message data...",
                                   "WARNING: Unable to read file " + folder_.File("absent")}));
  EXPECT_TRUE(FileExists(out));
  EXPECT_EQ(ReadWholeFile(out), "");
}

TEST_F(SaveDataTest, UnknownMethodWritesNothing) {
  Save({{"outfile", folder_.File("out")}, {"savemethod", "3"}});
  EXPECT_TRUE(FileExists(folder_.File("out")));
  EXPECT_EQ(ReadWholeFile(folder_.File("out")), "");
}

TEST_F(SaveDataTest, OutfileInAMissingFolderIsAnError) {
  std::string out = folder_.File("absent/out.txt");
  Save({{"outfile", out}, {"savemethod", "0"}});
  EXPECT_EQ(run_.log.lines,
            (Lines{"--> Saving message data...", "ERROR: can't open output file (" + out + ")"}));
  EXPECT_FALSE(FileExists(folder_.File("absent")));
}

TEST_F(SaveDataTest, OutfileIsNotSubstituted) {
  Save({{"outfile", folder_.File("{Subject}")}, {"savemethod", "0"}});
  EXPECT_TRUE(FileExists(folder_.File("{Subject}")));
}

TEST_F(SaveDataTest, FullDiskIsReported) {
  Save({{"outfile", "/dev/full"}, {"savemethod", "0"}});
  EXPECT_EQ(run_.log.lines, (Lines{"--> Saving message data...", "ERROR: writing file /dev/full"}));
}

// ---- Play a Sound ----

TEST(PlaySoundTest, CallsTheFrontEndAndLogsNothing) {
  ContextWithLog run;
  int calls = 0;
  run.context.play_sound = [&calls] { ++calls; };
  PlaySoundAction(Action(ActionType::kSound, {}), FieldMap{}, run.context);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(run.log.lines.empty());
}

TEST(PlaySoundTest, WithoutAFrontEndNothingHappens) {
  ContextWithLog run;
  PlaySoundAction(Action(ActionType::kSound, {}), FieldMap{}, run.context);
  EXPECT_TRUE(run.log.lines.empty());
}

}  // namespace

}  // namespace quor
