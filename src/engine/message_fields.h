#pragma once
// The seven fields of a message that conditions compare and tokens insert,
// by their names: "Subject", "Recipient", "Sender", "Reply-To", "Date",
// "Message-Body" and "Mailbox". The one place that says which name reads
// which part of the message. Pure functions; any thread.

#include <optional>
#include <string>
#include <string_view>

#include "engine/field_map.h"
#include "message/mail_message.h"

namespace quor {

// The body as the "Message-Body" token gives it: the message text, or for a
// message with parts the data of its first part (empty when that is empty).
std::string BodyText(const MailMessage& message);

// The text a condition on `field` compares, or none for a name outside the
// seven. "Message-Body" here is always the message text, also when the
// message has parts. mailbox: user "@" server of the mailbox being checked.
std::optional<std::string_view> ConditionFieldText(std::string_view field,
                                                   const MailMessage& message,
                                                   std::string_view mailbox);

// The field map an agent run starts with: the seven fields, "Message-Body"
// being BodyText(message).
FieldMap MessageFieldMap(const MailMessage& message, std::string_view mailbox);

}  // namespace quor
