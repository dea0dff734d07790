#include "message/mail_message.h"

namespace quor {

namespace {
constexpr std::string_view kNoSubject = "[no subject]";
constexpr std::string_view kUnknown = "[unknown]";
}  // namespace

void MailMessage::Clear() {
  subject.reset();
  recipients.reset();
  date.reset();
  from.reset();
  reply_to.reset();
  unfolded = HeaderFields();
  text_content_type.clear();
  auto_submitted.reset();
  precedence.reset();
  list_id.reset();
  return_path.reset();
  text.clear();
  text.shrink_to_fit();
  attachments.clear();
}

std::string_view MailMessage::Subject(HeaderLines lines) const {
  const auto& value = lines == HeaderLines::kFirst ? subject : unfolded.subject;
  return value ? *value : kNoSubject;
}

std::string_view MailMessage::Recipient(HeaderLines lines) const {
  const auto& value = lines == HeaderLines::kFirst ? recipients : unfolded.recipients;
  return value ? *value : kUnknown;
}

std::string_view MailMessage::Sender(HeaderLines lines) const {
  const bool first = lines == HeaderLines::kFirst;
  const auto& from_value = first ? from : unfolded.from;
  const auto& reply_value = first ? reply_to : unfolded.reply_to;
  if (from_value) return *from_value;
  if (reply_value) return *reply_value;
  return kUnknown;
}

std::string_view MailMessage::ReplyAddress(HeaderLines lines) const {
  const bool first = lines == HeaderLines::kFirst;
  const auto& from_value = first ? from : unfolded.from;
  const auto& reply_value = first ? reply_to : unfolded.reply_to;
  if (reply_value) return *reply_value;
  if (from_value) return *from_value;
  return kUnknown;
}

std::string_view MailMessage::Date(HeaderLines lines) const {
  const auto& value = lines == HeaderLines::kFirst ? date : unfolded.date;
  return value ? *value : kUnknown;
}

const MailAttachment* MailMessage::Attachment(int n) const {
  if (n < 0 || n >= AttachmentCount()) return nullptr;
  return &attachments[static_cast<size_t>(n)];
}

}  // namespace quor
