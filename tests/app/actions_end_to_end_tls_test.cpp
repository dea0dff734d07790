// The quor program end to end over protected connections, as a user with a
// provider that requires TLS sets it up in the profile: one headless pass
// retrieves from a Dovecot that requires TLS (POP3S or STLS), and its agent
// forwards and sends through aiosmtpd (STARTTLS or TLS from the first byte,
// with a required login, or in clear with a login on the loopback). What
// arrives is read back with Python's email package.

#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "fixtures/row_name.h"
#include "fixtures/test_certificates.h"

namespace quor {

namespace actions_e2e {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Kind = TestCertificates::Kind;

const TestCertificates& Certificates() { return TestCertificates::Shared(); }

constexpr char kSmtpPassword[] = "smtp-s3cret";

struct ModeCase {
  const char* name;
  ConnectionSecurity pop_security;
  ConnectionSecurity smtp_security;
  bool smtp_tls;  // the mail must arrive over TLS
};

class ActionsEndToEndTls : public ::testing::TestWithParam<ModeCase> {
 protected:
  // The profile as a user writes it for a provider: only the keys they need,
  // the port left to its default where the security implies it.
  void WriteProfile(const std::string& pop_server, const std::string& smtp_server) {
    const ModeCase& c = GetParam();
    WriteWholeFile(base_.File("quor.INI"),
                   "[Settings]\nSMTPServer=" + smtp_server +
                       "\nSMTPSecurity=" + std::to_string(static_cast<int>(c.smtp_security)) +
                       "\nSMTPUser=agent\nSMTPPassword=" + kSmtpPassword +
                       "\nCAFile=" + Certificates().authority_file() +
                       "\nEmail=agent@example.com\nName=Mail Agent\nMailboxCount=1\nPOPServer0=" +
                       pop_server + "\nPOPUser0=ann\nPOPPassword0=" + kPassword +
                       "\nPOPSecurity0=" + std::to_string(static_cast<int>(c.pop_security)) +
                       "\nPOPLastMsg0=\n");
  }

  Lines RunQuor() {
    ChildProcess quor(
        QUOR_BINARY,
        {"--headless", "--once", "--base-dir", base_.path(), "--profile", base_.File("quor.INI")},
        {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    EXPECT_EQ(quor.Wait(kRunLimit), 0) << quor.Errors();
    EXPECT_EQ(ReadWholeFile(base_.File("quor.log")), quor.Output());
    return SplitLines(quor.Output());
  }

  TempDir base_;
};

TEST_P(ActionsEndToEndTls, RetrievesForwardsAndSendsProtected) {
  const ModeCase& c = GetParam();
  DovecotServer dovecot(Certificates().Pair(Kind::kValid));
  dovecot.AddUser("ann", kPassword);
  dovecot.Deliver("ann", ThreeFilesMessage());
  SmtpServerOptions options;
  options.security = c.smtp_security;
  options.certificate = Certificates().Pair(Kind::kValid);
  options.user_name = "agent";
  options.password = kSmtpPassword;
  SmtpServer smtp(options);
  WriteProfile(c.pop_security == ConnectionSecurity::kImplicitTls ? dovecot.tls_host_text()
                                                                  : dovecot.host_text(),
               smtp.host_text());
  WriteWholeFile(base_.File("reply.txt"), "Hello {Sender},\nthanks for {Subject}.\n");
  MailAgent agent =
      Agent("Relay", {Action(ActionType::kForward, {{"mailto", "archive@example.net"}}),
                      Action(ActionType::kSend, {{"mailto", "{Sender}"},
                                                 {"subject", "Re: {Subject}"},
                                                 {"message", base_.File("reply.txt")}})});
  WriteWholeFile(base_.File("quoragts.ini"), AgentsFileText({agent}));

  Lines lines = RunQuor();

  EXPECT_THAT(AgentRun(lines, "Relay", 1),
              ElementsAre("--> Forwarding message...", "[SMTP] From: <ann@example.org>",
                          "[SMTP] To: <archive@example.net>", "--> Sending new message...",
                          "[SMTP] From: <agent@example.com>", "[SMTP] To: <ann@example.org>"))
      << ::testing::PrintToString(lines) << dovecot.LogText() << smtp.LogText();
  for (const std::string& line : lines) {
    EXPECT_THAT(line, Not(HasSubstr(kSmtpPassword)));
    EXPECT_THAT(line, Not(HasSubstr("ERROR")));
  }
  ASSERT_TRUE(smtp.WaitForMessages(2)) << smtp.LogText();
  std::vector<StoredMessage> stored = smtp.Messages();
  ASSERT_EQ(stored.size(), 2u);
  for (const StoredMessage& message : stored) {
    EXPECT_EQ(message.login, "agent");
    if (c.smtp_tls) {
      EXPECT_THAT(message.tls, ::testing::StartsWith("TLSv1."));
    } else {
      EXPECT_EQ(message.tls, "");
    }
  }
  MimeSummary forwarded = CheckMime(stored[0].path);
  ASSERT_TRUE(forwarded.ok) << forwarded.error;
  EXPECT_THAT(forwarded.defects, ::testing::IsEmpty());
  EXPECT_THAT(forwarded.Header("Subject"), ElementsAre("Three files for order 4711"));
  ASSERT_EQ(forwarded.attachments.size(), 3u);
  EXPECT_EQ(forwarded.attachments[1].filename, "chart.bin");
  EXPECT_EQ(forwarded.attachments[1].size, Chart().size());
  MimeSummary sent = CheckMime(stored[1].path);
  ASSERT_TRUE(sent.ok) << sent.error;
  EXPECT_THAT(sent.Header("Subject"), ElementsAre("Re: Three files for order 4711"));
  EXPECT_THAT(sent.text, HasSubstr("thanks for Three files for order 4711."));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ActionsEndToEndTls,
    ::testing::Values(ModeCase{"Pop3sAndSubmissionWithStartTls", ConnectionSecurity::kImplicitTls,
                               ConnectionSecurity::kStartTls, true},
                      ModeCase{"StlsAndSmtps", ConnectionSecurity::kStartTls,
                               ConnectionSecurity::kImplicitTls, true},
                      ModeCase{"ClearLoginOnTheLoopback", ConnectionSecurity::kNone,
                               ConnectionSecurity::kNone, false}),
    NameRowsBy(&ModeCase::name));

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
