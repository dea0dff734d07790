// Send and forward through protected, logged-in SMTP sessions: mail that
// reaches aiosmtpd over STARTTLS and over TLS from the first byte, and the
// one log line of each way a session can fail to be secured or logged in,
// with what the scripted server received (never the mail, never the
// password).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/message_actions.h"
#include "fixtures/recording_sink.h"
#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_certificates.h"

namespace quor {

namespace {

using Kind = TestCertificates::Kind;
using Lines = std::vector<std::string>;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const TestCertificates& Certificates() { return TestCertificates::Shared(); }

constexpr char kPassword[] = "s3cret-pw";

AgentAction SendAction(const std::string& mailto) {
  AgentAction action("Send an Outgoing Message", ActionType::kSend);
  action.SetProperty("mailto", mailto);
  action.SetProperty("subject", "Report");
  return action;
}

class MessageActionTlsTest : public ::testing::Test {
 protected:
  MessageActionTlsTest() {
    settings_.email_address = "agent@example.com";
    settings_.smtp_user_name = "ann";
    settings_.smtp_password = kPassword;
    settings_.certificate_authority_file = Certificates().authority_file();
    context_.smtp_reply_wait_seconds = 5;
    message_.subject = "Order 42";
    message_.from = "Ann Smith <ann@example.org>";
    message_.text = "Please send 3 boxes.\n";
    context_.message = &message_;
  }

  void ExpectNoPasswordLogged() {
    for (const std::string& line : log_.lines) EXPECT_THAT(line, Not(HasSubstr(kPassword)));
  }

  RecordingSink log_;
  Settings settings_;
  ActionContext context_{.log = log_, .settings = settings_};
  MailMessage message_;
  FieldMap fields_;
};

TEST_F(MessageActionTlsTest, SendGoesThroughStartTlsWithTheLogin) {
  SmtpServer server(
      {ConnectionSecurity::kStartTls, Certificates().Pair(Kind::kValid), "ann", kPassword, false});
  settings_.smtp_server = server.host_text();
  settings_.smtp_security = ConnectionSecurity::kStartTls;
  SendMessageAction(SendAction("bob@example.com"), fields_, context_);
  EXPECT_EQ(log_.lines, (Lines{"--> Sending new message...", "[SMTP] From: <agent@example.com>",
                               "[SMTP] To: <bob@example.com>"}));
  ASSERT_TRUE(server.WaitForMessages(1)) << server.LogText();
  StoredMessage stored = server.Messages()[0];
  EXPECT_THAT(stored.tls, StartsWith("TLSv1."));
  EXPECT_EQ(stored.login, "ann");
  EXPECT_EQ(stored.rcpt_tos, Lines{"bob@example.com"});
}

TEST_F(MessageActionTlsTest, ForwardGoesThroughTlsFromTheFirstByte) {
  SmtpServer server({ConnectionSecurity::kImplicitTls, Certificates().Pair(Kind::kValid), "ann",
                     kPassword, false});
  settings_.smtp_server = server.host_text();
  settings_.smtp_security = ConnectionSecurity::kImplicitTls;
  AgentAction forward("Forward Incoming Message", ActionType::kForward);
  forward.SetProperty("mailto", "archive@example.net");
  ForwardMessageAction(forward, fields_, context_);
  EXPECT_EQ(log_.lines, (Lines{"--> Forwarding message...", "[SMTP] From: <ann@example.org>",
                               "[SMTP] To: <archive@example.net>"}));
  ASSERT_TRUE(server.WaitForMessages(1)) << server.LogText();
  StoredMessage stored = server.Messages()[0];
  EXPECT_THAT(stored.tls, StartsWith("TLSv1."));
  EXPECT_THAT(stored.data, HasSubstr("Please send 3 boxes."));
}

// Each way a session cannot be secured or logged in: one line, nothing of
// the mail or the login sent.
struct FailureCase {
  const char* name;
  ConnectionSecurity security;
  std::function<void(ScriptedServer&)> script;
  std::string line;
  bool login_sent = false;  // inside TLS, to a server that then refused it
};

class MessageActionTlsFailureTest : public MessageActionTlsTest,
                                    public ::testing::WithParamInterface<FailureCase> {};

TEST_P(MessageActionTlsFailureTest, LogsOneLineAndSendsNothing) {
  const FailureCase& c = GetParam();
  ScriptedServer server(std::chrono::seconds(5));
  c.script(server);
  server.Start();
  settings_.smtp_server = server.host_text();
  settings_.smtp_security = c.security;
  SendMessageAction(SendAction("bob@example.com"), fields_, context_);
  EXPECT_EQ(log_.lines, (Lines{"--> Sending new message...", c.line}));
  ASSERT_TRUE(server.WaitForConnectionEnd());
  for (const std::string& line : server.Received()) {
    EXPECT_THAT(line, Not(StartsWith("MAIL"))) << c.name;
    EXPECT_THAT(line, Not(StartsWith("RCPT"))) << c.name;
    EXPECT_THAT(line, Not(StartsWith("DATA"))) << c.name;
    if (!c.login_sent) {
      EXPECT_THAT(line, Not(StartsWith("AUTH"))) << c.name;
    }
  }
  ExpectNoPasswordLogged();
}

const std::string kGreeting = "220 fake ready\r\n";
const std::string kBye = "221 bye\r\n";

INSTANTIATE_TEST_SUITE_P(
    Failures, MessageActionTlsFailureTest,
    ::testing::Values(
        FailureCase{"StartTlsNotOffered", ConnectionSecurity::kStartTls,
                    [](ScriptedServer& server) {
                      server.Send(kGreeting)
                          .Expect("EHLO")
                          .Send("250-fake\r\n250 AUTH PLAIN\r\n")
                          .Expect("QUIT")
                          .Send(kBye);
                    },
                    "ERROR - TLS: server does not offer STARTTLS."},
        FailureCase{"StartTlsRefused", ConnectionSecurity::kStartTls,
                    [](ScriptedServer& server) {
                      server.Send(kGreeting)
                          .Expect("EHLO")
                          .Send("250-fake\r\n250 STARTTLS\r\n")
                          .Expect("STARTTLS")
                          .Send("454 4.7.0 not today\r\n")
                          .Expect("QUIT")
                          .Send(kBye);
                    },
                    "ERROR - TLS: server refused STARTTLS (454 4.7.0 not today)."},
        FailureCase{"ExpiredCertificate", ConnectionSecurity::kImplicitTls,
                    [](ScriptedServer& server) {
                      server.StartTls(Certificates().Pair(Kind::kExpired)).Send(kGreeting);
                    },
                    "ERROR - TLS: certificate expired."},
        FailureCase{"PlainTextOnTheTlsPort", ConnectionSecurity::kImplicitTls,
                    [](ScriptedServer& server) { server.Send(kGreeting); },
                    "ERROR - TLS: handshake failed (wrong version number)."},
        FailureCase{"LoginRefused", ConnectionSecurity::kImplicitTls,
                    [](ScriptedServer& server) {
                      server.StartTls(Certificates().Pair(Kind::kValid))
                          .Send(kGreeting)
                          .Expect("EHLO")
                          .Send("250-fake\r\n250 AUTH PLAIN LOGIN\r\n")
                          .Expect("AUTH PLAIN")
                          .Send("535 5.7.8 Authentication credentials invalid\r\n")
                          .Expect("QUIT")
                          .Send(kBye);
                    },
                    "ERROR - SMTP login failed: 535 5.7.8 Authentication credentials invalid",
                    true}),
    NameRowsBy(&FailureCase::name));

}  // namespace

}  // namespace quor
