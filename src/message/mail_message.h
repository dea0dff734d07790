#pragma once
// The parsed incoming message: a handful of header fields, the body text and
// the decoded attachments. Filled by MessageParser during a retrieval, then
// read-only for the engine until the next retrieval clears it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

struct MailAttachment {
  std::string data;  // decoded bytes; text parts keep their line feeds
  std::string name;  // from name= or filename=, or empty
  size_t length() const { return data.size(); }
};

class MailMessage {
 public:
  // Frees every header field, the text and every attachment.
  void Clear();

  // Accessors with the placeholders "[no subject]" and "[unknown]".
  std::string_view Subject() const;
  std::string_view Recipient() const;
  std::string_view Sender() const;        // From, else Reply-To, else "[unknown]"
  std::string_view ReplyAddress() const;  // Reply-To, else From, else "[unknown]"
  std::string_view Date() const;
  std::string_view Text() const { return text; }
  int AttachmentCount() const { return static_cast<int>(attachments.size()); }
  // nullptr outside 0 <= n < AttachmentCount().
  const MailAttachment* Attachment(int n) const;

  // Raw fields; none (nullopt) when the header never occurred.
  std::optional<std::string> subject;
  std::optional<std::string> recipients;  // To and CC values joined by ","
  std::optional<std::string> date;
  std::optional<std::string> from;
  std::optional<std::string> reply_to;
  std::string text;  // body lines not diverted into attachments, each ending in "\n"
  std::vector<MailAttachment> attachments;
};

}  // namespace quor
