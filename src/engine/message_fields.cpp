#include "engine/message_fields.h"

namespace quor {

namespace {

constexpr std::string_view kBody = "Message-Body";
constexpr std::string_view kMailbox = "Mailbox";

// The header fields, with the accessor that gives each its placeholder when
// the header is missing.
struct HeaderField {
  std::string_view name;
  std::string_view (MailMessage::*text)() const;
};
constexpr HeaderField kHeaderFields[] = {
    {"Subject", &MailMessage::Subject}, {"Recipient", &MailMessage::Recipient},
    {"Sender", &MailMessage::Sender},   {"Reply-To", &MailMessage::ReplyAddress},
    {"Date", &MailMessage::Date},
};

}  // namespace

std::string BodyText(const MailMessage& message) {
  if (message.AttachmentCount() == 0) return std::string(message.Text());
  return message.Attachment(0)->data;
}

std::optional<std::string_view> ConditionFieldText(std::string_view field,
                                                   const MailMessage& message,
                                                   std::string_view mailbox) {
  for (const HeaderField& header : kHeaderFields) {
    if (field == header.name) return (message.*header.text)();
  }
  // Always the record's text, also when the message has parts and the field
  // map offers the first part instead.
  if (field == kBody) return message.Text();
  if (field == kMailbox) return mailbox;
  return std::nullopt;
}

FieldMap MessageFieldMap(const MailMessage& message, std::string_view mailbox) {
  FieldMap fields;
  for (const HeaderField& header : kHeaderFields) {
    fields[std::string(header.name)] = std::string((message.*header.text)());
  }
  fields[std::string(kBody)] = BodyText(message);
  fields[std::string(kMailbox)] = std::string(mailbox);
  return fields;
}

}  // namespace quor
