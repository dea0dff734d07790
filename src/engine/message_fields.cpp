#include "engine/message_fields.h"

#include "message/charset_conversion.h"
#include "message/encoded_words.h"
#include "message/header_parameters.h"

namespace quor {

namespace {

constexpr std::string_view kBody = "Message-Body";
constexpr std::string_view kMailbox = "Mailbox";

// The header fields, with the accessor that gives each its placeholder when
// the header is missing.
struct HeaderField {
  std::string_view name;
  std::string_view (MailMessage::*text)(HeaderLines) const;
};
constexpr HeaderField kHeaderFields[] = {
    {"Subject", &MailMessage::Subject}, {"Recipient", &MailMessage::Recipient},
    {"Sender", &MailMessage::Sender},   {"Reply-To", &MailMessage::ReplyAddress},
    {"Date", &MailMessage::Date},
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A part without a Content-Type is text by default.
bool IsTextPart(const MailAttachment& part) {
  std::string_view type = part.content_type;
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
  return type.empty() || StartsWithNoCase(type, "text/");
}

}  // namespace

MessageTexts::MessageTexts(const MailMessage& message, bool decode)
    : message_(message), decode_(decode) {
  if (!decode_) return;
  size_t index = 0;
  for (const HeaderField& header : kHeaderFields) {
    decoded_headers_[index++] = DecodeEncodedWords((message.*header.text)(HeaderLines::kUnfolded));
  }
  decoded_text_ = DecodedText(message.Text(), message.text_content_type);
}

std::optional<std::string_view> MessageTexts::Header(std::string_view field) const {
  size_t index = 0;
  for (const HeaderField& header : kHeaderFields) {
    if (field == header.name) {
      if (decode_) return decoded_headers_[index];
      return (message_.*header.text)(HeaderLines::kFirst);
    }
    ++index;
  }
  return std::nullopt;
}

std::string DecodedText(std::string_view bytes, std::string_view content_type) {
  std::optional<std::string> charset = ParameterValue(content_type, "charset");
  std::string text;
  if (!charset || IsAscii(bytes) || !ConvertToUtf8(bytes, *charset, InvalidBytes::kReplace, text)) {
    return std::string(bytes);
  }
  return text;
}

std::string BodyText(const MailMessage& message, bool decode) {
  if (message.AttachmentCount() == 0) {
    if (!decode) return std::string(message.Text());
    return DecodedText(message.Text(), message.text_content_type);
  }
  const MailAttachment& first = *message.Attachment(0);
  if (!decode || !IsTextPart(first)) return first.data;
  return DecodedText(first.data, first.content_type);
}

std::string AttachmentName(const MailAttachment& attachment, bool decode) {
  if (!decode) return attachment.name;
  if (std::optional<std::string> name = ParameterValue(attachment.disposition, "filename")) {
    return *name;
  }
  if (std::optional<std::string> name = ParameterValue(attachment.content_type, "name")) {
    return *name;
  }
  return attachment.name;
}

std::optional<std::string_view> ConditionFieldText(std::string_view field,
                                                   const MessageTexts& texts,
                                                   std::string_view mailbox) {
  if (std::optional<std::string_view> header = texts.Header(field)) return header;
  // Always the record's text, also when the message has parts and the field
  // map offers the first part instead.
  if (field == kBody) return texts.Text();
  if (field == kMailbox) return mailbox;
  return std::nullopt;
}

bool IsConditionField(std::string_view field) {
  for (const HeaderField& header : kHeaderFields) {
    if (field == header.name) return true;
  }
  return field == kBody || field == kMailbox;
}

FieldMap MessageFieldMap(const MessageTexts& texts, std::string_view mailbox) {
  FieldMap fields;
  for (const HeaderField& header : kHeaderFields) {
    fields[std::string(header.name)] = std::string(*texts.Header(header.name));
  }
  fields[std::string(kBody)] = BodyText(texts.message(), texts.decode());
  fields[std::string(kMailbox)] = std::string(mailbox);
  return fields;
}

}  // namespace quor
