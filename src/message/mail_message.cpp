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
  text.clear();
  text.shrink_to_fit();
  attachments.clear();
}

std::string_view MailMessage::Subject() const { return subject ? *subject : kNoSubject; }

std::string_view MailMessage::Recipient() const { return recipients ? *recipients : kUnknown; }

std::string_view MailMessage::Sender() const {
  if (from) return *from;
  if (reply_to) return *reply_to;
  return kUnknown;
}

std::string_view MailMessage::ReplyAddress() const {
  if (reply_to) return *reply_to;
  if (from) return *from;
  return kUnknown;
}

std::string_view MailMessage::Date() const { return date ? *date : kUnknown; }

const MailAttachment* MailMessage::Attachment(int n) const {
  if (n < 0 || n >= AttachmentCount()) return nullptr;
  return &attachments[static_cast<size_t>(n)];
}

}  // namespace quor
