// The POP3 client's protected sessions: CAPA and STLS byte for byte against
// scripted streams (every way a server can leave STLS out), STLS and POP3S
// through real TLS with scripted servers, and retrievals from a Dovecot that
// requires TLS.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "fixtures/dovecot_server.h"
#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/scripted_stream.h"
#include "fixtures/test_certificates.h"
#include "message/message_parser.h"
#include "net/pop_client.h"

namespace quor {

namespace {

using std::chrono::milliseconds;
using Kind = TestCertificates::Kind;
using Lines = std::vector<std::string>;

const TestCertificates& Certificates() { return TestCertificates::Shared(); }
TlsOptions TrustingTheTestAuthority() { return {Certificates().authority_file()}; }

TEST(PopDefaultServiceTest, PortFollowsTheSecurity) {
  EXPECT_EQ(PopClient::DefaultService(ConnectionSecurity::kNone), "110");
  EXPECT_EQ(PopClient::DefaultService(ConnectionSecurity::kStartTls), "110");
  EXPECT_EQ(PopClient::DefaultService(ConnectionSecurity::kImplicitTls), "995");
}

// ---- CAPA and STLS, byte for byte -------------------------------------------

class PopStartTlsScriptTest : public ::testing::Test {
 protected:
  // Opens the client on the script with STLS required.
  int OpenRequiringTls() {
    return client_.Open(script_.Stream(), ConnectionSecurity::kStartTls, "pop.example.org",
                        TrustingTheTestAuthority());
  }
  StreamScript& Greeted() { return script_.Send("+OK ready\r\n").Expect("CAPA\r\n"); }

  StreamScript script_;
  PopClient client_{1};
};

TEST_F(PopStartTlsScriptTest, CapabilitiesAreReadWhole) {
  script_.Send("+OK ready\r\n")
      .Expect("CAPA\r\n")
      .Send("+OK list follows\r\nTOP\r\nsasl PLAIN\r\n..DOTTED\r\nstls\r\n.\r\n", 7);
  ASSERT_EQ(client_.Open(script_.Stream()), 1);
  ASSERT_EQ(client_.RequestCapabilities(), 1);
  for (const char* name : {"STLS", "TOP", "SASL", ".DOTTED"}) {
    EXPECT_TRUE(client_.HasCapability(name)) << name;
  }
  for (const char* name : {"PLAIN", "UIDL", "STL", "DOTTED"}) {
    EXPECT_FALSE(client_.HasCapability(name)) << name;
  }
  EXPECT_EQ(script_.Errors(), Lines{});
}

TEST_F(PopStartTlsScriptTest, EndlessCapabilityListIsGivenUpOn) {
  std::string flood;
  for (int i = 0; i < 2000; ++i) flood += "X-CAPABILITY-" + std::to_string(i) + "\r\n";
  script_.Send("+OK ready\r\n").Expect("CAPA\r\n").Send("+OK\r\n" + flood, 4096);
  ASSERT_EQ(client_.Open(script_.Stream()), 1);
  EXPECT_EQ(client_.RequestCapabilities(), -EMSGSIZE);
  EXPECT_FALSE(client_.connected());
}

// A server (or someone on the way) that leaves STLS out gets nothing of the
// login: CAPA, perhaps STLS, and QUIT are all it sees.
struct NoStlsCase {
  const char* name;
  std::string capability_reply;
  std::string stls_reply;  // empty: STLS is not sent
  std::string line;
};

class PopWithoutStlsTest : public PopStartTlsScriptTest,
                           public ::testing::WithParamInterface<NoStlsCase> {};

TEST_P(PopWithoutStlsTest, SkipsTheMailboxBeforeTheLogin) {
  const NoStlsCase& c = GetParam();
  Greeted().Send(c.capability_reply);
  Lines sent = {"CAPA"};
  if (!c.stls_reply.empty()) {
    script_.Expect("STLS\r\n").Send(c.stls_reply);
    sent.push_back("STLS");
  }
  script_.Expect("QUIT\r\n").Send("+OK bye\r\n");
  sent.push_back("QUIT");
  EXPECT_EQ(OpenRequiringTls(), -EPROTO);
  EXPECT_EQ(TlsErrorLine(client_.tls_error()), c.line);
  EXPECT_EQ(script_.WrittenLines(), sent);
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(script_.Errors(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PopWithoutStlsTest,
    ::testing::Values(NoStlsCase{"CapaWithoutStls", "+OK\r\nUSER\r\nTOP\r\n.\r\n", "",
                                 "ERROR - TLS: server does not offer STLS."},
                      NoStlsCase{"NoCapa", "-ERR unknown command\r\n", "",
                                 "ERROR - TLS: server does not offer STLS."},
                      NoStlsCase{"StlsRefused", "+OK\r\nSTLS\r\n.\r\n", "-ERR not now\r\n",
                                 "ERROR - TLS: server refused STLS (-ERR not now)."}),
    NameRowsBy(&NoStlsCase::name));

TEST_F(PopStartTlsScriptTest, ClearTextAfterTheStlsReplyEndsTheSession) {
  // The injected line would pass for the greeting inside TLS.
  Greeted()
      .Send("+OK\r\nSTLS\r\n.\r\n")
      .Expect("STLS\r\n")
      .Send("+OK begin TLS\r\n+OK injected\r\n");
  EXPECT_EQ(OpenRequiringTls(), -EPROTO);
  EXPECT_EQ(TlsErrorLine(client_.tls_error()),
            "ERROR - TLS: server sent data before the handshake.");
  EXPECT_EQ(script_.WrittenLines(), (Lines{"CAPA", "STLS"}));
  EXPECT_FALSE(client_.connected());
}

TEST_F(PopStartTlsScriptTest, RefusedGreetingIsNotATlsFailure) {
  script_.Send("-ERR too busy\r\n");
  EXPECT_EQ(OpenRequiringTls(), 0);
  EXPECT_FALSE(client_.tls_error());
  EXPECT_EQ(client_.LastReply(), "-ERR too busy\r\n");
  EXPECT_EQ(script_.Written(), "");
}

// ---- Real TLS with scripted servers -----------------------------------------

TEST(PopTlsServerTest, StlsProtectsTheLogin) {
  ScriptedServer server;
  server.Send("+OK ready\r\n")
      .Expect("CAPA")
      .Send("+OK\r\nSTLS\r\nUSER\r\n.\r\n")
      .Expect("STLS")
      .Send("+OK begin TLS\r\n")
      .StartTls(Certificates().Pair(Kind::kValid))
      .Expect("USER ann")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("+OK in\r\n");
  server.Start();
  PopClient client(5);
  ASSERT_EQ(
      client.Connect(server.host_text(), ConnectionSecurity::kStartTls, TrustingTheTestAuthority()),
      1)
      << TlsErrorLine(client.tls_error());
  // What CAPA said in clear is forgotten inside TLS.
  EXPECT_FALSE(client.HasCapability("STLS"));
  EXPECT_EQ(client.Login("ann", "secret"), 1);
  ASSERT_TRUE(server.WaitForLines(4));
  EXPECT_EQ(server.Received(), (Lines{"CAPA", "STLS", "USER ann", "PASS secret"}));
  EXPECT_EQ(server.Errors(), Lines{});
}

TEST(PopTlsServerTest, Pop3sGreetsInsideTls) {
  ScriptedServer server;
  server.StartTls(Certificates().Pair(Kind::kValid))
      .Send("+OK secure\r\n")
      .Expect("USER ann")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("+OK in\r\n");
  server.Start();
  PopClient client(5);
  ASSERT_EQ(client.Connect(server.host_text(), ConnectionSecurity::kImplicitTls,
                           TrustingTheTestAuthority()),
            1)
      << TlsErrorLine(client.tls_error());
  EXPECT_EQ(client.LastReply(), "+OK secure\r\n");
  EXPECT_EQ(client.Login("ann", "secret"), 1);
  EXPECT_EQ(server.Errors(), Lines{});
}

TEST(PopTlsServerTest, Ipv6ServerTextIsUsedAsWritten) {
  if (!ScriptedServer::Ipv6LoopbackAvailable()) GTEST_SKIP() << "no IPv6 loopback here";
  ScriptedServer server(std::chrono::seconds(10), ScriptedServer::Address::kIpv6Loopback);
  server.StartTls(Certificates().Pair(Kind::kValid)).Send("+OK over IPv6\r\n");
  server.Start();
  PopClient client(5);
  ASSERT_EQ(client.Connect("[::1]:" + server.port_text(), ConnectionSecurity::kImplicitTls,
                           TrustingTheTestAuthority()),
            1)
      << TlsErrorLine(client.tls_error());
  EXPECT_EQ(client.LastReply(), "+OK over IPv6\r\n");
}

// ---- A real server that requires TLS ----------------------------------------

class PopClientDovecotTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddUser("ann", "secret");
    server_.Deliver("ann", "Subject: protected\n\nsent through TLS\n");
  }

  // Connects as asked, logs in and retrieves the message.
  void RetrieveOver(const std::string& server_text, ConnectionSecurity security) {
    PopClient client(10);
    ASSERT_EQ(client.Connect(server_text, security, TrustingTheTestAuthority()), 1)
        << TlsErrorLine(client.tls_error()) << server_.LogText();
    ASSERT_EQ(client.Login("ann", "secret"), 1) << client.LastReply();
    ASSERT_EQ(client.MessageCount(), 1);
    MailMessage message;
    MessageParser parser(message);
    ASSERT_EQ(client.RetrieveMessage(1, parser), 1);
    EXPECT_EQ(message.Subject(), "protected");
    EXPECT_EQ(message.Text(), "sent through TLS\n");
    client.Logout();
  }

  DovecotServer server_{Certificates().Pair(Kind::kValid)};
};

TEST_F(PopClientDovecotTlsTest, RetrievesOverPop3s) {
  RetrieveOver(server_.tls_host_text(), ConnectionSecurity::kImplicitTls);
}

TEST_F(PopClientDovecotTlsTest, RetrievesAfterStls) {
  RetrieveOver(server_.host_text(), ConnectionSecurity::kStartTls);
}

}  // namespace

}  // namespace quor
