#pragma once
// The parsed incoming message: a handful of header fields, the body text and
// the decoded attachments. Filled by MessageParser during a retrieval, then
// read-only for the engine until the next retrieval clears it.
//
// Beside the fields as agents have always seen them, the record keeps what
// decoding international text and recognising automatic mail need: the same
// header fields with their folded lines joined, the declared content types,
// and the header fields that mark automatic mail.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

struct MailAttachment {
  std::string data;  // decoded bytes; text parts keep their line feeds
  std::string name;  // from name= or filename=, or empty
  // The part's Content-Type and Content-Disposition values, folded lines
  // joined; empty when the part has none. Their charset and name parameters
  // are what decoding reads.
  std::string content_type{};
  std::string disposition{};
  size_t length() const { return data.size(); }
};

// Which form of a header field an accessor gives: the first line, as agents
// have always seen it, or the whole field with its folded lines joined.
enum class HeaderLines { kFirst, kUnfolded };

// The five header fields agents read; none (nullopt) when the header never
// occurred.
struct HeaderFields {
  std::optional<std::string> subject;
  std::optional<std::string> recipients;  // To and CC values joined by ","
  std::optional<std::string> date;
  std::optional<std::string> from;
  std::optional<std::string> reply_to;
};

class MailMessage {
 public:
  // Frees every header field, the text and every attachment.
  void Clear();

  // Accessors with the placeholders "[no subject]" and "[unknown]".
  std::string_view Subject(HeaderLines lines = HeaderLines::kFirst) const;
  std::string_view Recipient(HeaderLines lines = HeaderLines::kFirst) const;
  // From, else Reply-To, else "[unknown]".
  std::string_view Sender(HeaderLines lines = HeaderLines::kFirst) const;
  // Reply-To, else From, else "[unknown]".
  std::string_view ReplyAddress(HeaderLines lines = HeaderLines::kFirst) const;
  std::string_view Date(HeaderLines lines = HeaderLines::kFirst) const;
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
  // The same fields, each with its folded continuation lines joined on.
  HeaderFields unfolded;
  // The Content-Type of the header block whose body the text holds (the
  // message's own, or for a multipart message the first part whose body
  // stayed in the text); empty when none declared one.
  std::string text_content_type;
  // Fields of the message's own header block that mark automatic mail
  // (values without surrounding blanks); none when absent.
  std::optional<std::string> auto_submitted;
  std::optional<std::string> precedence;
  std::optional<std::string> list_id;
  std::optional<std::string> return_path;
  std::string text;  // body lines not diverted into attachments, each ending in "\n"
  std::vector<MailAttachment> attachments;
};

}  // namespace quor
