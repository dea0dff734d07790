// Reading ahead in the POP3 client against scripted servers. The scripted
// stream lets the server answer only after the commands it expects have been
// written, so a script whose replies wait for a whole window of commands
// passes only for a client that pipelines, and one that checks each command
// before the next reply passes only for a client in lock-step.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fixtures/row_name.h"
#include "fixtures/scripted_stream.h"
#include "message/message_parser.h"
#include "net/pop_client.h"

namespace quor {

namespace {

using Lines = std::vector<std::string>;

const char kPipelining[] = "+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n";
const char kNoPipelining[] = "+OK\r\nUIDL\r\nTOP\r\n.\r\n";

std::string Message(const std::string& subject, const std::string& body = "text\r\n") {
  return "Subject: " + subject + "\r\n\r\n" + body;
}

// A positive RETR reply carrying `subject`, as it travels.
std::string Retrieved(const std::string& subject, const std::string& body = "text\r\n") {
  return "+OK\r\n" + Message(subject, body) + ".\r\n";
}

std::string ListReply(int number, long long size) {
  return "+OK " + std::to_string(number) + " " + std::to_string(size) + "\r\n";
}

class Pipelined {
 public:
  Pipelined() {
    script_.Send("+OK ready\r\n")
        .Expect("USER ann\r\n")
        .Send("+OK\r\n")
        .Expect("PASS secret\r\n")
        .Send("+OK in\r\n");
  }

  StreamScript& script() { return script_; }
  PopClient& client() { return client_; }

  bool LogIn() {
    return client_.Open(script_.Stream()) == 1 && client_.Login("ann", "secret") == 1;
  }

  // What the caller sees of message n: the result, then the subject of a
  // retrieved message or the reply of a refused one.
  std::string Retrieve(int number) {
    message_.Clear();
    int result = client_.RetrieveMessage(number, parser_);
    std::string outcome = std::to_string(result);
    if (result == 1) outcome += " " + std::string(message_.Subject());
    if (result == 0) outcome += " " + client_.LastReply();
    return outcome;
  }

  // The commands after the login.
  Lines Sent() const {
    Lines lines = script_.WrittenLines();
    return Lines(lines.begin() + 2, lines.end());
  }

 private:
  StreamScript script_;
  PopClient client_{1};
  MailMessage message_;
  MessageParser parser_{message_};
};

struct WindowCase {
  std::string name;
  bool allowed;                               // pipelining allowed to the client
  long size_limit;                            // bytes, 0: none
  int count;                                  // messages planned, 1 to count
  std::function<void(StreamScript&)> server;  // everything after the login
  Lines outcomes;                             // Retrieve(1) .. Retrieve(count)
  Lines sent;                                 // commands after the login, QUIT included
};

class PopClientWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(PopClientWindowTest, RetrievesAsInLockStep) {
  const WindowCase& row = GetParam();
  Pipelined session;
  row.server(session.script());
  ASSERT_TRUE(session.LogIn());
  session.client().set_size_limit(row.size_limit);
  session.client().set_pipelining_allowed(row.allowed);
  session.client().PlanRetrievals(1, row.count);
  Lines outcomes;
  for (int number = 1; number <= row.count; ++number) outcomes.push_back(session.Retrieve(number));
  session.client().Logout();
  EXPECT_EQ(outcomes, row.outcomes);
  EXPECT_EQ(session.Sent(), row.sent);
  EXPECT_EQ(session.script().Errors(), Lines{});
}

// Three small messages: the script of a server that answers in bursts, each
// only once the whole window of commands has come.
void Bursts(StreamScript& server) {
  server.Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\nLIST 3\r\n")
      .Send(ListReply(1, 40) + ListReply(2, 40) + ListReply(3, 40))
      .Expect("RETR 1\r\nRETR 2\r\nRETR 3\r\n")
      .Send(Retrieved("one") + Retrieved("two") + Retrieved("three"))
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n");
}

// The same replies one at a time, a byte per read, each only after the
// command that may follow the reply before it.
void Slowly(StreamScript& server) {
  server.Expect("CAPA\r\n")
      .Send(kPipelining, 1)
      .Expect("LIST 1\r\nLIST 2\r\nLIST 3\r\n")
      .Send(ListReply(1, 40), 1)
      .Expect("RETR 1\r\n")
      .Send(ListReply(2, 40), 1)
      .Expect("RETR 2\r\n")
      .Send(ListReply(3, 40), 1)
      .Expect("RETR 3\r\n")
      .Send(Retrieved("one"), 1)
      .Send(Retrieved("two"), 1)
      .Send(Retrieved("three"), 1)
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n");
}

// Every command waits for the reply before it, byte for byte.
std::function<void(StreamScript&)> LockStep(std::string capa_reply) {
  return [capa_reply](StreamScript& server) {
    if (!capa_reply.empty()) server.Expect("CAPA\r\n").Send(capa_reply);
    server.Expect("LIST 1\r\n")
        .Send(ListReply(1, 40))
        .Expect("RETR 1\r\n")
        .Send(Retrieved("one"))
        .Expect("LIST 2\r\n")
        .Send(ListReply(2, 40))
        .Expect("RETR 2\r\n")
        .Send(Retrieved("two"))
        .Expect("LIST 3\r\n")
        .Send(ListReply(3, 40))
        .Expect("RETR 3\r\n")
        .Send(Retrieved("three"))
        .Expect("QUIT\r\n")
        .Send("+OK bye\r\n");
  };
}

void DropsMidWindow(StreamScript& server) {
  server.Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\nLIST 3\r\n")
      .Send(ListReply(1, 40) + ListReply(2, 40) + ListReply(3, 40))
      .Expect("RETR 1\r\nRETR 2\r\nRETR 3\r\n")
      .Send(Retrieved("one") + "+OK\r\nSubject: two\r\n\r\nfirst line\r\nhalf a li")
      .Close();
}

// Message 1 is far larger than announced, message 2 claims to be above the
// limit, message 3 claims a negative size, message 4 is not there.
void ListSizesLie(StreamScript& server) {
  server.Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\nLIST 3\r\nLIST 4\r\n")
      .Send(ListReply(1, 10) + ListReply(2, 999999) + ListReply(3, -5) + "-ERR no such message\r\n")
      .Expect("RETR 1\r\nRETR 3\r\n")
      .Send(Retrieved("one", std::string(3000, 'x') + "\r\n") + Retrieved("three"))
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n");
}

const Lines kThreeRetrieved = {"1 one", "1 two", "1 three"};
const Lines kPipelinedCommands = {"CAPA",   "LIST 1", "LIST 2", "LIST 3",
                                  "RETR 1", "RETR 2", "RETR 3", "QUIT"};
const Lines kLockStepCommands = {"LIST 1", "RETR 1", "LIST 2", "RETR 2",
                                 "LIST 3", "RETR 3", "QUIT"};

Lines WithCapa(Lines commands) {
  commands.insert(commands.begin(), "CAPA");
  return commands;
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PopClientWindowTest,
    ::testing::Values(
        WindowCase{"announces pipelining and answers in bursts", true, 0, 3, Bursts,
                   kThreeRetrieved, kPipelinedCommands},
        WindowCase{"announces pipelining and answers slowly", true, 0, 3, Slowly, kThreeRetrieved,
                   kPipelinedCommands},
        WindowCase{"does not announce pipelining", true, 0, 3, LockStep(kNoPipelining),
                   kThreeRetrieved, WithCapa(kLockStepCommands)},
        WindowCase{"refuses CAPA", true, 0, 3, LockStep("-ERR unknown command\r\n"),
                   kThreeRetrieved, WithCapa(kLockStepCommands)},
        WindowCase{"pipelining not allowed", false, 0, 3, LockStep(""), kThreeRetrieved,
                   kLockStepCommands},
        WindowCase{"one message asks no capabilities",
                   true,
                   0,
                   1,
                   [](StreamScript& server) {
                     server.Expect("LIST 1\r\n")
                         .Send(ListReply(1, 40))
                         .Expect("RETR 1\r\n")
                         .Send(Retrieved("one"))
                         .Expect("QUIT\r\n")
                         .Send("+OK bye\r\n");
                   },
                   {"1 one"},
                   {"LIST 1", "RETR 1", "QUIT"}},
        WindowCase{"drops the connection in the middle of a window",
                   true,
                   0,
                   3,
                   DropsMidWindow,
                   // A message cut short keeps what came, as in lock-step.
                   {"1 one", "1 two", "-1"},
                   {"CAPA", "LIST 1", "LIST 2", "LIST 3", "RETR 1", "RETR 2", "RETR 3"}},
        WindowCase{"LIST sizes lie",
                   true,
                   1000,
                   4,
                   ListSizesLie,
                   {"1 one", "100", "1 three", "0 -ERR no such message\r\n"},
                   {"CAPA", "LIST 1", "LIST 2", "LIST 3", "LIST 4", "RETR 1", "RETR 3", "QUIT"}}),
    NameRowsBy(&WindowCase::name));

// A window ahead of a long mailbox holds kWindowMessages LIST commands, and
// RETR commands only for the bytes of kWindowBytes.
TEST(PopClientWindowBoundsTest, CommandsAheadStayWithinTheWindow) {
  constexpr int kCount = PopClient::kWindowMessages + 10;
  // Each message announces a third of the byte window: three fit at a time.
  constexpr long long kSize = PopClient::kWindowBytes / 3;
  Pipelined session;
  std::string lists;
  std::string list_replies;
  for (int number = 1; number <= PopClient::kWindowMessages + 1; ++number) {
    lists += "LIST " + std::to_string(number) + "\r\n";
    list_replies += ListReply(number, kSize);
  }
  session.script()
      .Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect(lists)
      .Send(list_replies)
      .Expect("RETR 1\r\nRETR 2\r\nRETR 3\r\n");
  ASSERT_TRUE(session.LogIn());
  session.client().PlanRetrievals(1, kCount);
  // Message 1 never comes: the client gives up at the reply wait.
  EXPECT_EQ(session.Retrieve(1), "-1");
  EXPECT_EQ(session.script().Errors(), Lines{});
}

// A message larger than the window is asked for only in its turn: DELE of
// the message before it is not held up behind it, nor does it wait in
// memory.
TEST(PopClientWindowBoundsTest, MessageLargerThanTheWindowWaitsForItsTurn) {
  const std::string large_body = std::string(70, 'x') + "\r\n";
  Pipelined session;
  session.script()
      .Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\n")
      .Send(ListReply(1, 40) + ListReply(2, PopClient::kWindowBytes + 1))
      .Expect("RETR 1\r\n")
      .Send(Retrieved("one"))
      .Expect("DELE 1\r\n")
      .Send("+OK deleted\r\n")
      .Expect("RETR 2\r\n")
      .Send(Retrieved("two", large_body))
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n");
  ASSERT_TRUE(session.LogIn());
  session.client().PlanRetrievals(1, 2);
  EXPECT_EQ(session.Retrieve(1), "1 one");
  EXPECT_EQ(session.client().DeleteMessage(1), 1);
  EXPECT_EQ(session.Retrieve(2), "1 two");
  session.client().Logout();
  EXPECT_EQ(session.script().Errors(), Lines{});
}

// An action deletes messages while later ones are on their way: DELE goes
// in the same session, after the commands already sent, and every message
// is still handed out.
TEST(PopClientDeleteAmidWindowTest, DeleGoesAfterTheCommandsOnTheirWay) {
  Pipelined session;
  session.script()
      .Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\nLIST 3\r\n")
      .Send(ListReply(1, 40) + ListReply(2, 40) + ListReply(3, 40))
      .Expect("RETR 1\r\nRETR 2\r\nRETR 3\r\n")
      .Send(Retrieved("one"))
      // The rest of the window is still on its way when DELE is sent.
      .Expect("DELE 1\r\n")
      .Send(Retrieved("two"), 7)
      .Send(Retrieved("three") + "+OK deleted\r\n")
      .Expect("DELE 2\r\n")
      .Send("-ERR locked\r\n")
      .Expect("DELE 3\r\n")
      .Send("+OK deleted\r\n")
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n");
  ASSERT_TRUE(session.LogIn());
  session.client().PlanRetrievals(1, 3);
  Lines outcomes;
  for (int number = 1; number <= 3; ++number) {
    outcomes.push_back(session.Retrieve(number));
    int deleted = session.client().DeleteMessage(number);
    outcomes.push_back(std::to_string(deleted) + " " + session.client().LastReply());
  }
  session.client().Logout();
  EXPECT_EQ(outcomes, (Lines{"1 one", "1 +OK deleted\r\n", "1 two", "0 -ERR locked\r\n", "1 three",
                             "1 +OK deleted\r\n"}));
  EXPECT_EQ(session.script().Errors(), Lines{});
}

// A server that goes while the replies before DELE are held: DELE fails as
// on a lost connection, and so does everything after it.
TEST(PopClientDeleteAmidWindowTest, ConnectionLostWhileHoldingFailsTheDelete) {
  Pipelined session;
  session.script()
      .Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\n")
      .Send(ListReply(1, 40) + ListReply(2, 40))
      .Expect("RETR 1\r\nRETR 2\r\n")
      .Send(Retrieved("one"))
      .Expect("DELE 1\r\n")
      .Send("+OK\r\nSubject: two\r\n")
      .Close();
  ASSERT_TRUE(session.LogIn());
  session.client().PlanRetrievals(1, 2);
  EXPECT_EQ(session.Retrieve(1), "1 one");
  EXPECT_LT(session.client().DeleteMessage(1), 0);
  EXPECT_EQ(session.Retrieve(2), "-1");
  EXPECT_EQ(session.script().Errors(), Lines{});
}

// The caller stops early: QUIT goes after the commands already sent, whose
// replies are read and dropped, so the server carries the QUIT out.
TEST(PopClientLogoutAmidWindowTest, QuitIsAnsweredAfterTheWindow) {
  Pipelined session;
  session.script()
      .Expect("CAPA\r\n")
      .Send(kPipelining)
      .Expect("LIST 1\r\nLIST 2\r\n")
      .Send(ListReply(1, 40) + ListReply(2, 40))
      .Expect("RETR 1\r\nRETR 2\r\n")
      .Send(Retrieved("one") + Retrieved("two"))
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n");
  ASSERT_TRUE(session.LogIn());
  session.client().PlanRetrievals(1, 2);
  EXPECT_EQ(session.Retrieve(1), "1 one");
  session.client().Logout();
  EXPECT_EQ(session.client().LastReply(), "+OK bye\r\n");
  EXPECT_TRUE(session.script().Finished());
  EXPECT_EQ(session.script().Errors(), Lines{});
}

}  // namespace

}  // namespace quor
