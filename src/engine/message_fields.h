#pragma once
// The seven fields of a message that conditions compare and tokens insert,
// by their names: "Subject", "Recipient", "Sender", "Reply-To", "Date",
// "Message-Body" and "Mailbox". The one place that says which name reads
// which part of the message, and what the DecodeText setting changes in it.
//
// Decoding is a view over the message as the parser left it, not a change to
// the message: the record keeps the bytes that arrived (attachments are saved
// and forwarded unchanged whatever the setting), the view is built only when
// agents look at a message, and with the setting off it copies nothing, so
// agents see exactly what they always saw. Pure functions; any thread.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "engine/field_map.h"
#include "message/mail_message.h"

namespace quor {

// The texts of one message that the fields read. With `decode` off, the
// message's own texts (first header lines, text as stored). With it on, the
// header fields with their folded lines joined and their encoded words
// decoded, and the text converted from the charset its Content-Type declares
// to UTF-8 (see DecodedText). Borrows the message, which must outlive it.
class MessageTexts {
 public:
  MessageTexts(const MailMessage& message, bool decode);

  const MailMessage& message() const { return message_; }
  bool decode() const { return decode_; }
  // "Subject", "Recipient", "Sender", "Reply-To" or "Date" with the
  // placeholders of MailMessage; none for any other name.
  std::optional<std::string_view> Header(std::string_view field) const;
  // The message text, which conditions on "Message-Body" and extraction read.
  std::string_view Text() const {
    return decode_ ? std::string_view(decoded_text_) : message_.Text();
  }

 private:
  const MailMessage& message_;
  bool decode_;
  std::array<std::string, 5> decoded_headers_;
  std::string decoded_text_;
};

// `bytes` of a text whose Content-Type value is `content_type`, in UTF-8:
// converted from the declared charset (a byte the charset does not allow
// becomes U+FFFD). Without a charset, with us-ascii, or with a charset iconv
// does not know, the bytes stay as they are.
std::string DecodedText(std::string_view bytes, std::string_view content_type);

// The body as the "Message-Body" token gives it: the message text, or for a
// message with parts the data of its first part (empty when that is empty).
// With `decode`, a text is converted as DecodedText says (the first part
// only when it is a text part).
std::string BodyText(const MailMessage& message, bool decode = false);

// The name a part's file takes (before SafePartName): as the parser found
// it, or with `decode` the filename (else name) parameter decoded to UTF-8
// from the forms mail programs write (see ParameterValue).
std::string AttachmentName(const MailAttachment& attachment, bool decode);

// The text a condition on `field` compares, or none for a name outside the
// seven. "Message-Body" here is always the message text, also when the
// message has parts. mailbox: user "@" server of the mailbox being checked.
std::optional<std::string_view> ConditionFieldText(std::string_view field,
                                                   const MessageTexts& texts,
                                                   std::string_view mailbox);

// True for one of the seven names (compared exactly, as conditions do).
bool IsConditionField(std::string_view field);

// The field map an agent run starts with: the seven fields, "Message-Body"
// being BodyText(message, decode).
FieldMap MessageFieldMap(const MessageTexts& texts, std::string_view mailbox);

}  // namespace quor
