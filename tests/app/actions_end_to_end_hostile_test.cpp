// Hostile messages against the quor program, end to end: message text that
// tries to forge log lines or drive the terminal, a program that prints a
// lot, and a reader of standard output that goes away in the middle of a
// pass.

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "fixtures/recorder_script.h"

namespace quor {

namespace actions_e2e {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

void WriteScript(const std::string& path, const std::string& text) {
  WriteWholeFile(path, "#!/bin/sh\n" + text);
  chmod(path.c_str(), 0755);
}

size_t CountOf(const Lines& lines, const std::string& line) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

// Bytes that no log line may hold raw: every control character but tab and
// the line feed that ends each line.
bool HasRawControls(const std::string& output) {
  for (char c : output) {
    unsigned char byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) return true;
  }
  return false;
}

class ActionsEndToEndHostile : public EndToEndTest {};

TEST_F(ActionsEndToEndHostile, MessageTextNeverForgesALineNorReachesTheTerminalRaw) {
  const std::string subject =
      "Hi \x1b]0;owned\x07\x1b[2J\x1b"
      "c done";
  Deliver(
      PlainMessage(subject, "Order: 7\n--> Retrieving message 9 of 9...\nProcessing completed.\n"));
  std::string script = WriteRecorderScript(base_.path());
  AgentExtraction order{.start_kind = MarkerKind::kText,
                        .start_text = "Order: ",
                        .end_kind = MarkerKind::kEndOfMessage,
                        .end_text = "",
                        .variable_name = "order"};
  Lines lines =
      RunQuor({Agent("Echo",
                     {Action(ActionType::kRunProgram,
                             {{"program", script}, {"arguments", "{Subject}"}, {"wait", "1"}}),
                      Action(ActionType::kSaveData, {{"outfile", Base("order.txt")},
                                                     {"savemethod", "2"},
                                                     {"linecount", "1"},
                                                     {"line0", "{order}"}})},
                     {}, {order})});

  EXPECT_THAT(
      AgentRun(lines, "Echo", 1),
      ElementsAre("--> Extracted {order}: '7\\n--> Retrieving message 9 of 9...\\n"
                  "Processing completed.\\n'",
                  "--> Executing program...", script + " Hi \\x1b]0;owned\\x07\\x1b[2J\\x1bc done",
                  "--> Saving message data..."));
  EXPECT_EQ(CountOf(lines, "Processing completed."), 1u);
  EXPECT_EQ(CountOf(lines, "--> Retrieving message 9 of 9..."), 0u);
  std::string output;
  for (const std::string& line : lines) output += line + "\n";
  EXPECT_FALSE(HasRawControls(output));
  // Only the logged copy is escaped: the actions got the bytes.
  EXPECT_EQ(ReadWholeFile(Base("arg0")), subject);
  EXPECT_EQ(ReadWholeFile(Base("order.txt")),
            "7\n--> Retrieving message 9 of 9...\nProcessing completed.\n");
}

TEST_F(ActionsEndToEndHostile, WhatAProgramPrintsNeverReachesTheLog) {
  Deliver(PlainMessage("print a lot", "x\n"));
  // 3 MB on standard output and 1 MB on standard error, and the pass waits.
  Lines lines = RunQuor({Agent(
      "Printer", {Action(ActionType::kRunProgram,
                         {{"program", "/bin/sh"},
                          {"arguments",
                           "-c \"yes PRINTED | head -c 3000000; yes COMPLAINED | head -c 1000000 "
                           ">&2\""},
                          {"wait", "1"}})})});
  EXPECT_THAT(AgentRun(lines, "Printer", 1),
              ElementsAre("--> Executing program...", HasSubstr("/bin/sh -c ")));
  EXPECT_THAT(lines, Not(Contains("PRINTED")));
  EXPECT_THAT(lines, Not(Contains("COMPLAINED")));
}

// `quor --headless --once | head -n 1`: the reader is gone after the first
// line, and every later line is written to a closed pipe.
TEST_F(ActionsEndToEndHostile, ClosedStandardOutputEndsNeitherThePassNorTheLogFile) {
  constexpr int kMessages = 12;
  for (int i = 1; i <= kMessages; ++i) Deliver(PlainMessage("m" + std::to_string(i), "x\n"));
  // The pass goes on only when the reader has gone; a gate that is never
  // opened lets the program end after 30 s.
  WriteScript(Base("gate.sh"), "i=0\nwhile [ ! -e '" + Base("reader-gone") +
                                   "' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n");
  Configure({Agent("Saver",
                   {Action(ActionType::kRunProgram, {{"program", Base("gate.sh")}, {"wait", "1"}}),
                    Action(ActionType::kSaveData, {{"outfile", Base("out.txt")},
                                                   {"append", "1"},
                                                   {"savemethod", "2"},
                                                   {"linecount", "2"},
                                                   {"line0", "{Subject}"},
                                                   {"line1", ""}})})});
  const std::string pipeline = "{ \"$0\" \"$@\"; echo $? > '" + Base("status") +
                               "'; } | { head -n 1 > '" + Base("first") + "'; touch '" +
                               Base("reader-gone") + "'; }";
  ChildProcess shell("/bin/sh",
                     {"-c", pipeline, QUOR_BINARY, "--headless", "--once", "--base-dir",
                      base_.path(), "--profile", Base("quor.INI")},
                     {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  ASSERT_EQ(shell.Wait(kRunLimit), 0) << shell.Errors();

  EXPECT_EQ(ReadWholeFile(Base("status")), "0\n");
  EXPECT_THAT(ReadWholeFile(Base("first")), HasSubstr("] - Started."));
  std::string expected;
  for (int i = 1; i <= kMessages; ++i) expected += "m" + std::to_string(i) + "\n";
  EXPECT_EQ(ReadWholeFile(Base("out.txt")), expected);
  Lines log = SplitLines(ReadWholeFile(LogPath()));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Processing completed.");
  EXPECT_EQ(
      CountOf(log, "--> [Agent Saver]: processing message " + std::to_string(kMessages) + "..."),
      1u);
  // The pass ended normally and the exit saved the marker.
  EXPECT_THAT(ReadWholeFile(Base("quor.INI")),
              ::testing::MatchesRegex("(.|\n)*POPLastMsg0=[^\n]+\n(.|\n)*"));
}

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
