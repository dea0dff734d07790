#pragma once
// Sorts the lines of a message as they arrive: header lines fill the header
// fields, body lines go to the message text, and the bodies of MIME parts with
// a transfer encoding are diverted into attachments, decoded on the way.
// One pass, one boundary at a time; folded headers are not joined.
//
// Header lines are recognised by case-insensitive prefixes ("To: ", "CC: ",
// "Date: ", "Subject: ", "From: ", "Reply-To: ", the two multipart content
// types with their boundary, "Content-Type:" and "Content-Disposition:" for
// the part name, and "Content-Transfer-Encoding:"); anything else is ignored.
// The fields above keep their first line only. Beside them the parser keeps
// what decoding and the loop check read: the five fields and each block's
// Content-Type and Content-Disposition with their folded lines (lines that
// start with a blank) joined on, each at most kUnfoldedLimit bytes, and the
// Auto-Submitted, Precedence, List-Id and Return-Path fields of the
// message's own header block.
// Attachments are opened only while a boundary is known; without one, a
// quoted-printable body is decoded into the message text.
//
// Lines arrive as the POP client reads them: each complete line ends in a
// single '\n' (a "\r\n" ending is accepted too), and a line longer than the
// client's buffer comes as several pieces without '\n', the last piece
// carrying it. A continuation piece never starts a line: it cannot be a
// delimiter or the empty line that ends a header block, and only the first
// piece of a long header line is looked at. A quoted-printable escape split
// between two pieces is decoded whole.
//
// Decisions where mail in the wild leaves the result open:
//   - An attachment still open when the message ends (its closing delimiter
//     never came, or the connection dropped) is recorded with what it holds;
//     a Base64 part in that state is flushed into it first.
//   - A second opening while an attachment is open is ignored. Openings only
//     happen in a part's header block and data only arrives in its body, so
//     the open attachment is still empty: the part's body goes to it.
//   - A Base64 decoder that meets a delimiter with no attachment open (a
//     Base64 transfer-encoding line ahead of the multipart header in the same
//     block) held the preamble; its bytes are dropped.
//   - A Base64 body that is still being decoded when the message ends with no
//     attachment open (typically a single-part Base64 message) becomes the
//     message text, its "\r\n" line ends turned into '\n'.
//
// Memory: the announced size is only a hint. Buffers grow as needed; the hint
// reserves the message text and, once a Base64 part has grown large, the rest
// of that part, never more than kReserveLimit bytes at a time. Buffers left
// with much unused room are trimmed when they are finished, so what a message
// keeps is bounded by its own size.
//
// As a MessageLineSink it takes a retrieval's lines straight from the POP3
// client, into the message it was built with.
//
// Thread rules: one thread. The MailMessage is borrowed from BeginParse to
// EndParse and must outlive that span; the target given to the constructor
// must outlive the parser.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/byte_output.h"
#include "base/message_line_sink.h"
#include "message/base64_decoder.h"
#include "message/mail_message.h"

namespace quor {

class MessageParser : public MessageLineSink {
 public:
  static constexpr size_t kRecipientsLimit = 1023;           // characters of the joined list
  static constexpr size_t kReserveLimit = size_t{64} << 20;  // largest reservation from a hint
  static constexpr size_t kLargePart = size_t{64} << 10;  // decoded size that earns a reservation
  static constexpr size_t kUnfoldedLimit = 8192;  // bytes of one field with its folded lines

  MessageParser() = default;
  // A parser whose retrievals (BeginMessage ... EndMessage) fill `target`.
  explicit MessageParser(MailMessage& target) : retrieval_target_(&target) {}
  MessageParser(const MessageParser&) = delete;
  MessageParser& operator=(const MessageParser&) = delete;

  // Clears `message`, resets the parser state and starts filling the message.
  void BeginParse(MailMessage& message, size_t announced_size);
  // One line ending in a single '\n', or a piece of a longer line without one.
  // Ignored outside BeginParse/EndParse.
  void ParseLine(const char* line, size_t length);
  // Ends the message: an attachment whose closing delimiter never came is
  // recorded with what it holds. The message is then complete.
  void EndParse();

  // With decoding on (the DecodeText setting), a multipart/mixed or
  // multipart/alternative Content-Type whose boundary the prefixes above do
  // not see (it stands on a folded line, after another parameter, or without
  // the blank) sets the boundary as well, at the end of its header block. Off (the
  // default), messages are parsed as they always have been. Set it between
  // retrievals.
  void set_decode_text(bool on) { decode_text_ = on; }

  // MessageLineSink: BeginParse into the constructor's target (nothing
  // happens without one), ParseLine, EndParse.
  void BeginMessage(size_t announced_size) override;
  void AddMessageLine(const char* line, size_t length) override { ParseLine(line, length); }
  void EndMessage() override { EndParse(); }

 private:
  enum class Mode { kHeaders, kBody };

  void ParseHeaderLine(std::string_view line);
  // Keeps the whole Content-Type and Content-Disposition of the block and the
  // marks of automatic mail; the older table does the rest.
  void TakeWholeField(std::string_view line);
  void StartUnfolded(std::optional<std::string>& field, std::string_view value);
  void EndHeaderBlock();
  void SeeAlternative();
  void TakeFoldedBoundary();
  void ParseBodyLine(std::string_view content, bool ends_line, bool continuation);
  void AppendRecipient(std::string_view value);
  void SetBoundary(std::string_view text);
  void TakePartName(std::string_view line, std::string_view key);
  void StartBase64();
  void MakeRoomForDecoded(size_t incoming);
  void OpenAttachment();
  void MoveDecodedIntoAttachment();
  void CloseAttachment();
  void EndPart();
  void AppendQuotedPrintable(std::string_view content, bool ends_line);
  void FinishQuotedPrintableCarry();
  // What is left of the announced size after the bytes seen so far.
  size_t RemainingHint() const;

  MailMessage* retrieval_target_ = nullptr;  // where BeginMessage parses to
  MailMessage* message_ = nullptr;           // borrowed while parsing
  Mode mode_ = Mode::kHeaders;
  std::string boundary_;           // "--" + boundary text; empty while none is known
  std::string* target_ = nullptr;  // the message text or open_data_
  bool attachment_open_ = false;
  std::string open_data_;
  bool quoted_printable_ = false;
  // An escape cut off at the end of a piece, waiting for the rest of its line.
  char quoted_printable_carry_[2] = {};
  size_t quoted_printable_carry_length_ = 0;
  std::string decoded_;
  StringOutput decoded_output_{decoded_};
  std::optional<Base64Decoder> decoder_;  // present while a Base64 part is read
  std::string part_name_;
  bool name_pending_ = true;
  bool alternative_seen_ = false;
  bool mid_line_ = false;                 // the last piece did not end its line
  bool own_block_ = true;                 // still in the message's own header block
  std::string* folded_target_ = nullptr;  // where a folded line continues, if anywhere
  std::string block_content_type_;        // of the current header block, folded lines joined
  std::string block_disposition_;
  bool block_set_boundary_ = false;  // the table set a boundary in this block
  bool decode_text_ = false;
  size_t announced_size_ = 0;
  size_t seen_ = 0;
};

}  // namespace quor
