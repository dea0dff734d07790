#include "app/connection_check.h"

#include "base/line_breaks.h"
#include "base/secret_text.h"
#include "net/pop_client.h"
#include "net/smtp_client.h"
#include "net/tls_error.h"

namespace quor {

namespace {

ConnectionOutcome Failed(const std::string& server, const std::string& reason) {
  return {false, server + ": " + reason};
}

}  // namespace

ConnectionCheck::ConnectionCheck(int pop_reply_wait_seconds, int smtp_reply_wait_seconds)
    : pop_reply_wait_seconds_(pop_reply_wait_seconds),
      smtp_reply_wait_seconds_(smtp_reply_wait_seconds) {}

std::vector<ConnectionOutcome> ConnectionCheck::Run(const Configuration& configuration) const {
  std::vector<ConnectionOutcome> outcomes;
  for (const MailboxAccount& mailbox : configuration.mailboxes) {
    if (mailbox.server.empty() || mailbox.user.empty()) continue;
    outcomes.push_back(CheckMailbox(mailbox, configuration.settings));
  }
  if (!configuration.settings.smtp_server.empty()) {
    outcomes.push_back(CheckSmtpServer(configuration.settings));
  }
  return outcomes;
}

ConnectionOutcome ConnectionCheck::CheckMailbox(const MailboxAccount& mailbox,
                                                const Settings& settings) const {
  const std::string server = "Mailbox " + mailbox.Label();
  PopClient client(pop_reply_wait_seconds_);
  int result =
      client.Connect(mailbox.server, mailbox.security, {settings.certificate_authority_file});
  if (result < 0) {
    return Failed(server, client.tls_error() ? TlsErrorLine(client.tls_error())
                                             : "cannot connect to the server.");
  }
  if (result == 0) {
    return Failed(server, "the server refused the session: " + StripLineBreaks(client.LastReply()));
  }
  result = client.Login(mailbox.user, mailbox.password);
  if (result <= 0) {
    std::string reply = MaskSecrets(StripLineBreaks(client.LastReply()), {mailbox.password});
    client.Close();
    return Failed(server, result < 0 ? "the connection failed during the login."
                                     : "the login was refused: " + reply);
  }
  int count = client.MessageCount();
  std::string reply = StripLineBreaks(client.LastReply());
  client.Logout();
  if (count < 0 || reply.empty() || reply.front() != '+') {
    return Failed(server, "STAT was not answered: " + reply);
  }
  return {true, server + ": logged in; " + std::to_string(count) +
                    (count == 1 ? " message" : " messages") + " waiting."};
}

ConnectionOutcome ConnectionCheck::CheckSmtpServer(const Settings& settings) const {
  const std::string server = "SMTP server " + settings.smtp_server;
  SmtpClient client(nullptr, smtp_reply_wait_seconds_);
  int result = client.Connect(settings.smtp_server, settings.smtp_security,
                              {settings.certificate_authority_file},
                              {settings.smtp_user_name, settings.smtp_password});
  if (result > 0) {
    client.EndSession();
    return {true,
            server + ": " +
                (settings.smtp_user_name.empty() ? "greeted"
                                                 : "logged in as " + settings.smtp_user_name) +
                "; no mail sent."};
  }
  if (client.tls_error()) return Failed(server, TlsErrorLine(client.tls_error()));
  if (!client.login_failure().empty()) {
    return Failed(server, "the login was refused: " + client.login_failure());
  }
  if (result < 0) return Failed(server, "cannot connect to the server.");
  return Failed(server,
                "the server refused the session: " +
                    MaskSecrets(StripLineBreaks(client.LastReply()), {settings.smtp_password}));
}

}  // namespace quor
