// Which actions count as failed for the Delete that follows them: a message
// whose earlier action failed stays on the server.

#include "engine/agent_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/captured_log.h"
#include "fixtures/agent_builders.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using engine_test::ContextWithLog;
using ::testing::Contains;
using ::testing::Not;

constexpr char kKept[] = "--> Message kept on the server: an earlier action failed.";
constexpr char kDeleting[] = "--> Deleting message...";

struct FailureCase {
  const char* name;
  ActionType type;
  // "{dir}" in a value stands for a private folder of the test.
  Properties properties;
  bool attachments;  // the message has a file attached
  bool kept;         // the action failed, so Delete keeps the message
};

class DeleteAfterActionTest : public ::testing::TestWithParam<FailureCase> {
 protected:
  DeleteAfterActionTest() {
    // Every mail action meets a port where nothing listens.
    run_.settings.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
    run_.settings.email_address = "agent@example.com";
    run_.context.base_directory = folder_.path();
    run_.context.message = &message_;
    run_.context.smtp_reply_wait_seconds = 2;
    message_.from = "ann@example.org";
    message_.subject = "Order 42";
    message_.text = "text\n";
    WriteWholeFile(folder_.File("plain"), "a file, not a folder");
  }

  AgentAction Build(const FailureCase& row) const {
    Properties properties;
    for (auto [name, value] : row.properties) {
      for (size_t at; (at = value.find("{dir}")) != std::string::npos;) {
        value.replace(at, 5, folder_.path());
      }
      properties.emplace_back(name, value);
    }
    return Action(row.type, properties);
  }

  TempDir folder_;
  MailMessage message_;
  ContextWithLog run_;
};

TEST_P(DeleteAfterActionTest, KeepsTheMessageOnlyWhenTheActionFailed) {
  const FailureCase& row = GetParam();
  if (row.attachments) {
    message_.attachments = {MailAttachment{"text\n", ""}, MailAttachment{"data", "part.bin"}};
  }
  RunAgent(Agent("A", {Build(row), Action(ActionType::kDelete)}), run_.context);
  // Outside a pass there is no session, so a Delete that goes ahead ends in
  // the network error: either way the line before it tells.
  if (row.kept) {
    EXPECT_EQ(run_.log.lines.back(), kKept) << ::testing::PrintToString(run_.log.lines);
    EXPECT_THAT(run_.log.lines, Not(Contains(kDeleting)));
  } else {
    EXPECT_THAT(run_.log.lines, Contains(kDeleting)) << ::testing::PrintToString(run_.log.lines);
    EXPECT_THAT(run_.log.lines, Not(Contains(kKept)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, DeleteAfterActionTest,
    ::testing::Values(FailureCase{"send to a closed port",
                                  ActionType::kSend,
                                  {{"mailto", "bob@example.com"}},
                                  false,
                                  true},
                      FailureCase{"forward to a closed port",
                                  ActionType::kForward,
                                  {{"mailto", "bob@example.com"}},
                                  false,
                                  true},
                      FailureCase{"program that cannot start",
                                  ActionType::kRunProgram,
                                  {{"program", "{dir}/no-such-program"}},
                                  false,
                                  true},
                      FailureCase{"program that starts",
                                  ActionType::kRunProgram,
                                  {{"program", "/bin/true"}, {"wait", "1"}},
                                  false,
                                  false},
                      FailureCase{"attachment under a file",
                                  ActionType::kSaveAttachments,
                                  {{"directory", "{dir}/plain"}, {"basefile", "f"}},
                                  true,
                                  true},
                      FailureCase{"attachment into a new folder",
                                  ActionType::kSaveAttachments,
                                  {{"directory", "{dir}/new/folder"}, {"basefile", "f"}},
                                  true,
                                  false},
                      FailureCase{"no attachments to save",
                                  ActionType::kSaveAttachments,
                                  {{"directory", "{dir}/plain"}, {"basefile", "f"}},
                                  false,
                                  false},
                      FailureCase{"data file under a file",
                                  ActionType::kSaveData,
                                  {{"outfile", "{dir}/plain/out.txt"}},
                                  false,
                                  true},
                      FailureCase{"data file on a full disk",
                                  ActionType::kSaveData,
                                  {{"outfile", "/dev/full"}},
                                  false,
                                  true},
                      FailureCase{"data file written",
                                  ActionType::kSaveData,
                                  {{"outfile", "{dir}/out.txt"}},
                                  false,
                                  false},
                      FailureCase{"sound", ActionType::kSound, {}, false, false},
                      FailureCase{"action of an unknown type", ActionType{7}, {}, false, false}),
    NameRowsBy(&FailureCase::name));

TEST(DeleteAfterAnotherAgentTest, AFailureInAnEarlierAgentKeepsTheMessage) {
  ContextWithLog run;
  MailMessage message;
  message.subject = "Order 42";
  run.context.message = &message;
  TempDir folder;
  WriteWholeFile(folder.File("plain"), "a file, not a folder");
  std::vector<MailAgent> agents = {
      Agent("Archive", {Action(ActionType::kSaveData, {{"outfile", folder.File("plain/x")}})}),
      Agent("Cleanup", {Action(ActionType::kDelete)})};
  OfferToAgents(agents, run.context);
  EXPECT_EQ(run.log.lines.back(), kKept) << ::testing::PrintToString(run.log.lines);
}

}  // namespace

}  // namespace quor
