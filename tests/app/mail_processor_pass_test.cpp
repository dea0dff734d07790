// Whole passes against a real Dovecot POP3 server on loopback.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "app/lifecycle.h"
#include "fixtures/agent_builders.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/recording_sink.h"
#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string Message(const std::string& subject, const std::string& body) {
  return "From: Ann <ann@example.org>\nTo: bob@example.net\nSubject: " + subject +
         "\nDate: Mon, 7 Dec 2026 06:00:00 +0000\n\n" + body;
}

MailAgent SaveDataAgent(const std::string& name, const std::string& outfile,
                        const std::string& line) {
  MailAgent agent;
  agent.name = name;
  AgentAction save("Save Message Data to a File", ActionType::kSaveData);
  save.SetProperty("outfile", outfile);
  save.SetProperty("append", "1");
  save.SetProperty("savemethod", "2");
  save.SetProperty("linecount", "1");
  save.SetProperty("line0", line + "\n");
  agent.actions.push_back(save);
  return agent;
}

class PassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddUser("ann", "secret");
    server_.AddUser("bob", "hunter2");
    app_ = NewApp();
  }

  std::unique_ptr<Lifecycle> NewApp() {
    StartupOptions options;
    options.base_directory = base_.path();
    options.profile_path = base_.File("quor.INI");
    options.timings.pop_reply_wait_seconds = 5;
    auto app = std::make_unique<Lifecycle>(options, &sink_, hooks_);
    app->LoadConfiguration();
    return app;
  }

  static MailboxAccount Account(const std::string& server, const std::string& user,
                                const std::string& password, const std::string& marker = "") {
    MailboxAccount account;
    account.server = server;
    account.user = user;
    account.password = password;
    account.last_message = marker;
    return account;
  }

  void Install(std::vector<MailboxAccount> mailboxes, std::vector<MailAgent> agents = {},
               Settings settings = {}) {
    settings.log_file = base_.File("quor.log");
    app_->store().Install({settings, std::move(mailboxes), std::move(agents)});
  }

  // Runs a pass and returns the lines it logged.
  std::vector<std::string> RunPass() {
    size_t before = sink_.lines.size();
    EXPECT_EQ(app_->processor().RunPass(), 0);
    return std::vector<std::string>(sink_.lines.begin() + static_cast<long>(before),
                                    sink_.lines.end());
  }

  std::string Header(const std::string& user, const std::string& server) {
    return "] - Checking mailbox " + user + "@" + server + "...";
  }

  TempDir base_;
  DovecotServer server_;
  RecordingSink sink_;
  DriverHooks hooks_;
  std::unique_ptr<Lifecycle> app_;
};

TEST_F(PassTest, FirstRunTakesEverythingAndTheSecondFindsNothingNew) {
  for (int i = 1; i <= 3; ++i) server_.Deliver("ann", Message("m" + std::to_string(i), "x\n"));
  Install({Account(server_.host_text(), "ann", "secret")});

  auto lines = RunPass();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_THAT(lines[0], StartsWith("["));
  EXPECT_THAT(lines[0], HasSubstr(Header("ann", server_.host_text())));
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.end()),
              ElementsAre("--> 3 new messages found.", "--> Retrieving message 1 of 3...",
                          "--> Retrieving message 2 of 3...", "--> Retrieving message 3 of 3...",
                          "Processing completed."));
  std::string marker = app_->configuration().mailboxes[0].last_message;
  EXPECT_FALSE(marker.empty());

  lines = RunPass();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.end()),
              ElementsAre("--> No new messages found.", "Processing completed."));
  EXPECT_EQ(app_->configuration().mailboxes[0].last_message, marker);
  EXPECT_EQ(server_.Count("ann"), 3);  // nothing deleted
}

TEST_F(PassTest, AMarkerWhoseMessageIsGoneMakesEveryMessageNew) {
  server_.Deliver("ann", Message("a", "x\n"));
  server_.Deliver("ann", Message("b", "x\n"));
  Install({Account(server_.host_text(), "ann", "secret", "long-gone-uid")});
  auto lines = RunPass();
  EXPECT_EQ(lines[1], "--> 2 new messages found.");
  EXPECT_EQ(lines[2], "--> Retrieving message 1 of 2...");
}

TEST_F(PassTest, TwoMailboxesWithTheSecondUnreachable) {
  for (int i = 1; i <= 3; ++i) server_.Deliver("ann", Message("old", "x\n"));
  MailAgent everything;
  everything.name = "Everything";
  Install({Account(server_.host_text(), "ann", "secret")}, {everything});
  RunPass();  // the marker now names message 3
  std::string marker = app_->configuration().mailboxes[0].last_message;
  server_.Deliver("ann", Message("new 4", "x\n"));
  server_.Deliver("ann", Message("new 5", "x\n"));

  std::string dead = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  auto mailboxes = app_->configuration().mailboxes;
  mailboxes.push_back(Account(dead, "bob", "hunter2"));
  Install(mailboxes, {everything});
  ASSERT_EQ(app_->configuration().mailboxes[0].last_message, marker);

  auto lines = RunPass();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_THAT(lines[0], HasSubstr(Header("ann", server_.host_text())));
  EXPECT_EQ(lines[1], "--> 2 new messages found.");
  EXPECT_EQ(lines[2], "--> Retrieving message 4 of 5...");
  EXPECT_EQ(lines[3], "--> [Agent Everything]: processing message 4...");
  EXPECT_EQ(lines[4], "--> Retrieving message 5 of 5...");
  EXPECT_EQ(lines[5], "--> [Agent Everything]: processing message 5...");
  EXPECT_THAT(lines[6], HasSubstr(Header("bob", dead)));
  EXPECT_EQ(lines[7], "ERROR - Failed to connect to POP server.");
  EXPECT_EQ(lines[8], "Processing completed.");
  EXPECT_NE(app_->configuration().mailboxes[0].last_message, marker);
}

TEST_F(PassTest, RefusedLoginLogsTheServersLineAndMovesOn) {
  server_.Deliver("bob", Message("for bob", "x\n"));
  Install({Account(server_.host_text(), "ann", "wrong"),
           Account(server_.host_text(), "bob", "hunter2")});
  auto lines = RunPass();
  ASSERT_GE(lines.size(), 4u);
  // Logged as received, without the reply's own line end.
  EXPECT_EQ(lines[1], "-ERR [AUTH] Authentication failed.");
  EXPECT_THAT(lines[2], HasSubstr(Header("bob", server_.host_text())));
  EXPECT_EQ(lines[3], "--> 1 new messages found.");
  EXPECT_EQ(app_->configuration().mailboxes[0].last_message, "");
}

TEST_F(PassTest, MessageAboveTheSizeLimitIsSkippedForGood) {
  server_.Deliver("ann", Message("small", "x\n"));
  server_.Deliver("ann", Message("big", std::string(3000, 'y') + "\n"));
  MailAgent everything;
  everything.name = "All";
  Settings settings;
  settings.size_limit_kilobytes = 1;  // 1000 bytes
  Install({Account(server_.host_text(), "ann", "secret")}, {everything}, settings);
  auto lines = RunPass();
  EXPECT_THAT(
      std::vector<std::string>(lines.begin() + 1, lines.end()),
      ElementsAre("--> 2 new messages found.", "--> Retrieving message 1 of 2...",
                  "--> [Agent All]: processing message 1...", "--> Retrieving message 2 of 2...",
                  "Warning: Message is larger than maximum allowed size!",
                  "Processing completed."));
  lines = RunPass();
  EXPECT_EQ(lines[1], "--> No new messages found.");
}

TEST_F(PassTest, MatchingAgentsRunInOrderWithTheirOwnVariables) {
  server_.Deliver("ann", Message("Order 42", "Order: 1234\nName: Ann Lee\n"));
  MailAgent first = SaveDataAgent("First", base_.File("first.txt"), "{order}|{Subject}");
  first.extractions.push_back(
      {MarkerKind::kText, "Order: ", MarkerKind::kEndOfLine, "{End of line}", "order"});
  first.conditions.push_back({"Subject", "contains", "Order", ConditionJoin::kAnd});
  MailAgent disabled = SaveDataAgent("Disabled", base_.File("disabled.txt"), "never");
  disabled.enabled = false;
  MailAgent second = SaveDataAgent("Second", base_.File("second.txt"), "[{order}]{Mailbox}");
  MailAgent unmatched = SaveDataAgent("Unmatched", base_.File("unmatched.txt"), "never");
  unmatched.conditions.push_back({"Subject", "is", "something else", ConditionJoin::kAnd});
  Install({Account(server_.host_text(), "ann", "secret")}, {first, disabled, second, unmatched});

  auto lines = RunPass();
  EXPECT_THAT(lines, ::testing::Contains("--> [Agent First]: processing message 1..."));
  EXPECT_THAT(lines, ::testing::Contains("--> Extracted {order}: '1234'"));
  EXPECT_THAT(lines, ::testing::Not(::testing::Contains(HasSubstr("Agent Disabled"))));
  EXPECT_THAT(lines, ::testing::Not(::testing::Contains(HasSubstr("Agent Unmatched"))));
  auto first_line =
      std::find(lines.begin(), lines.end(), "--> [Agent First]: processing message 1...");
  auto second_line =
      std::find(lines.begin(), lines.end(), "--> [Agent Second]: processing message 1...");
  ASSERT_NE(second_line, lines.end());
  EXPECT_LT(first_line, second_line);
  EXPECT_EQ(ReadWholeFile(base_.File("first.txt")), "1234|Order 42\n");
  EXPECT_EQ(ReadWholeFile(base_.File("second.txt")), "[]ann@" + server_.host_text() + "\n");
  EXPECT_FALSE(FileExists(base_.File("disabled.txt")));
  EXPECT_FALSE(FileExists(base_.File("unmatched.txt")));
}

TEST_F(PassTest, AMarkerNeverNamesAMessageThatWasDeleted) {
  // Orders are deleted, the rest stays: after the pass the marker must name
  // a message still there, or every message would be new again.
  for (const char* subject : {"Order 1", "note", "Order 2"}) {
    server_.Deliver("ann", Message(subject, "x\n"));
  }
  MailAgent orders;
  orders.name = "Orders";
  orders.conditions.push_back({"Subject", "contains", "Order", ConditionJoin::kAnd});
  orders.actions.push_back(AgentAction("Delete Incoming Message", ActionType::kDelete));
  MailAgent everything = SaveDataAgent("Everything", base_.File("seen.txt"), "{Subject}");
  Install({Account(server_.host_text(), "ann", "secret")}, {orders, everything});
  RunPass();
  ASSERT_EQ(server_.Count("ann"), 1);
  server_.Deliver("ann", Message("later", "x\n"));

  auto lines = RunPass();
  EXPECT_EQ(lines[1], "--> 1 new messages found.");
  EXPECT_EQ(ReadWholeFile(base_.File("seen.txt")), "Order 1\nnote\nOrder 2\nlater\n");

  // With nothing left behind, the marker is empty: the next message is new.
  Install({Account(server_.host_text(), "bob", "hunter2")}, {orders});
  server_.Deliver("bob", Message("Order 3", "x\n"));
  RunPass();
  EXPECT_EQ(app_->configuration().mailboxes[0].last_message, "");
  server_.Deliver("bob", Message("Order 4", "x\n"));
  EXPECT_EQ(RunPass()[1], "--> 1 new messages found.");
}

TEST_F(PassTest, AMessageLostToTheNetworkKeepsTheMarkerBeforeIt) {
  ScriptedServer server;
  server.Send("+OK ready\r\n").Expect("USER ann").Send("+OK\r\n").Expect("PASS secret");
  server.Send("+OK in\r\n").Expect("STAT").Send("+OK 3 300\r\n").Expect("UIDL");
  server.Send("+OK\r\n1 id-1\r\n2 id-2\r\n3 id-3\r\n.\r\n");
  // A server without pipelining: lock-step (mail_processor_pipelining_test
  // has the same loss in the middle of a window).
  server.Expect("CAPA").Send("-ERR unknown command\r\n");
  server.Expect("LIST 1").Send("+OK 1 40\r\n").Expect("RETR 1");
  server.Send("+OK\r\nSubject: one\r\n\r\nx\r\n.\r\n").Expect("LIST 2").Close();
  server.Start();
  Install({Account(server.host_text(), "ann", "secret")});

  auto lines = RunPass();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.end()),
              ElementsAre("--> 3 new messages found.", "--> Retrieving message 1 of 3...",
                          "--> Retrieving message 2 of 3...", "ERROR - General network error.",
                          "--> Retrieving message 3 of 3...", "ERROR - General network error.",
                          "Processing completed."));
  EXPECT_EQ(app_->configuration().mailboxes[0].last_message, "id-1");
  EXPECT_EQ(app_->processor().last_report().mailboxes_not_checked, 1);
}

TEST_F(PassTest, ActionsOfUnknownTypesDoNothing) {
  server_.Deliver("ann", Message("seven", "x\n"));
  MailAgent agent;
  agent.name = "Odd";
  agent.actions.push_back(AgentAction("", ActionType{7}));
  agent.actions.push_back(AgentAction("", ActionType{-1}));
  Install({Account(server_.host_text(), "ann", "secret")}, {agent});
  auto lines = RunPass();
  EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.end()),
              ElementsAre("--> 1 new messages found.", "--> Retrieving message 1 of 1...",
                          "--> [Agent Odd]: processing message 1...", "Processing completed."));
}

// A server whose unique ids no marker can keep: the ids are read before any
// message, and the mailbox is skipped whole, whatever the marker holds.
struct ListingCase {
  std::string label;
  std::string marker;
  std::string listing;  // the UIDL listing of two messages, without its end
};

class InvalidUniqueIdTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(InvalidUniqueIdTest, SkipsTheMailboxAndHandlesNothing) {
  ScriptedServer server;
  server.Send("+OK ready\r\n")
      .Expect("USER ann")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("+OK\r\n")
      .Expect("STAT")
      .Send("+OK 2 200\r\n")
      .Expect("UIDL")
      .Send("+OK\r\n" + GetParam().listing + ".\r\n")
      .Expect("QUIT")
      .Send("+OK bye\r\n");
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
  account.last_message = GetParam().marker;
  app.store().Install({{}, {account}, {SaveDataAgent("Any", base.File("out.txt"), "handled")}});
  size_t before = sink.lines.size();

  ASSERT_EQ(app.processor().RunPass(), 0);

  std::vector<std::string> lines(sink.lines.begin() + static_cast<long>(before), sink.lines.end());
  ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
  EXPECT_THAT(lines[0], HasSubstr("] - Checking mailbox ann@"));
  EXPECT_EQ(lines[1], "ERROR - The server sent an invalid unique id.");
  EXPECT_EQ(lines[2], "Processing completed.");
  EXPECT_TRUE(server.WaitForConnectionEnd());
  EXPECT_EQ(server.Received(),
            (std::vector<std::string>{"USER ann", "PASS secret", "STAT", "UIDL", "QUIT"}));
  EXPECT_FALSE(FileExists(base.File("out.txt")));
  EXPECT_EQ(app.configuration().mailboxes[0].last_message, GetParam().marker);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, InvalidUniqueIdTest,
    ::testing::Values(ListingCase{"zero byte", "", std::string("1 good\r\n2 bad\0id\r\n", 18)},
                      ListingCase{"escape", "", "1 good\r\n2 bad\x1bid\r\n"},
                      ListingCase{"delete", "", "1 good\r\n2 bad\x7fid\r\n"},
                      ListingCase{"byte above 0x7e", "", "1 good\r\n2 caf\xe9\r\n"},
                      ListingCase{"no id on its line", "", "1 good\r\n2\r\n"},
                      ListingCase{"message missing from the listing", "", "1 good\r\n"},
                      ListingCase{"marker names a message", "good", "1 good\r\n2 bad\x01id\r\n"}),
    NameRowsBy(&ListingCase::label));

}  // namespace

}  // namespace quor
