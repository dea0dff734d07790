// `quor --check --connect` against a real Dovecot and aiosmtpd: one line per
// server with the outcome, the exit status, and servers left as they were
// (the message still there, no mail received).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/dovecot_server.h"
#include "fixtures/row_name.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kUser[] = "ann";
constexpr char kPassword[] = "pop-secret";
constexpr char kSmtpUser[] = "sam";
constexpr char kSmtpPassword[] = "smtp-secret";

enum class Smtp { kPlain, kLogin };

struct ConnectCase {
  std::string name;
  bool mailbox_answers;  // false: nothing listens on the mailbox's port
  std::string pop_password;
  Smtp smtp;
  std::string smtp_password;  // with Smtp::kLogin
  int status;
  // With {pop} and {smtp} for the servers' texts.
  std::vector<std::string> expected_starts;
};

std::string Filled(std::string text, const std::string& pop, const std::string& smtp) {
  for (auto [token, value] :
       {std::pair<std::string, std::string>{"{pop}", pop}, {"{smtp}", smtp}}) {
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token)) {
      text.replace(at, token.size(), value);
    }
  }
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

class ConnectionCheckTest : public ::testing::TestWithParam<ConnectCase> {
 protected:
  // Shared by the rows: starting Dovecot takes a while.
  static DovecotServer& Pop() {
    static DovecotServer server;
    static bool ready = [] {
      server.AddUser(kUser, kPassword);
      server.Deliver(kUser, "Subject: still here\n\nhello\n");
      return true;
    }();
    (void)ready;
    return server;
  }
  static SmtpServer& PlainSmtp() {
    static SmtpServer server;
    return server;
  }
  static SmtpServer& LoginSmtp() {
    static SmtpServer server(SmtpServerOptions{.user_name = kSmtpUser, .password = kSmtpPassword});
    return server;
  }

  TempDir base_;
};

TEST_P(ConnectionCheckTest, PrintsOneLinePerServerAndChangesNothingThere) {
  const ConnectCase& row = GetParam();
  std::string pop =
      row.mailbox_answers ? Pop().host_text() : "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  SmtpServer& smtp = row.smtp == Smtp::kLogin ? LoginSmtp() : PlainSmtp();
  std::string profile = "[Settings]\nSMTPServer=" + smtp.host_text() +
                        "\nEmail=quor@example.org\nMailboxCount=1\nPOPServer0=" + pop +
                        "\nPOPUser0=" + kUser + "\nPOPPassword0=" + row.pop_password + "\n";
  if (row.smtp == Smtp::kLogin) {
    profile += std::string("SMTPUser=") + kSmtpUser + "\nSMTPPassword=" + row.smtp_password + "\n";
  }
  WriteWholeFile(base_.File("quor.INI"), profile);
  chmod(base_.File("quor.INI").c_str(), 0600);

  ChildProcess quor(
      QUOR_BINARY,
      {"--check", "--connect", "--base-dir", base_.path(), "--profile", base_.File("quor.INI")},
      {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
  EXPECT_EQ(quor.Wait(), row.status) << quor.Output() << quor.Errors();
  std::vector<std::string> lines = Lines(quor.Output());
  ASSERT_EQ(lines.size(), row.expected_starts.size()) << quor.Output();
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind(Filled(row.expected_starts[i], pop, smtp.host_text()), 0), 0u)
        << lines[i];
  }
  for (const char* secret : {kPassword, kSmtpPassword, "wrong"}) {
    EXPECT_THAT(quor.Output(), Not(HasSubstr(secret)));
  }
  // Nothing read away or deleted, nothing sent, nothing written.
  EXPECT_EQ(Pop().Count(kUser), 1);
  EXPECT_EQ(smtp.MessageCount(), 0u);
  EXPECT_FALSE(FileExists(base_.File("quor.log")));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ConnectionCheckTest,
    ::testing::Values(
        ConnectCase{"good logins",
                    true,
                    kPassword,
                    Smtp::kPlain,
                    "",
                    0,
                    {"Mailbox ann@{pop}: logged in; 1 message waiting.",
                     "SMTP server {smtp}: greeted; no mail sent.", "No problems found."}},
        ConnectCase{"wrong mailbox password",
                    true,
                    "wrong",
                    Smtp::kPlain,
                    "",
                    1,
                    {"Mailbox ann@{pop}: the login was refused: -ERR",
                     "SMTP server {smtp}: greeted; no mail sent.", "1 problem found."}},
        ConnectCase{"mailbox server not answering",
                    false,
                    kPassword,
                    Smtp::kPlain,
                    "",
                    1,
                    {"Mailbox ann@{pop}: cannot connect to the server.",
                     "SMTP server {smtp}: greeted; no mail sent.", "1 problem found."}},
        ConnectCase{"SMTP login accepted",
                    true,
                    kPassword,
                    Smtp::kLogin,
                    kSmtpPassword,
                    0,
                    {"Mailbox ann@{pop}: logged in; 1 message waiting.",
                     "SMTP server {smtp}: logged in as sam; no mail sent.", "No problems found."}},
        ConnectCase{"SMTP login refused",
                    true,
                    kPassword,
                    Smtp::kLogin,
                    "wrong",
                    1,
                    {"Mailbox ann@{pop}: logged in; 1 message waiting.",
                     "SMTP server {smtp}: the login was refused: ", "1 problem found."}}),
    NameRowsBy(&ConnectCase::name));

}  // namespace

}  // namespace quor
