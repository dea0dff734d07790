// A pass reads ahead where Dovecot offers pipelining, and its results are
// those of a pass in lock-step: the same log, marker, files and deletions,
// on a mailbox with messages that an agent deletes and one above the size
// limit.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "fixtures/agent_builders.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/recording_sink.h"
#include "fixtures/scripted_server.h"
#include "fixtures/test_files.h"
#include "message/message_parser.h"
#include "net/pop_client.h"

namespace quor {

namespace {

using Lines = std::vector<std::string>;

constexpr int kMessages = 13;

std::string Message(int number) {
  // Every third message asks to be deleted; message 5 is above the limit.
  std::string subject = number % 3 == 0 ? "delete " : "keep ";
  std::string body =
      number == 5 ? std::string(3000, 'y') + "\n" : "line " + std::to_string(number) + "\n";
  return "From: Ann <ann@example.org>\nTo: bob@example.net\nSubject: " + subject +
         std::to_string(number) + "\nDate: Mon, 7 Dec 2026 06:00:00 +0000\n\n" + body;
}

struct PassResult {
  Lines log;  // without the first line, which holds the time
  std::string marker;
  std::string saved;
  int left_on_server;
};

class PipelinedPassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* user : {"ann", "bob"}) {
      server_.AddUser(user, "secret");
      for (int number = 1; number <= kMessages; ++number) server_.Deliver(user, Message(number));
    }
  }

  // Two passes over the user's mailbox: the first handles every message,
  // the second finds nothing new.
  PassResult Run(const std::string& user, bool pipelining) {
    StartupOptions options;
    options.base_directory = base_.path();
    options.profile_path = base_.File(user + ".INI");
    options.timings.pop_reply_wait_seconds = 5;
    Lifecycle app(options, &sink_, hooks_);
    app.LoadConfiguration();
    app.processor().set_pipelining_allowed(pipelining);
    MailboxAccount account;
    account.server = server_.host_text();
    account.user = user;
    account.password = "secret";
    Settings settings;
    settings.size_limit_kilobytes = 1;
    const std::string saved = base_.File(user + "-saved.txt");
    std::vector<MailAgent> agents = {
        Agent("Saver", {Action(ActionType::kSaveData, {{"outfile", saved},
                                                       {"append", "1"},
                                                       {"savemethod", "2"},
                                                       {"linecount", "1"},
                                                       {"line0", "{Subject}\n"}})}),
        Agent("Deleter", {Action(ActionType::kDelete)},
              {{"Subject", "contains", "delete", ConditionJoin::kAnd}})};
    app.store().Install({settings, {account}, agents});
    PassResult result;
    for (int pass = 0; pass < 2; ++pass) {
      const size_t before = sink_.lines.size();
      EXPECT_EQ(app.processor().RunPass(), 0);
      result.log.insert(result.log.end(), sink_.lines.begin() + static_cast<long>(before) + 1,
                        sink_.lines.end());
    }
    result.marker = app.configuration().mailboxes[0].last_message;
    result.saved = ReadWholeFile(saved);
    result.left_on_server = server_.Count(user);
    return result;
  }

  TempDir base_;
  DovecotServer server_;
  RecordingSink sink_;
  DriverHooks hooks_;
};

TEST_F(PipelinedPassTest, ResultsEqualThoseOfLockStep) {
  // The comparison means something only if this server offers pipelining.
  PopClient probe;
  ASSERT_EQ(probe.Connect("127.0.0.1", std::to_string(server_.port())), 1);
  ASSERT_EQ(probe.Login("ann", "secret"), 1);
  ASSERT_EQ(probe.RequestCapabilities(), 1);
  ASSERT_TRUE(probe.HasCapability("PIPELINING"));
  probe.Logout();

  const PassResult lock_step = Run("ann", false);
  const PassResult pipelined = Run("bob", true);

  EXPECT_EQ(pipelined.log, lock_step.log);
  // Both mailboxes got the same messages in the same order: their ids
  // differ only in the mailbox's own validity part.
  ASSERT_EQ(lock_step.marker.size(), 16u);
  EXPECT_EQ(pipelined.marker.substr(0, 8), lock_step.marker.substr(0, 8));
  EXPECT_EQ(pipelined.saved, lock_step.saved);
  EXPECT_EQ(pipelined.left_on_server, lock_step.left_on_server);
  // And lock-step did what it always has.
  EXPECT_EQ(lock_step.left_on_server, kMessages - kMessages / 3);
  EXPECT_EQ(lock_step.saved.find("keep 5"), std::string::npos);
  EXPECT_NE(lock_step.saved.find("delete 12"), std::string::npos);
}

// The connection is lost in the middle of a window: the log and the marker
// are those of the same loss in lock-step (mail_processor_pass_test).
TEST(PipelinedLossTest, AMessageLostInTheWindowKeepsTheMarkerBeforeIt) {
  ScriptedServer server;
  server.Send("+OK ready\r\n").Expect("USER ann").Send("+OK\r\n").Expect("PASS secret");
  server.Send("+OK in\r\n").Expect("STAT").Send("+OK 3 300\r\n").Expect("UIDL");
  server.Send("+OK\r\n1 id-1\r\n2 id-2\r\n3 id-3\r\n.\r\n");
  server.Expect("CAPA").Send("+OK\r\nPIPELINING\r\n.\r\n");
  server.Expect("LIST 1").Expect("LIST 2").Expect("LIST 3");
  server.Send("+OK 1 40\r\n+OK 2 40\r\n+OK 3 40\r\n");
  server.Expect("RETR 1").Expect("RETR 2").Expect("RETR 3");
  server.Send("+OK\r\nSubject: one\r\n\r\nx\r\n.\r\n").Close();
  server.Start();
  TempDir base;
  RecordingSink sink;
  DriverHooks hooks;
  StartupOptions options;
  options.base_directory = base.path();
  options.profile_path = base.File("quor.INI");
  options.timings.pop_reply_wait_seconds = 5;
  Lifecycle app(options, &sink, hooks);
  app.LoadConfiguration();
  MailboxAccount account;
  account.server = server.host_text();
  account.user = "ann";
  account.password = "secret";
  app.store().Install({{}, {account}, {}});
  const size_t before = sink.lines.size();

  ASSERT_EQ(app.processor().RunPass(), 0);

  EXPECT_EQ(Lines(sink.lines.begin() + static_cast<long>(before) + 1, sink.lines.end()),
            (Lines{"--> 3 new messages found.", "--> Retrieving message 1 of 3...",
                   "--> Retrieving message 2 of 3...", "ERROR - General network error.",
                   "--> Retrieving message 3 of 3...", "ERROR - General network error.",
                   "Processing completed."}));
  EXPECT_EQ(app.configuration().mailboxes[0].last_message, "id-1");
  EXPECT_EQ(app.processor().last_report().mailboxes_not_checked, 1);
  EXPECT_EQ(server.Errors(), Lines{});
}

}  // namespace

}  // namespace quor
