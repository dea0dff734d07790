#include "engine/mail_delivery.h"

#include <sys/stat.h>

#include <ctime>

#include "base/line_breaks.h"
#include "message/mailbox_address.h"
#include "message/message_composer.h"
#include "net/host_lookup.h"

namespace quor {

int MakeEnvelope(const OutgoingMessage& message, MailEnvelope& envelope) {
  if (message.sender.empty() || message.to.empty()) return -1;
  // An address text with a line break would add a command of its own, even
  // where the bare address taken from it has none.
  if (HasLineBreak(message.sender) || HasLineBreak(message.to) || HasLineBreak(message.cc)) {
    return -1;
  }
  envelope = MailEnvelope{};
  envelope.sender = MailboxAddress(message.sender);
  for (const std::string& piece : SplitRecipients(message.to)) {
    envelope.recipients.push_back(MailboxAddress(piece));
  }
  for (const std::string& piece : SplitRecipients(message.cc)) {
    envelope.recipients.push_back(MailboxAddress(piece));
  }
  return 1;
}

int DeliverMessage(SmtpClient& client, const OutgoingMessage& message) {
  MailEnvelope envelope;
  if (MakeEnvelope(message, envelope) < 0) return -1;
  const std::string host_name = LocalHostName();
  return client.SendMail(envelope, [&message, &host_name](ByteOutput& data) {
    MessageComposer composer(data);
    return composer.ComposeMessage(message, std::time(nullptr), host_name);
  });
}

bool AttachmentExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

}  // namespace quor
