// quor --test-message without servers: its exit statuses, the agent chosen by
// name, and a message file with CR LF line ends read as the same message.

#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "fixtures/row_name.h"

namespace quor {

namespace actions_e2e {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

struct StatusRow {
  std::string name;
  std::vector<std::string> arguments;  // after the base folder and profile; "MESSAGE": the file
  int status;
  std::string line;  // a line the output must hold
};

class MessageTrialStatus : public ::testing::TestWithParam<StatusRow> {
 protected:
  MessageTrialStatus() {
    MailAgent off = Agent("Off", {Action(ActionType::kDelete)});
    off.enabled = false;
    WriteWholeFile(
        base_.File("quoragts.ini"),
        AgentsFileText({Agent("Orders",
                              {Action(ActionType::kSound),
                               Action(ActionType::kSaveData,
                                      {{"outfile", base_.File("body.txt")}, {"savemethod", "0"}})},
                              {{"Subject", "contains", "Order", ConditionJoin::kAnd}}),
                        off}));
    WriteWholeFile(base_.File("quor.INI"), "[Settings]\nMailboxCount=0\n");
  }

  // Runs quor --test-message; the output's lines, the status in `status`.
  Lines Run(std::vector<std::string> arguments, int& status) {
    std::vector<std::string> all = {"--base-dir", base_.path(), "--profile",
                                    base_.File("quor.INI")};
    for (std::string& argument : arguments) {
      all.push_back(argument == "MESSAGE" ? base_.File("message.eml") : argument);
    }
    ChildProcess quor(QUOR_BINARY, all, {{"DISPLAY", std::nullopt}});
    status = quor.Wait(kRunLimit);
    return SplitLines(quor.Output() + quor.Errors());
  }

  TempDir base_;
};

TEST_P(MessageTrialStatus, ExitsWithTheStatusOfItsOutcome) {
  const StatusRow& row = GetParam();
  WriteWholeFile(base_.File("message.eml"), PlainMessage("Order 7", "text\n"));
  int status = -1;
  Lines lines = Run(row.arguments, status);
  EXPECT_EQ(status, row.status) << ::testing::PrintToString(lines);
  EXPECT_THAT(lines, Contains(HasSubstr(row.line)));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MessageTrialStatus,
    ::testing::Values(StatusRow{"enabled agents are tried and one matched",
                                {"--test-message", "MESSAGE"},
                                0,
                                "1 of 1 agents matched."},
                      StatusRow{"a disabled agent is tried by name",
                                {"--test-message", "MESSAGE", "--agent", "Off"},
                                0,
                                "    would delete message 1 on the server"},
                      StatusRow{"no such agent",
                                {"--test-message", "MESSAGE", "--agent", "Nobody"},
                                2,
                                "No agent is named \"Nobody\""},
                      StatusRow{"the file cannot be read",
                                {"--test-message", "/nonexistent/m.eml"},
                                2,
                                "ERROR: cannot open /nonexistent/m.eml"},
                      StatusRow{"agent without a message",
                                {"--agent", "Orders"},
                                2,
                                "option --agent needs --test-message"}),
    NameRowsBy(&StatusRow::name));

TEST_F(MessageTrialStatus, NoAgentMatchingExitsWithOne) {
  WriteWholeFile(base_.File("message.eml"), PlainMessage("Invoice", "text\n"));
  int status = -1;
  Lines lines = Run({"--test-message", "MESSAGE"}, status);
  EXPECT_EQ(status, 1);
  EXPECT_THAT(lines, Contains("0 of 1 agents matched."));
}

TEST_F(MessageTrialStatus, MessageOverTheSizeLimitIsPointedOut) {
  WriteWholeFile(base_.File("quor.INI"), "[Settings]\nMessageSize=1\nMailboxCount=0\n");
  // 990 bytes of text in 99 lines: over 1000 once each line ends in CR LF.
  std::string body;
  for (int i = 0; i < 99; ++i) body += "123456789\n";
  WriteWholeFile(base_.File("message.eml"), PlainMessage("Order 9", body));
  int status = -1;
  Lines lines = Run({"--test-message", "MESSAGE"}, status);
  EXPECT_THAT(lines,
              Contains(HasSubstr("more than the size limit of 1 kilobytes: a pass logs "
                                 "\"Warning: Message is larger than maximum allowed size!\"")))
      << ::testing::PrintToString(lines);
}

TEST_F(MessageTrialStatus, CarriageReturnLineEndsGiveTheSameTrace) {
  std::string message = PlainMessage("Order 8", "first\nsecond\n");
  std::string crlf;
  for (char c : message) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  int status = -1;
  WriteWholeFile(base_.File("message.eml"), message);
  Lines lf_lines = Run({"--test-message", "MESSAGE"}, status);
  WriteWholeFile(base_.File("message.eml"), crlf);
  EXPECT_EQ(Run({"--test-message", "MESSAGE"}, status), lf_lines);
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace actions_e2e
}  // namespace quor
