// The SMTP client's protected sessions and logins: EHLO, STARTTLS and AUTH
// byte for byte against scripted streams (refusals and servers that leave
// STARTTLS out included), then real TLS with scripted servers, and mail
// handed to aiosmtpd with STARTTLS, TLS from the first byte and required
// logins.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/scripted_stream.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_certificates.h"
#include "net/host_lookup.h"
#include "net/smtp_client.h"

namespace quor {

namespace {

using Kind = TestCertificates::Kind;
using Lines = std::vector<std::string>;

const std::string kEhlo = "EHLO " + LocalHostName();
// "\0ann\0secret" and its parts, as AUTH carries them.
const std::string kPlainToken = "AGFubgBzZWNyZXQ=";
const std::string kUserToken = "YW5u";
const std::string kPasswordToken = "c2VjcmV0";
const SmtpLogin kAnn{"ann", "secret"};

const TestCertificates& Certificates() { return TestCertificates::Shared(); }
TlsOptions TrustingTheTestAuthority() { return {Certificates().authority_file()}; }

ContentWriter Content(std::string text) {
  return [text](ByteOutput& data) {
    data.Write(text.data(), text.size());
    return 1;
  };
}

TEST(SmtpDefaultServiceTest, PortFollowsTheSecurity) {
  EXPECT_EQ(SmtpClient::DefaultService(ConnectionSecurity::kNone), "25");
  EXPECT_EQ(SmtpClient::DefaultService(ConnectionSecurity::kStartTls), "587");
  EXPECT_EQ(SmtpClient::DefaultService(ConnectionSecurity::kImplicitTls), "465");
}

// ---- EHLO, STARTTLS and AUTH, byte for byte ---------------------------------

class SmtpLoginScriptTest : public ::testing::Test {
 protected:
  int Open(ConnectionSecurity security, const SmtpLogin& login) {
    return client_.Open(script_.Stream(), security, "smtp.example.org", TrustingTheTestAuthority(),
                        login);
  }
  // The greeting and an EHLO reply that lists `extensions`.
  StreamScript& Greeted(const Lines& extensions) {
    std::string reply = "250";
    reply += extensions.empty() ? " " : "-";
    reply += "smtp.example.org\r\n";
    for (size_t i = 0; i < extensions.size(); ++i) {
      reply += (i + 1 == extensions.size() ? "250 " : "250-") + extensions[i] + "\r\n";
    }
    return script_.Send("220 ready\r\n").Expect(kEhlo + "\r\n").Send(reply);
  }

  StreamScript script_;
  SmtpClient client_{nullptr, 1};
};

TEST_F(SmtpLoginScriptTest, WithoutSecurityOrLoginTheGreetingIsHeloAsEver) {
  script_.Send("220 ready\r\n").Expect("HELO " + LocalHostName() + "\r\n").Send("250 hi\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kNone, {}), 1);
  EXPECT_EQ(script_.Errors(), Lines{});
}

TEST_F(SmtpLoginScriptTest, PlainLoginOnTheLoopback) {
  script_.OnLoopback();
  Greeted({"8BITMIME", "AUTH LOGIN PLAIN"})
      .Expect("AUTH PLAIN " + kPlainToken + "\r\n")
      .Send("235 2.7.0 ok\r\n")
      .Expect("MAIL FROM: <ann@example.com>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <bob>\r\n")
      .Send("250 ok\r\n")
      .Expect("DATA\r\n")
      .Send("354 go\r\n")
      .Expect("x\r\n\r\n.\r\n")
      .Send("250 queued\r\n");
  ASSERT_EQ(Open(ConnectionSecurity::kNone, kAnn), 1);
  EXPECT_EQ(client_.SendMail({"ann@example.com", {"bob"}}, Content("x\n")), 1);
  EXPECT_EQ(script_.Errors(), Lines{});
  EXPECT_TRUE(client_.login_failure().empty());
}

struct MechanismCase {
  const char* name;
  std::string extension;
};

class SmtpLoginMechanismTest : public SmtpLoginScriptTest,
                               public ::testing::WithParamInterface<MechanismCase> {};

// A server that offers only LOGIN works too.
TEST_P(SmtpLoginMechanismTest, LoginAnswersBothPrompts) {
  script_.OnLoopback();
  Greeted({GetParam().extension})
      .Expect("AUTH LOGIN\r\n")
      .Send("334 VXNlcm5hbWU6\r\n")
      .Expect(kUserToken + "\r\n")
      .Send("334 UGFzc3dvcmQ6\r\n")
      .Expect(kPasswordToken + "\r\n")
      .Send("235 welcome\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kNone, kAnn), 1);
  EXPECT_EQ(script_.Errors(), Lines{});
  EXPECT_TRUE(script_.Finished());
}

INSTANTIATE_TEST_SUITE_P(Offers, SmtpLoginMechanismTest,
                         ::testing::Values(MechanismCase{"AuthLogin", "AUTH LOGIN"},
                                           MechanismCase{"OldAuthEqualsForm", "AUTH=LOGIN"},
                                           MechanismCase{"LowerCase", "auth cram-md5 login"}),
                         NameRowsBy(&MechanismCase::name));

TEST_F(SmtpLoginScriptTest, RefusedLoginSendsNoMailAndMasksTheSecrets) {
  script_.OnLoopback();
  Greeted({"AUTH PLAIN"})
      .Expect("AUTH PLAIN " + kPlainToken + "\r\n")
      .Send("535 5.7.8 bad token " + kPlainToken + " for secret\r\n")
      .Expect("QUIT\r\n")
      .Send("221 bye\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kNone, kAnn), 0);
  EXPECT_EQ(client_.login_failure(), "535 5.7.8 bad token ******** for ********");
  EXPECT_EQ(client_.LastReply(), "535 5.7.8 bad token " + kPlainToken + " for secret\r\n");
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(script_.Errors(), Lines{});
}

TEST_F(SmtpLoginScriptTest, RefusedPasswordOfLoginMechanism) {
  script_.OnLoopback();
  Greeted({"AUTH LOGIN"})
      .Expect("AUTH LOGIN\r\n")
      .Send("334 VXNlcm5hbWU6\r\n")
      .Expect(kUserToken + "\r\n")
      .Send("334 UGFzc3dvcmQ6\r\n")
      .Expect(kPasswordToken + "\r\n")
      .Send("535 no\r\n")
      .Expect("QUIT\r\n")
      .Send("221 bye\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kNone, kAnn), 0);
  EXPECT_EQ(client_.login_failure(), "535 no");
}

TEST_F(SmtpLoginScriptTest, ServerWithoutAKnownMechanismGetsNoLogin) {
  script_.OnLoopback();
  Greeted({"AUTH CRAM-MD5 XOAUTH2"}).Expect("QUIT\r\n").Send("221 bye\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kNone, kAnn), 0);
  EXPECT_EQ(client_.login_failure(), "the server offers neither AUTH PLAIN nor AUTH LOGIN");
  EXPECT_EQ(script_.WrittenLines(), (Lines{kEhlo, "QUIT"}));
}

TEST_F(SmtpLoginScriptTest, LoginIsNeverSentInClearAcrossTheNetwork) {
  Greeted({"AUTH PLAIN"});
  EXPECT_EQ(Open(ConnectionSecurity::kNone, kAnn), -EPROTO);
  EXPECT_EQ(TlsErrorLine(client_.tls_error()),
            "ERROR - TLS: SMTP login not sent over an unencrypted connection.");
  EXPECT_EQ(script_.Written(), "");
  EXPECT_FALSE(client_.connected());
}

// STARTTLS required: a server that does not offer it or refuses it gets
// nothing of the mail or the login.
struct NoStartTlsCase {
  const char* name;
  Lines extensions;
  std::string starttls_reply;  // empty: STARTTLS is not sent
  std::string line;
};

class SmtpWithoutStartTlsTest : public SmtpLoginScriptTest,
                                public ::testing::WithParamInterface<NoStartTlsCase> {};

TEST_P(SmtpWithoutStartTlsTest, SendsNothingOfTheMail) {
  const NoStartTlsCase& c = GetParam();
  Greeted(c.extensions);
  Lines sent = {kEhlo};
  if (!c.starttls_reply.empty()) {
    script_.Expect("STARTTLS\r\n").Send(c.starttls_reply);
    sent.push_back("STARTTLS");
  }
  script_.Expect("QUIT\r\n").Send("221 bye\r\n");
  sent.push_back("QUIT");
  EXPECT_EQ(Open(ConnectionSecurity::kStartTls, kAnn), -EPROTO);
  EXPECT_EQ(TlsErrorLine(client_.tls_error()), c.line);
  EXPECT_EQ(script_.WrittenLines(), sent);
  EXPECT_LT(client_.SendMail({"ann@example.com", {"bob"}}, Content("x\n")), 0);
  EXPECT_EQ(script_.WrittenLines(), sent);
  EXPECT_EQ(script_.Errors(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SmtpWithoutStartTlsTest,
    ::testing::Values(NoStartTlsCase{"NotOffered",
                                     {"AUTH PLAIN", "8BITMIME"},
                                     "",
                                     "ERROR - TLS: server does not offer STARTTLS."},
                      NoStartTlsCase{
                          "NoExtensions", {}, "", "ERROR - TLS: server does not offer STARTTLS."},
                      NoStartTlsCase{"Refused",
                                     {"STARTTLS"},
                                     "454 4.7.0 TLS not available\r\n",
                                     "ERROR - TLS: server refused STARTTLS (454 4.7.0 TLS not "
                                     "available)."}),
    NameRowsBy(&NoStartTlsCase::name));

TEST_F(SmtpLoginScriptTest, ClearTextAfterTheStartTlsReplyEndsTheSession) {
  Greeted({"STARTTLS"}).Expect("STARTTLS\r\n").Send("220 go ahead\r\n250 injected\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kStartTls, kAnn), -EPROTO);
  EXPECT_EQ(TlsErrorLine(client_.tls_error()),
            "ERROR - TLS: server sent data before the handshake.");
  EXPECT_EQ(script_.WrittenLines(), (Lines{kEhlo, "STARTTLS"}));
  EXPECT_FALSE(client_.connected());
}

TEST_F(SmtpLoginScriptTest, RefusedEhloIsARefusalNotALoginFailure) {
  script_.OnLoopback();
  script_.Send("220 ready\r\n").Expect(kEhlo + "\r\n").Send("500 what?\r\n");
  EXPECT_EQ(Open(ConnectionSecurity::kNone, kAnn), 0);
  EXPECT_EQ(client_.LastReply(), "500 what?\r\n");
  EXPECT_TRUE(client_.login_failure().empty());
  EXPECT_FALSE(client_.tls_error());
}

// ---- Real TLS with scripted servers -----------------------------------------

TEST(SmtpTlsServerTest, StartTlsThenEhloAgainThenTheLoginInsideTls) {
  ScriptedServer server;
  server.Send("220 ready\r\n")
      .Expect("EHLO ")
      .Send("250-fake\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n")
      .Expect("STARTTLS")
      .Send("220 go ahead\r\n")
      .StartTls(Certificates().Pair(Kind::kValid))
      .Expect("EHLO ")
      .Send("250-fake\r\n250 AUTH PLAIN\r\n")
      .Expect("AUTH PLAIN " + kPlainToken)
      .Send("235 ok\r\n")
      .Expect("MAIL FROM:")
      .Send("250 ok\r\n")
      .Expect("RCPT TO:")
      .Send("250 ok\r\n")
      .Expect("DATA")
      .Send("354 go\r\n")
      .Expect("body")
      .Expect("")
      .Expect(".")
      .Send("250 queued\r\n")
      .Expect("QUIT")
      .Send("221 bye\r\n");
  server.Start();
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Connect(server.host_text(), ConnectionSecurity::kStartTls,
                           TrustingTheTestAuthority(), kAnn),
            1)
      << TlsErrorLine(client.tls_error()) << client.LastReply();
  EXPECT_EQ(client.SendMail({"ann@example.com", {"bob@example.net"}}, Content("body\n")), 1);
  client.EndSession();
  ASSERT_TRUE(server.WaitForLines(11));
  EXPECT_EQ(server.Errors(), Lines{});
}

TEST(SmtpTlsServerTest, UntrustedServerGetsNothingOfTheLogin) {
  ScriptedServer server;
  server.Send("220 ready\r\n")
      .Expect("EHLO ")
      .Send("250-fake\r\n250 STARTTLS\r\n")
      .Expect("STARTTLS")
      .Send("220 go ahead\r\n")
      .StartTls(Certificates().Pair(Kind::kSelfSigned));
  server.Start();
  SmtpClient client(nullptr, 5);
  EXPECT_LT(client.Connect(server.host_text(), ConnectionSecurity::kStartTls,
                           TrustingTheTestAuthority(), kAnn),
            0);
  EXPECT_EQ(client.tls_error().failure, TlsFailure::kUntrusted);
  ASSERT_TRUE(server.WaitForConnectionEnd());
  EXPECT_THAT(server.Received(),
              ::testing::ElementsAre(::testing::StartsWith("EHLO "), "STARTTLS"));
}

// ---- aiosmtpd with TLS and logins -------------------------------------------

struct AiosmtpdCase {
  const char* name;
  ConnectionSecurity server_security;
  bool login_required;
  bool login_mechanism_only;
  ConnectionSecurity client_security;
  bool expect_tls;
};

class SmtpClientAiosmtpdTest : public ::testing::TestWithParam<AiosmtpdCase> {};

TEST_P(SmtpClientAiosmtpdTest, MailArrivesAsAsked) {
  const AiosmtpdCase& c = GetParam();
  SmtpServerOptions options;
  options.security = c.server_security;
  options.certificate = Certificates().Pair(Kind::kValid);
  if (c.login_required) {
    options.user_name = "ann";
    options.password = "secret";
  }
  options.login_mechanism_only = c.login_mechanism_only;
  SmtpServer server(options);
  SmtpClient client(nullptr, 10);
  ASSERT_EQ(client.Connect(server.host_text(), c.client_security, TrustingTheTestAuthority(),
                           c.login_required ? kAnn : SmtpLogin{}),
            1)
      << TlsErrorLine(client.tls_error()) << client.login_failure() << client.LastReply()
      << server.LogText();
  ASSERT_EQ(client.SendMail({"ann@example.com", {"bob@example.net"}},
                            Content("Subject: over TLS\n\nhello\n")),
            1)
      << client.LastReply();
  client.EndSession();
  ASSERT_TRUE(server.WaitForMessages(1)) << server.LogText();
  StoredMessage stored = server.Messages()[0];
  EXPECT_EQ(stored.rcpt_tos, Lines{"bob@example.net"});
  EXPECT_EQ(stored.login, c.login_required ? "ann" : "");
  if (c.expect_tls) {
    EXPECT_THAT(stored.tls, ::testing::StartsWith("TLSv1."));
  } else {
    EXPECT_EQ(stored.tls, "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SmtpClientAiosmtpdTest,
    ::testing::Values(AiosmtpdCase{"StartTlsWithLogin", ConnectionSecurity::kStartTls, true, false,
                                   ConnectionSecurity::kStartTls, true},
                      AiosmtpdCase{"StartTlsLoginMechanismOnly", ConnectionSecurity::kStartTls,
                                   true, true, ConnectionSecurity::kStartTls, true},
                      AiosmtpdCase{"StartTlsWithoutLogin", ConnectionSecurity::kStartTls, false,
                                   false, ConnectionSecurity::kStartTls, true},
                      AiosmtpdCase{"ImplicitTlsWithLogin", ConnectionSecurity::kImplicitTls, true,
                                   false, ConnectionSecurity::kImplicitTls, true},
                      AiosmtpdCase{"ClearLoginOnTheLoopback", ConnectionSecurity::kNone, true,
                                   false, ConnectionSecurity::kNone, false}),
    NameRowsBy(&AiosmtpdCase::name));

TEST(SmtpClientAiosmtpdLoginTest, WrongPasswordIsReportedWithTheServersReply) {
  SmtpServerOptions options;
  options.security = ConnectionSecurity::kImplicitTls;
  options.certificate = Certificates().Pair(Kind::kValid);
  options.user_name = "ann";
  options.password = "secret";
  SmtpServer server(options);
  SmtpClient client(nullptr, 10);
  EXPECT_EQ(client.Connect(server.host_text(), ConnectionSecurity::kImplicitTls,
                           TrustingTheTestAuthority(), {"ann", "wrong"}),
            0);
  EXPECT_EQ(client.login_failure(), "535 5.7.8 Authentication credentials invalid");
  EXPECT_EQ(server.MessageCount(), 0u);
}

}  // namespace

}  // namespace quor
