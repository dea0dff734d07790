// The SMTP conversation, byte for byte, against scripted servers: the
// envelope, the data section's transparency, replies in every shape, and
// servers that refuse, fall silent or go away. What the content is made of
// is the delivery's business (tests/engine/mail_delivery_test.cpp).

#include "net/smtp_client.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "fixtures/recording_sink.h"
#include "fixtures/scripted_server.h"
#include "fixtures/scripted_stream.h"
#include "fixtures/test_files.h"
#include "net/host_lookup.h"

namespace quor {

namespace {

using Lines = std::vector<std::string>;

const std::string kHelo = "HELO " + LocalHostName() + "\r\n";

// Writes the given bytes as the message's content.
ContentWriter Content(std::string text) {
  return [text](ByteOutput& data) {
    data.Write(text.data(), text.size());
    return 1;
  };
}

MailEnvelope Envelope(std::vector<std::string> recipients = {"bob"}) {
  return MailEnvelope{"ann@example.com", std::move(recipients)};
}

class SmtpClientTest : public ::testing::Test {
 protected:
  // Greeting and HELO accepted.
  StreamScript& Greeted() {
    return script_.Send("220 fake ready\r\n").Expect(kHelo).Send("250 hello\r\n");
  }
  // Greeted, one sender and one recipient accepted, DATA accepted.
  StreamScript& ReadyForData() {
    return Greeted()
        .Expect("MAIL FROM: <ann@example.com>\r\n")
        .Send("250 ok\r\n")
        .Expect("RCPT TO: <bob>\r\n")
        .Send("250 ok\r\n")
        .Expect("DATA\r\n")
        .Send("354 go ahead\r\n");
  }
  int Open() { return client_.Open(script_.Stream()); }

  StreamScript script_;
  RecordingSink log_;
  SmtpClient client_{&log_, 5};
};

TEST_F(SmtpClientTest, SendsEnvelopeContentAndQuit) {
  Greeted()
      .Expect("MAIL FROM: <ann@example.com>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <ann>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: < bob>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <carl>\r\n")
      .Send("250 ok\r\n")
      .Expect("DATA\r\n")
      .Send("354 go ahead\r\n")
      // The transparency dot, CR LF line ends, then the terminating dot.
      .Expect("Subject: x\r\n\r\n..hidden\r\nline\r\n\r\n.\r\n")
      .Send("250 queued\r\n")
      .Expect("QUIT\r\n")
      .Send("221 bye\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(
      client_.SendMail(Envelope({"ann", " bob", "carl"}), Content("Subject: x\n\n.hidden\nline\n")),
      1);
  EXPECT_EQ(client_.LastReply(), "250 queued\r\n");
  client_.EndSession();
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(script_.Errors(), Lines{});
  EXPECT_TRUE(script_.Finished());
  EXPECT_EQ(log_.lines, (Lines{"[SMTP] From: <ann@example.com>", "[SMTP] To: <ann>",
                               "[SMTP] To: < bob>", "[SMTP] To: <carl>"}));
}

TEST_F(SmtpClientTest, RefusingGreetingStillLeadsToHelo) {
  script_.Send("554 go away\r\n").Expect(kHelo).Send("250 hello anyway\r\n");
  EXPECT_EQ(Open(), 1);
  EXPECT_EQ(client_.LastReply(), "250 hello anyway\r\n");
}

// A refusal at each step: the result is 0, the refusing line is LastReply()
// as it stands, and nothing after that step is sent but QUIT.
struct RefusalCase {
  const char* name;
  std::vector<std::string> accepted;  // commands accepted before the refusal
  std::string refused;
};

class SmtpRefusalTest : public SmtpClientTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(SmtpRefusalTest, RefusalEndsTheSend) {
  const RefusalCase& c = GetParam();
  script_.Send("220 ready\r\n");
  for (const std::string& command : c.accepted) script_.Expect(command).Send("250 ok\r\n");
  script_.Expect(c.refused).Send("550 5.1.1 refused here\r\n");
  script_.Expect("QUIT\r\n").Send("221 bye\r\n");
  int opened = Open();
  int result = opened == 1 ? client_.SendMail(Envelope({"ann", " bob"}), Content("x\n")) : opened;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(client_.LastReply(), "550 5.1.1 refused here\r\n");
  client_.EndSession();
  EXPECT_EQ(script_.Errors(), Lines{});
  EXPECT_TRUE(script_.Finished());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SmtpRefusalTest,
    ::testing::Values(RefusalCase{"Helo", {}, kHelo},
                      RefusalCase{"Mail", {kHelo}, "MAIL FROM: <ann@example.com>\r\n"},
                      RefusalCase{"SecondRcpt",
                                  {kHelo, "MAIL FROM: <ann@example.com>\r\n", "RCPT TO: <ann>\r\n"},
                                  "RCPT TO: < bob>\r\n"},
                      RefusalCase{"Data",
                                  {kHelo, "MAIL FROM: <ann@example.com>\r\n", "RCPT TO: <ann>\r\n",
                                   "RCPT TO: < bob>\r\n"},
                                  "DATA\r\n"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(SmtpClientTest, RefusalOfTheMessageAfterTheDot) {
  ReadyForData().Expect("body\r\n\r\n.\r\n").Send("552 too big\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.SendMail(Envelope(), Content("body\n")), 0);
  EXPECT_EQ(client_.LastReply(), "552 too big\r\n");
}

TEST_F(SmtpClientTest, MultiLineRepliesKeepLaterRepliesInStep) {
  // Each reply split across reads as well.
  script_.Send("220-first greeting line\r\n220-second\r\n220 ready\r\n", 5)
      .Expect(kHelo)
      .Send("250-hello\r\n250 pleased\r\n", 3)
      .Expect("MAIL FROM: <ann@example.com>\r\n")
      .Send("250 ok\r\n", 1)
      .Expect("RCPT TO: <bob>\r\n")
      .Send("250 ok\r\n")
      .Expect("DATA\r\n")
      .Send("354 go\r\n")
      .Expect("x\r\n\r\n.\r\n")
      .Send("554 rejected after all\r\n", 4);
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.LastReply(), "250 pleased\r\n");
  // Read one line per reply, the greeting's second line would pass for the
  // HELO reply and the DATA reply for the final one: a refusal reported as sent.
  EXPECT_EQ(client_.SendMail(Envelope(), Content("x\n")), 0);
  EXPECT_EQ(client_.LastReply(), "554 rejected after all\r\n");
  EXPECT_EQ(script_.Errors(), Lines{});
}

TEST_F(SmtpClientTest, OverlongReplyLineIsKeptInPartAndReadWhole) {
  script_.Send("220 ready\r\n")
      .Expect(kHelo)
      .Send("250 " + std::string(3000, 'a') + "\r\n", 700)
      .Expect("MAIL FROM: <ann@example.com>\r\n")
      .Send("250 sender ok\r\n")
      .Expect("RCPT TO: <bob>\r\n")
      .Send("250 ok\r\n")
      .Expect("DATA\r\n")
      .Send("554 no data today\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.LastReply().size(), SmtpClient::kReplyKeep);
  EXPECT_EQ(client_.LastReply().rfind("250 aaa", 0), 0u);
  // Each later reply belongs to its own command, not to the rest of the line.
  EXPECT_EQ(client_.SendMail(Envelope(), Content("x\n")), 0);
  EXPECT_EQ(client_.LastReply(), "554 no data today\r\n");
}

TEST_F(SmtpClientTest, EndlessReplyLineIsGivenUpOn) {
  script_.Send("220 " + std::string(size_t{1} << 20, 'a'), 65536);
  EXPECT_EQ(Open(), -1);
  EXPECT_FALSE(client_.connected());
}

TEST_F(SmtpClientTest, SilentServerTimesOut) {
  script_.Silence();
  EXPECT_EQ(Open(), -1);
  EXPECT_FALSE(client_.connected());
}

TEST_F(SmtpClientTest, ServerFallingSilentMidLineTimesOut) {
  script_.Send("220 half a gree").Silence();
  EXPECT_EQ(Open(), -ETIMEDOUT);
  EXPECT_FALSE(client_.connected());
}

TEST_F(SmtpClientTest, TimeOutAbandonsTheConversationWithoutQuit) {
  Greeted().Expect("MAIL FROM: <ann@example.com>\r\n").Silence();
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.SendMail(Envelope(), Content("x\n")), -1);
  EXPECT_FALSE(client_.connected());
  client_.EndSession();
  EXPECT_EQ(script_.Written(), kHelo + "MAIL FROM: <ann@example.com>\r\n");  // no QUIT
}

TEST_F(SmtpClientTest, DropAfterDataIsNotReportedAsSent) {
  ReadyForData().Close();
  ASSERT_EQ(Open(), 1);
  EXPECT_LT(client_.SendMail(Envelope(), Content(std::string(300000, 'x') + "\n")), 0);
  EXPECT_FALSE(client_.connected());
}

TEST_F(SmtpClientTest, ContentThatCannotBeMadeDropsTheHalfMessage) {
  ReadyForData();
  ASSERT_EQ(Open(), 1);
  int result = client_.SendMail(Envelope(), [](ByteOutput& data) {
    data.Write("partial\n", 8);
    return -ENOENT;
  });
  EXPECT_EQ(result, -ENOENT);
  // Without the terminating dot the server discards what it got.
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(script_.Written().find("\r\n.\r\n"), std::string::npos);
}

TEST_F(SmtpClientTest, UnreachableServerGivesNegativeConnect) {
  SmtpClient client(nullptr, 1);
  EXPECT_LT(client.Connect("127.0.0.1:" + std::to_string(FreeLoopbackPort()), "smtp"), 0);
  EXPECT_LT(client.SendMail(Envelope(), Content("x\n")), 0);
}

// An envelope without a recipient, or with a line break in an address (which
// would become a command of its own), is refused before anything is sent.
TEST_F(SmtpClientTest, BadEnvelopeSendsNothing) {
  const MailEnvelope envelopes[] = {
      {"ann@example.com", {}},
      {"ann@example.com>\r\nRCPT TO:<evil@example.com", {"bob"}},
      {"ann@example.com", {"bob", "carl\rDATA"}},
  };
  Greeted();
  ASSERT_EQ(Open(), 1);
  for (const MailEnvelope& envelope : envelopes) {
    EXPECT_EQ(client_.SendMail(envelope, Content("x\n")), -1) << envelope.sender;
  }
  EXPECT_EQ(script_.Written(), kHelo);
  EXPECT_TRUE(client_.connected());
}

// ---- Servers that drip, against the real clock ------------------------------
// Each byte comes (or is taken) well within the reply wait, so only a bound on
// the whole reply or the whole transfer ends the wait.

TEST(SmtpClientDripTest, DrippingGreetingEndsAtTheReplyWait) {
  ScriptedServer server;
  server.Drip("220 " + std::string(60, 'g') + "\r\n", 1, std::chrono::milliseconds(100));
  server.Start();
  SmtpClient client(nullptr, 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_LT(client.Connect("127.0.0.1", server.port_text()), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_FALSE(client.connected());
}

TEST(SmtpClientDripTest, ServerTakingDataAtATrickleIsGivenUpOnAtThePace) {
  ScriptedServer server;
  server.set_receive_buffer(4096);
  server.Send("220 ready\r\n")
      .Expect("HELO")
      .Send("250 hello\r\n")
      .Expect("MAIL FROM:")
      .Send("250 ok\r\n")
      .Expect("RCPT TO:")
      .Send("250 ok\r\n")
      .Expect("DATA")
      .Send("354 go ahead\r\n")
      // 10 KB a second: a 16 KB send never waits the reply wait of 2 s.
      .Trickle(1000, std::chrono::milliseconds(100));
  server.Start();
  SmtpClient client(nullptr, 2);
  // Far more than the system's buffers take in while the server trickles.
  client.set_transfer_pace({.grace_seconds = 1, .minimum_bytes_per_second = 8000000});
  ASSERT_EQ(client.Connect("127.0.0.1", server.port_text()), 1);
  // 16 MB, more than the buffers hold: at the trickle's rate, almost half an
  // hour.
  const std::string line = std::string(998, 'd') + "\n";
  auto start = std::chrono::steady_clock::now();
  int result = client.SendMail(Envelope(), [&line](ByteOutput& data) {
    for (int i = 0; i < 16000 && !data.Failed(); ++i) data.Write(line.data(), line.size());
    return 1;
  });
  EXPECT_EQ(result, -ETIMEDOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_FALSE(client.connected());
}

}  // namespace

}  // namespace quor
