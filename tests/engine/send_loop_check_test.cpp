// The send action and automatic mail: a reply to the sender of an automatic
// message is not sent, so two answering programs never mail each other for
// ever. The SMTP server named in the settings listens nowhere: an action that
// goes on to send reports that it cannot connect, one that stops says so.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/captured_log.h"
#include "engine/message_actions.h"
#include "fixtures/agent_builders.h"
#include "fixtures/line_feeder.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using Lines = std::vector<std::string>;

const Lines kSkipped = {"--> Sending new message...", "--> Not replying to an automatic message."};
const Lines kTriedToSend = {"--> Sending new message...",
                            "ERROR - Failed to connect to SMTP server."};

struct LoopCase {
  const char* written;
  std::string marks;   // header lines of the incoming message
  std::string mailto;  // the action's properties
  std::string cclist;
  bool reply_to_automatic;
  Lines lines;
};

class SendLoopCheckTest : public ::testing::TestWithParam<LoopCase> {};

TEST_P(SendLoopCheckTest, AnswersPeopleButNotPrograms) {
  const LoopCase& c = GetParam();
  engine_test::ContextWithLog run;
  run.settings.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  run.settings.email_address = "agent@example.com";
  run.settings.reply_to_automatic = c.reply_to_automatic;
  run.context.smtp_reply_wait_seconds = 5;
  const MailMessage message = Parse("From: Ann <ann@example.org>\nReply-To: desk@example.org\n" +
                                    c.marks + "Subject: Out of office\n\nAway.\n");
  run.context.message = &message;
  const FieldMap fields = {{"Sender", "Ann <ann@example.org>"}, {"Reply-To", "desk@example.org"}};
  SendMessageAction(
      Action(ActionType::kSend, {{"mailto", c.mailto}, {"cclist", c.cclist}, {"subject", "Re"}}),
      fields, run.context);
  EXPECT_EQ(run.log.lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, SendLoopCheckTest,
    ::testing::Values(
        LoopCase{"auto replied to sender", "Auto-Submitted: auto-replied\n", "{Sender}", "", false,
                 kSkipped},
        LoopCase{"bulk to reply address", "Precedence: bulk\n", "{Reply-To}", "", false, kSkipped},
        LoopCase{"junk with sender in cc", "Precedence: junk\n", "boss@example.org", "{Sender}",
                 false, kSkipped},
        LoopCase{"list to sender among others", "Precedence: list\n",
                 "boss@example.org, ANN@example.org", "", false, kSkipped},
        LoopCase{"list id", "List-Id: <news.example.org>\n", "{Sender}", "", false, kSkipped},
        LoopCase{"empty return path", "Return-Path: <>\n", "{Sender}", "", false, kSkipped},
        LoopCase{"normal message is answered", "", "{Sender}", "", false, kTriedToSend},
        LoopCase{"auto submitted no is answered", "Auto-Submitted: no\n", "{Sender}", "", false,
                 kTriedToSend},
        LoopCase{"automatic message to someone else", "Precedence: bulk\n", "boss@example.org", "",
                 false, kTriedToSend},
        LoopCase{"reply to automatic on: auto replied", "Auto-Submitted: auto-replied\n",
                 "{Sender}", "", true, kTriedToSend},
        LoopCase{"reply to automatic on: bulk", "Precedence: bulk\n", "{Reply-To}", "", true,
                 kTriedToSend},
        LoopCase{"reply to automatic on: list id", "List-Id: <news.example.org>\n", "{Sender}", "",
                 true, kTriedToSend},
        LoopCase{"reply to automatic on: return path", "Return-Path: <>\n", "{Sender}", "", true,
                 kTriedToSend}),
    NameRowsBy(&LoopCase::written));

// Outside a pass there is no incoming message to answer.
TEST(SendLoopCheck, WithoutAMessageTheActionSends) {
  engine_test::ContextWithLog run;
  run.settings.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  run.context.smtp_reply_wait_seconds = 5;
  SendMessageAction(Action(ActionType::kSend, {{"mailto", "ann@example.org"}}), {}, run.context);
  EXPECT_EQ(run.log.lines, kTriedToSend);
}

}  // namespace

}  // namespace quor
