#include "message/message_parser.h"

#include <algorithm>
#include <cstring>

#include "message/header_parameters.h"
#include "message/quoted_printable.h"

namespace quor {

namespace {

constexpr std::string_view kTo = "To: ";
constexpr std::string_view kCc = "CC: ";
constexpr std::string_view kDate = "Date: ";
constexpr std::string_view kSubject = "Subject: ";
constexpr std::string_view kFrom = "From: ";
constexpr std::string_view kReplyTo = "Reply-To: ";
constexpr std::string_view kMixed = "Content-Type: multipart/mixed; boundary=";
constexpr std::string_view kAlternative = "Content-Type: multipart/alternative; boundary=";
constexpr std::string_view kContentType = "Content-Type:";
constexpr std::string_view kDisposition = "Content-Disposition:";
constexpr std::string_view kQuotedPrintable = "Content-Transfer-Encoding: quoted-printable";
constexpr std::string_view kBase64 = "Content-Transfer-Encoding: base64";
constexpr std::string_view kEightBitHyphen = "Content-Transfer-Encoding: 8-bit";
constexpr std::string_view kEightBit = "Content-Transfer-Encoding: 8bit";
constexpr std::string_view kSevenBitHyphen = "Content-Transfer-Encoding: 7-bit";
constexpr std::string_view kSevenBit = "Content-Transfer-Encoding: 7bit";
constexpr std::string_view kTransferEncoding = "Content-Transfer-Encoding:";
constexpr std::string_view kDispositionPrefix = "Content-Disposition:";
constexpr std::string_view kAutoSubmitted = "Auto-Submitted:";
constexpr std::string_view kPrecedence = "Precedence:";
constexpr std::string_view kListId = "List-Id:";
constexpr std::string_view kReturnPath = "Return-Path:";
constexpr std::string_view kMultipartType = "multipart/";
constexpr std::string_view kMixedType = "multipart/mixed";
constexpr std::string_view kAlternativeType = "multipart/alternative";

// Buffers with more unused room than this, and more than their own size, are
// trimmed when finished so a finished message keeps little beyond its bytes.
constexpr size_t kTrimSlack = 4096;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
  if (line.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(line[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsFoldedLine(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

void AppendBounded(std::string& target, std::string_view text) {
  if (target.size() >= MessageParser::kUnfoldedLimit) return;
  target.append(text.substr(0, MessageParser::kUnfoldedLimit - target.size()));
}

void TrimUnusedRoom(std::string& buffer) {
  if (buffer.capacity() - buffer.size() > std::max(buffer.size(), kTrimSlack)) {
    buffer.shrink_to_fit();
  }
}

// Senders of single-part Base64 text encode CR LF line ends; the message text
// keeps a single line feed per line.
void AppendWithoutCarriageReturns(std::string& target, const std::string& bytes) {
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t found = bytes.find("\r\n", start);
    if (found == std::string::npos) {
      target.append(bytes, start, std::string::npos);
      return;
    }
    target.append(bytes, start, found - start);
    target.push_back('\n');
    start = found + 2;
  }
}

}  // namespace

void MessageParser::BeginParse(MailMessage& message, size_t announced_size) {
  message.Clear();
  message_ = &message;
  // Servers count line ends differently; a few bytes more than announced
  // spares a regrow in the common case. A false size costs only the cap.
  message.text.reserve(std::min(announced_size, kReserveLimit - 4) + 4);
  mode_ = Mode::kHeaders;
  boundary_.clear();
  target_ = &message.text;
  attachment_open_ = false;
  open_data_.clear();
  quoted_printable_ = false;
  quoted_printable_carry_length_ = 0;
  decoded_.clear();
  decoder_.reset();
  part_name_.clear();
  name_pending_ = true;
  alternative_seen_ = false;
  mid_line_ = false;
  own_block_ = true;
  folded_target_ = nullptr;
  block_content_type_.clear();
  block_disposition_.clear();
  block_set_boundary_ = false;
  announced_size_ = announced_size;
  seen_ = 0;
}

void MessageParser::BeginMessage(size_t announced_size) {
  if (retrieval_target_ != nullptr) BeginParse(*retrieval_target_, announced_size);
}

void MessageParser::ParseLine(const char* line, size_t length) {
  if (message_ == nullptr || length == 0) return;
  seen_ += length;
  const bool continuation = mid_line_;
  const bool ends_line = line[length - 1] == '\n';
  mid_line_ = !ends_line;
  size_t content_length = ends_line ? length - 1 : length;
  if (ends_line && content_length > 0 && line[content_length - 1] == '\r') --content_length;
  const std::string_view content(line, content_length);

  if (mode_ == Mode::kHeaders) {
    // Only the first piece of a long header line counts; the rest of it is
    // neither a header nor the empty line that ends the block.
    if (continuation) return;
    if (content.empty() && ends_line) {
      EndHeaderBlock();
      mode_ = Mode::kBody;
      return;
    }
    ParseHeaderLine(content);
    return;
  }
  ParseBodyLine(content, ends_line, continuation);
}

void MessageParser::ParseHeaderLine(std::string_view line) {
  if (IsFoldedLine(line)) {
    if (folded_target_ != nullptr) AppendBounded(*folded_target_, line);
    return;
  }
  folded_target_ = nullptr;
  TakeWholeField(line);
  if (StartsWithNoCase(line, kTo)) {
    AppendRecipient(line.substr(kTo.size()));
  } else if (StartsWithNoCase(line, kCc)) {
    AppendRecipient(line.substr(kCc.size()));
  } else if (StartsWithNoCase(line, kDate)) {
    message_->date.emplace(line.substr(kDate.size()));
    StartUnfolded(message_->unfolded.date, line.substr(kDate.size()));
  } else if (StartsWithNoCase(line, kSubject)) {
    message_->subject.emplace(line.substr(kSubject.size()));
    StartUnfolded(message_->unfolded.subject, line.substr(kSubject.size()));
  } else if (StartsWithNoCase(line, kFrom)) {
    message_->from.emplace(line.substr(kFrom.size()));
    StartUnfolded(message_->unfolded.from, line.substr(kFrom.size()));
  } else if (StartsWithNoCase(line, kReplyTo)) {
    message_->reply_to.emplace(line.substr(kReplyTo.size()));
    StartUnfolded(message_->unfolded.reply_to, line.substr(kReplyTo.size()));
  } else if (StartsWithNoCase(line, kMixed)) {
    SetBoundary(line.substr(kMixed.size()));
    block_set_boundary_ = true;
  } else if (StartsWithNoCase(line, kAlternative)) {
    SetBoundary(line.substr(kAlternative.size()));
    block_set_boundary_ = true;
    SeeAlternative();
  } else if (StartsWithNoCase(line, kContentType)) {
    TakePartName(line, "name=");
  } else if (StartsWithNoCase(line, kDisposition)) {
    TakePartName(line, "filename=");
  } else if (StartsWithNoCase(line, kQuotedPrintable)) {
    quoted_printable_ = true;
    OpenAttachment();
  } else if (StartsWithNoCase(line, kBase64)) {
    StartBase64();
    OpenAttachment();
  } else if (StartsWithNoCase(line, kEightBitHyphen) || StartsWithNoCase(line, kEightBit) ||
             StartsWithNoCase(line, kSevenBitHyphen) || StartsWithNoCase(line, kSevenBit)) {
    OpenAttachment();
  } else if (StartsWithNoCase(line, kTransferEncoding)) {
    quoted_printable_ = false;
    OpenAttachment();
  }
}

void MessageParser::ParseBodyLine(std::string_view content, bool ends_line, bool continuation) {
  // Any line that merely starts with the delimiter counts, the closing one
  // with its two extra hyphens included.
  const bool delimiter = !continuation && !boundary_.empty() &&
                         content.size() >= boundary_.size() &&
                         std::memcmp(content.data(), boundary_.data(), boundary_.size()) == 0;
  if (decoder_) {
    if (delimiter) {
      decoder_->Flush();
      decoder_.reset();
      if (attachment_open_) {
        MoveDecodedIntoAttachment();
        CloseAttachment();
      }
      decoded_.clear();
      EndPart();
      return;
    }
    // Short lines are blank lines and stray line ends. Pieces of a longer
    // line carry Base64 text however short they are.
    const size_t line_length = content.size() + (ends_line ? 1 : 0);
    if (!continuation && line_length <= 2) return;
    MakeRoomForDecoded(content.size());
    decoder_->Write(content.data(), content.size());
    return;
  }
  if (delimiter) {
    if (attachment_open_) CloseAttachment();
    EndPart();
    return;
  }
  if (quoted_printable_) {
    AppendQuotedPrintable(content, ends_line);
    return;
  }
  target_->append(content);
  if (ends_line) target_->push_back('\n');
}

void MessageParser::TakeWholeField(std::string_view line) {
  if (StartsWithNoCase(line, kContentType)) {
    block_content_type_.clear();
    AppendBounded(block_content_type_, TrimmedBlanks(line.substr(kContentType.size())));
    folded_target_ = &block_content_type_;
  } else if (StartsWithNoCase(line, kDispositionPrefix)) {
    block_disposition_.clear();
    AppendBounded(block_disposition_, TrimmedBlanks(line.substr(kDispositionPrefix.size())));
    folded_target_ = &block_disposition_;
  } else if (own_block_) {
    // Only the message's own header block says how it was sent; a part's
    // header (a message forwarded inside it) does not.
    struct Mark {
      std::string_view prefix;
      std::optional<std::string> MailMessage::*field;
    };
    static constexpr Mark kMarks[] = {
        {kAutoSubmitted, &MailMessage::auto_submitted},
        {kPrecedence, &MailMessage::precedence},
        {kListId, &MailMessage::list_id},
        {kReturnPath, &MailMessage::return_path},
    };
    for (const Mark& mark : kMarks) {
      if (!StartsWithNoCase(line, mark.prefix)) continue;
      (message_->*mark.field).emplace(TrimmedBlanks(line.substr(mark.prefix.size())));
      return;
    }
  }
}

void MessageParser::StartUnfolded(std::optional<std::string>& field, std::string_view value) {
  field.emplace();
  AppendBounded(*field, value);
  folded_target_ = &*field;
}

void MessageParser::EndHeaderBlock() {
  if (decode_text_ && !block_set_boundary_) TakeFoldedBoundary();
  block_set_boundary_ = false;
  own_block_ = false;
  folded_target_ = nullptr;
  // The text's charset is that of the first block whose body stays in the
  // text and declares a type; a multipart type declares no charset, so a
  // part's own type replaces it.
  std::string& text_type = message_->text_content_type;
  if (!attachment_open_ && !block_content_type_.empty() &&
      (text_type.empty() || StartsWithNoCase(text_type, kMultipartType))) {
    text_type = block_content_type_;
  }
}

void MessageParser::AppendRecipient(std::string_view value) {
  std::optional<std::string>& whole = message_->unfolded.recipients;
  if (whole) {
    AppendBounded(*whole, ",");
  } else {
    whole.emplace();
  }
  AppendBounded(*whole, value);
  folded_target_ = &*whole;

  // The joined list has room for kRecipientsLimit characters; the rest is cut.
  std::optional<std::string>& recipients = message_->recipients;
  if (!recipients) {
    recipients.emplace(value.substr(0, kRecipientsLimit));
    return;
  }
  if (recipients->size() >= kRecipientsLimit) return;
  recipients->push_back(',');
  recipients->append(value.substr(0, kRecipientsLimit - recipients->size()));
}

void MessageParser::SeeAlternative() {
  // The first alternative header is the message's own; a later one is a
  // nested part whose versions are kept together as one attachment.
  if (alternative_seen_) OpenAttachment();
  alternative_seen_ = true;
}

void MessageParser::TakeFoldedBoundary() {
  // Mail programs often put the boundary on a folded line of its own, where
  // the table above never looks.
  const std::string_view type = TrimmedBlanks(block_content_type_);
  const bool mixed = StartsWithNoCase(type, kMixedType);
  const bool alternative = StartsWithNoCase(type, kAlternativeType);
  if (!mixed && !alternative) return;
  const std::string_view subtype_end =
      type.substr(mixed ? kMixedType.size() : kAlternativeType.size());
  if (!subtype_end.empty() && subtype_end.front() != ';' && subtype_end.front() != ' ' &&
      subtype_end.front() != '\t') {
    return;
  }
  std::optional<std::string> boundary = ParameterValue(type, "boundary", WordsInValue::kKeep);
  if (!boundary || boundary->empty()) return;
  boundary_.assign("--");
  boundary_.append(*boundary);
  if (alternative) SeeAlternative();
}

void MessageParser::SetBoundary(std::string_view text) {
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  text = text.substr(0, text.find('"'));
  boundary_.assign("--");
  boundary_.append(text);
}

void MessageParser::TakePartName(std::string_view line, std::string_view key) {
  if (boundary_.empty() || !name_pending_) return;
  const size_t found = line.find(key);
  if (found == std::string_view::npos) return;
  std::string_view name = line.substr(found + key.size());
  if (!name.empty() && name.front() == '"') {
    name.remove_prefix(1);
    name = name.substr(0, name.find('"'));
  }
  part_name_.assign(name);
  name_pending_ = false;
}

void MessageParser::StartBase64() { decoder_.emplace(decoded_output_); }

void MessageParser::MakeRoomForDecoded(size_t incoming) {
  // Base64 carries 3 bytes in 4 characters.
  const size_t needed = decoded_.size() + incoming / 4 * 3 + 3;
  if (needed <= decoded_.capacity()) return;
  size_t room = std::max(needed, decoded_.capacity() * 2);
  if (decoded_.size() >= kLargePart) {
    // A large attachment is most of what is left of the message: reserving
    // that once spares copying megabytes at every doubling. Small parts never
    // get here, so many of them do not each reserve the whole message.
    const size_t estimate = needed + RemainingHint() / 4 * 3;
    room = std::max(room, std::min(estimate, kReserveLimit));
  }
  decoded_.reserve(room);
}

void MessageParser::OpenAttachment() {
  if (boundary_.empty() || attachment_open_) return;
  // The message text simply stops growing while the attachment is open, so
  // its end is where writing resumes afterwards.
  attachment_open_ = true;
  open_data_.clear();
  target_ = &open_data_;
}

void MessageParser::MoveDecodedIntoAttachment() {
  // Header lines never write to an attachment, so it is normally still empty
  // and the decoded bytes can change hands without a copy.
  if (open_data_.empty()) {
    open_data_.swap(decoded_);
  } else {
    open_data_.append(decoded_);
  }
}

void MessageParser::CloseAttachment() {
  TrimUnusedRoom(open_data_);
  MailAttachment attachment;
  attachment.data = std::move(open_data_);
  attachment.name = part_name_;
  attachment.content_type = block_content_type_;
  attachment.disposition = block_disposition_;
  message_->attachments.push_back(std::move(attachment));
  open_data_ = std::string();
  attachment_open_ = false;
  target_ = &message_->text;
}

void MessageParser::EndPart() {
  quoted_printable_ = false;
  mode_ = Mode::kHeaders;
  part_name_.clear();
  name_pending_ = true;
  block_content_type_.clear();
  block_disposition_.clear();
  block_set_boundary_ = false;
  folded_target_ = nullptr;
}

void MessageParser::AppendQuotedPrintable(std::string_view content, bool ends_line) {
  std::string& out = *target_;
  const size_t start = out.size();
  out.append(quoted_printable_carry_, quoted_printable_carry_length_);
  quoted_printable_carry_length_ = 0;
  out.append(content);
  if (!ends_line) {
    size_t unfinished_at = 0;
    const size_t decoded = QpDecodePiece(out.data() + start, out.size() - start, &unfinished_at);
    quoted_printable_carry_length_ = out.size() - start - unfinished_at;
    std::memcpy(quoted_printable_carry_, out.data() + start + unfinished_at,
                quoted_printable_carry_length_);
    out.resize(start + decoded);
    return;
  }
  if (out.size() > start && out.back() == '=') {
    // A soft line break: the next line continues this one.
    out.pop_back();
  } else {
    out.push_back('\n');
  }
  const size_t decoded = QpDecode(out.data() + start, out.size() - start);
  out.resize(start + decoded);
}

void MessageParser::FinishQuotedPrintableCarry() {
  if (quoted_printable_carry_length_ == 0) return;
  std::string& out = *target_;
  const size_t start = out.size();
  out.append(quoted_printable_carry_, quoted_printable_carry_length_);
  quoted_printable_carry_length_ = 0;
  out.resize(start + QpDecode(out.data() + start, out.size() - start));
}

size_t MessageParser::RemainingHint() const {
  return announced_size_ > seen_ ? announced_size_ - seen_ : 0;
}

void MessageParser::EndParse() {
  if (message_ == nullptr) return;
  FinishQuotedPrintableCarry();
  if (decoder_) {
    decoder_->Flush();
    decoder_.reset();
    if (attachment_open_) {
      MoveDecodedIntoAttachment();
    } else {
      AppendWithoutCarriageReturns(message_->text, decoded_);
    }
    decoded_ = std::string();
  }
  if (attachment_open_) CloseAttachment();
  TrimUnusedRoom(message_->text);
  boundary_.clear();
  boundary_.shrink_to_fit();
  target_ = nullptr;
  message_ = nullptr;
}

}  // namespace quor
