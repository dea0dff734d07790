// Passes over mailboxes that require TLS: POP3S and STLS against a Dovecot
// that requires TLS, and hostile servers that make the TLS check fail in
// every way. Each failure is one line, the server never sees USER or PASS,
// and the next mailbox is processed as usual.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/recording_sink.h"
#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/test_certificates.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using Kind = TestCertificates::Kind;
using Lines = std::vector<std::string>;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::Not;
using ::testing::StartsWith;

const TestCertificates& Certificates() { return TestCertificates::Shared(); }

MailboxAccount Account(const std::string& server, ConnectionSecurity security,
                       const std::string& user = "ann") {
  MailboxAccount account;
  account.server = server;
  account.user = user;
  account.password = "secret";
  account.security = security;
  return account;
}

class TlsPassTest : public ::testing::Test {
 protected:
  TlsPassTest() {
    dovecot_.AddUser("ann", "secret");
    dovecot_.Deliver("ann", "Subject: waiting\n\nfor the next mailbox\n");
    StartupOptions options;
    options.base_directory = base_.path();
    options.profile_path = base_.File("quor.INI");
    options.timings.pop_reply_wait_seconds = 5;
    app_ = std::make_unique<Lifecycle>(options, &sink_, hooks_);
    app_->LoadConfiguration();
  }

  // Runs a pass over the mailboxes and returns the lines it logged, the time
  // stamps of the mailbox headers cut off.
  Lines RunPass(std::vector<MailboxAccount> mailboxes, const std::string& authority_file) {
    Settings settings;
    settings.log_file = base_.File("quor.log");
    settings.certificate_authority_file = authority_file;
    app_->store().Install({settings, std::move(mailboxes), {}});
    size_t before = sink_.lines.size();
    EXPECT_EQ(app_->processor().RunPass(), 0);
    Lines lines;
    for (size_t i = before; i < sink_.lines.size(); ++i) {
      const std::string& line = sink_.lines[i];
      size_t header = line.find("] - ");
      lines.push_back(
          line.rfind("[", 0) == 0 && header != std::string::npos ? line.substr(header + 4) : line);
    }
    return lines;
  }

  TempDir base_;
  DovecotServer dovecot_{Certificates().Pair(Kind::kValid)};
  RecordingSink sink_;
  DriverHooks hooks_;
  std::unique_ptr<Lifecycle> app_;
};

TEST_F(TlsPassTest, Pop3sAndStlsMailboxesAreRead) {
  Lines lines = RunPass({Account(dovecot_.tls_host_text(), ConnectionSecurity::kImplicitTls),
                         Account(dovecot_.host_text(), ConnectionSecurity::kStartTls)},
                        Certificates().authority_file());
  EXPECT_THAT(lines, ElementsAre("Checking mailbox ann@" + dovecot_.tls_host_text() + "...",
                                 "--> 1 new messages found.", "--> Retrieving message 1 of 1...",
                                 "Checking mailbox ann@" + dovecot_.host_text() + "...",
                                 "--> 1 new messages found.", "--> Retrieving message 1 of 1...",
                                 "Processing completed."))
      << dovecot_.LogText();
}

// A hostile or misconfigured first mailbox; the second, in clear on the
// loopback, must be processed as usual.
struct HostileCase {
  const char* name;
  ConnectionSecurity security;
  std::function<void(ScriptedServer&)> script;
  bool trust_test_authority;
  std::string line;
};

class TlsHostilePassTest : public TlsPassTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(TlsHostilePassTest, SkipsTheMailboxWithOneLineAndGoesOn) {
  const HostileCase& c = GetParam();
  ScriptedServer hostile(std::chrono::seconds(5));
  c.script(hostile);
  hostile.Start();
  Lines lines = RunPass({Account(hostile.host_text(), c.security),
                         Account(dovecot_.host_text(), ConnectionSecurity::kNone)},
                        c.trust_test_authority ? Certificates().authority_file() : std::string());
  EXPECT_THAT(lines, ElementsAre("Checking mailbox ann@" + hostile.host_text() + "...", c.line,
                                 "Checking mailbox ann@" + dovecot_.host_text() + "...",
                                 "--> 1 new messages found.", "--> Retrieving message 1 of 1...",
                                 "Processing completed."));
  ASSERT_TRUE(hostile.WaitForConnectionEnd());
  for (const std::string& received : hostile.Received()) {
    EXPECT_THAT(received, Not(StartsWith("USER")));
    EXPECT_THAT(received, Not(StartsWith("PASS")));
  }
  EXPECT_EQ(app_->configuration().mailboxes[0].last_message, "");
}

const std::string kGreeting = "+OK fake POP3 ready\r\n";

std::function<void(ScriptedServer&)> Pop3sWith(Kind certificate) {
  return [certificate](ScriptedServer& server) {
    server.StartTls(Certificates().Pair(certificate)).Send(kGreeting);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TlsHostilePassTest,
    ::testing::Values(
        HostileCase{"WrongHostName", ConnectionSecurity::kImplicitTls, Pop3sWith(Kind::kWrongName),
                    true, "ERROR - TLS: certificate name does not match 127.0.0.1."},
        HostileCase{"ExpiredCertificate", ConnectionSecurity::kImplicitTls,
                    Pop3sWith(Kind::kExpired), true, "ERROR - TLS: certificate expired."},
        HostileCase{"SelfSignedWithoutCAFile", ConnectionSecurity::kImplicitTls,
                    Pop3sWith(Kind::kSelfSigned), false,
                    "ERROR - TLS: certificate not trusted (self-signed certificate)."},
        HostileCase{"PlainTextOnTheTlsPort", ConnectionSecurity::kImplicitTls,
                    [](ScriptedServer& server) { server.Send(kGreeting); }, true,
                    "ERROR - TLS: handshake failed (wrong version number)."},
        HostileCase{"CapaWithoutStls", ConnectionSecurity::kStartTls,
                    [](ScriptedServer& server) {
                      server.Send(kGreeting)
                          .Expect("CAPA")
                          .Send("+OK\r\nUSER\r\nUIDL\r\n.\r\n")
                          .Expect("QUIT")
                          .Send("+OK bye\r\n");
                    },
                    true, "ERROR - TLS: server does not offer STLS."},
        HostileCase{"StlsRefused", ConnectionSecurity::kStartTls,
                    [](ScriptedServer& server) {
                      server.Send(kGreeting)
                          .Expect("CAPA")
                          .Send("+OK\r\nSTLS\r\n.\r\n")
                          .Expect("STLS")
                          .Send("-ERR TLS is down\r\n")
                          .Expect("QUIT")
                          .Send("+OK bye\r\n");
                    },
                    true, "ERROR - TLS: server refused STLS (-ERR TLS is down)."},
        HostileCase{"DropInTheHandshake", ConnectionSecurity::kStartTls,
                    [](ScriptedServer& server) {
                      server.Send(kGreeting)
                          .Expect("CAPA")
                          .Send("+OK\r\nSTLS\r\n.\r\n")
                          .Expect("STLS")
                          .Send("+OK begin\r\n")
                          .CloseMidHandshake();
                    },
                    true, "ERROR - TLS: handshake failed (the server closed the connection)."}),
    NameRowsBy(&HostileCase::name));

TEST_F(TlsPassTest, PasswordRepeatedByTheServerIsMaskedInTheLog) {
  ScriptedServer server(std::chrono::seconds(5));
  server.Send(kGreeting)
      .Expect("USER ann")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("-ERR wrong password 'secret'\r\n")
      .Close();
  server.Start();
  Lines lines = RunPass({Account(server.host_text(), ConnectionSecurity::kNone)}, "");
  EXPECT_THAT(lines, ElementsAre("Checking mailbox ann@" + server.host_text() + "...",
                                 "-ERR wrong password '********'", "Processing completed."));
}

// The log and the Mailbox field show the server text as written.
TEST_F(TlsPassTest, Ipv6MailboxKeepsItsServerText) {
  if (!ScriptedServer::Ipv6LoopbackAvailable()) GTEST_SKIP() << "no IPv6 loopback here";
  ScriptedServer server(std::chrono::seconds(5), ScriptedServer::Address::kIpv6Loopback);
  server.StartTls(Certificates().Pair(Kind::kValid))
      .Send(kGreeting)
      .Expect("USER ann")
      .Send("+OK\r\n")
      .Expect("PASS secret")
      .Send("+OK in\r\n")
      .Expect("STAT")
      .Send("+OK 0 0\r\n")
      .Expect("QUIT")
      .Send("+OK bye\r\n");
  server.Start();
  const std::string text = "[::1]:" + server.port_text();
  Lines lines =
      RunPass({Account(text, ConnectionSecurity::kImplicitTls)}, Certificates().authority_file());
  EXPECT_THAT(lines, ElementsAre("Checking mailbox ann@[::1]:" + server.port_text() + "...",
                                 "--> No new messages found.", "Processing completed."));
  EXPECT_EQ(server.Errors(), Lines{});
}

}  // namespace

}  // namespace quor
