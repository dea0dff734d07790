#pragma once
// Produces what an SMTP client sends between the positive reply to DATA and
// the terminating dot: the header block, then either a single plain-text body
// or a multipart/mixed body with one part per attachment file.
//
// Everything goes to the borrowed `output` (the client's DATA stream, which
// makes line ends CR LF and stuffs dots); the composer reads no replies and
// does not look at send results. Header values lose any CR or LF, so no text
// from a message can add a header line.
//
// Not one 8-bit byte goes onto the wire: header texts with non-ASCII
// characters (Subject, Organization, the display names of To, Cc and From)
// become encoded words in lines folded at 78 characters, attachment names
// are written in the parameter form for any charset, and a body or text
// attachment with bytes above 127 is sent quoted-printable, labelled
// charset=utf-8 when it is valid UTF-8 and unknown-8bit otherwise. An
// ASCII-only message goes out byte for byte as it always has, apart from the
// Message-ID and Auto-Submitted lines that every message carries.
//
// A multipart body is first written to a scratch file: that bounds memory to
// one 512-byte block whatever the attachment sizes, and gives the exact
// length for the Content-Length line before the body is sent. Its boundary is
// random and can never occur in quoted-printable or Base64 text ("=_" is in
// it); the text parts (the body and text attachments, which an ASCII text
// goes out as it is) are checked, and a boundary found in them is replaced by
// a new one.
// Stateless between calls; one thread at a time.

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_output.h"
#include "message/outgoing_message.h"

namespace quor {

// "Tue, 05 Mar 2024 09:07:03 +0100": local time of `now` with English day and
// month names and the zone offset of that moment, daylight saving included.
std::string DateText(std::time_t now);

// The content type of an attachment by the extension of its file name (from
// the last '.' on, letter case significant): "text/html" for ".htm*",
// "text/plain", "image/gif", "image/jpeg", "image/png",
// "application/x-zip-compressed", else "application/octet-stream".
std::string AttachmentContentType(std::string_view file_name);

// "NEXT_PART_=_" and 32 hexadecimal digits from the system's random source.
std::string MultipartBoundary();

// "<seconds.random@host_name>", unique for every call; a host name with
// characters that do not belong in one gives "localhost" instead.
std::string NewMessageId(std::string_view host_name);

class MessageComposer {
 public:
  // Files are copied in blocks of this size, into the scratch file and
  // through the encoders.
  static constexpr size_t kBlockSize = 512;
  // How often a multipart body is composed again with a new boundary before
  // the composition gives up (-EAGAIN): only an attachment that keeps
  // changing while it is read gets that far.
  static constexpr int kCompositionAttempts = 8;

  explicit MessageComposer(ByteOutput& output) : output_(output) {}

  // To and Cc (one line per piece), From, Reply-To when it differs from the
  // sender, Subject, Organization, Date, Message-ID, Auto-Submitted and
  // MIME-Version, in that order.
  void SendHeaderBlock(const OutgoingMessage& message, std::time_t now,
                       std::string_view message_id);
  // The text/plain header lines, then (for a non-empty body) Content-Length
  // with the size of the body as sent plus 5, the empty line and the body.
  void SendSinglePartBody(std::string_view body);
  // Writes the multipart body (the text part, then one part per attachment
  // path in order) into `file`, which must be open for reading and writing,
  // then sends the multipart Content-Type and Content-Length lines and the
  // empty line that end the header block. An attachment that cannot be
  // opened any more becomes an empty part. 1, or -errno when the file could
  // not be written (nothing is sent then).
  int ComposeMultipart(std::FILE* file, std::string_view body,
                       const std::vector<std::string>& attachments);
  // Same, starting with the boundary given (for tests); it is replaced like a
  // random one when it occurs in a part sent as it is.
  int ComposeMultipart(std::FILE* file, std::string_view body,
                       const std::vector<std::string>& attachments, std::string boundary);
  // The whole content of the message: the header block (Message-ID made for
  // `host_name`), then the single-part body or, with attachments, the
  // multipart body composed in a private scratch file (TemporaryFile) and
  // copied out in blocks. Copying stops when the output has failed. 1, or
  // -errno when the scratch file could not be made, written or read (the
  // body is then not sent).
  int ComposeMessage(const OutgoingMessage& message, std::time_t now, std::string_view host_name);

 private:
  void SendLine(std::string_view name, std::string_view value);
  // A header line whose value is a mailbox ("Name <address>"): a non-ASCII
  // display name is encoded, the address stays as written.
  void SendMailboxLine(std::string_view name, std::string_view value);
  // A header line of free text: from the first word with non-ASCII text on,
  // the value is encoded.
  void SendTextLine(std::string_view name, std::string_view value);
  void Send(std::string_view bytes) { output_.Write(bytes.data(), bytes.size()); }

  ByteOutput& output_;
};

}  // namespace quor
