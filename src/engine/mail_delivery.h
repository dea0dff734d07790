#pragma once
// Hands an outgoing message to an SMTP server: the envelope is made from the
// message's address texts, the content by MessageComposer. Where the mail
// conversation (net) and the message format (message) meet.

#include <string>

#include "message/outgoing_message.h"
#include "net/smtp_client.h"

namespace quor {

// Sends `message` over the open session: MAIL FROM the bare address of the
// sender, RCPT TO the bare address of every piece of To, then of Cc, the
// content composed with the current time. 1 sent, 0 refused (the client's
// LastReply()), negative on error; -1 without a word to the server when the
// sender or To is empty or an address text holds a line break.
int DeliverMessage(SmtpClient& client, const OutgoingMessage& message);

// The envelope DeliverMessage sends `message` with: 1, or -1 when the sender
// or To is empty or an address text holds a line break.
int MakeEnvelope(const OutgoingMessage& message, MailEnvelope& envelope);

// True when the path names an existing file. Attachments that users name are
// checked when they are added: a path that is gone is left out silently.
bool AttachmentExists(const std::string& path);

}  // namespace quor
