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
// A multipart body is first written to a scratch file: that bounds memory to
// one 512-byte block whatever the attachment sizes, and gives the exact
// length for the Content-Length line before the body is sent.
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

// "NEXT_PART_<seconds>_<milliseconds since the process started>".
std::string MultipartBoundary();

class MessageComposer {
 public:
  // Files are copied in blocks of this size, into the scratch file and
  // through the Base64 encoder.
  static constexpr size_t kBlockSize = 512;

  explicit MessageComposer(ByteOutput& output) : output_(output) {}

  // To and Cc (one line per piece), From, Reply-To when it differs from the
  // sender, Subject, Organization, Date and MIME-Version, in that order.
  void SendHeaderBlock(const OutgoingMessage& message, std::time_t now);
  // The text/plain header lines, then (for a non-empty body) Content-Length
  // with the body's size plus 5, the empty line and the body.
  void SendSinglePartBody(std::string_view body);
  // Writes the multipart body (the text part, then one part per attachment
  // path in order) into `file`, which must be open for writing, then sends
  // the multipart Content-Type and Content-Length lines and the empty line
  // that end the header block. An attachment that cannot be opened any more
  // becomes an empty part. 1, or -errno when the file could not be written
  // (nothing is sent then).
  int ComposeMultipart(std::FILE* file, std::string_view body,
                       const std::vector<std::string>& attachments);
  // Same, with the boundary given (for tests).
  int ComposeMultipart(std::FILE* file, std::string_view body,
                       const std::vector<std::string>& attachments, const std::string& boundary);
  // The whole content of the message: the header block, then the single-part
  // body or, with attachments, the multipart body composed in a private
  // scratch file (TemporaryFile) and copied out in blocks. Copying stops when
  // the output has failed. 1, or -errno when the scratch file could not be
  // made, written or read (the body is then not sent).
  int ComposeMessage(const OutgoingMessage& message, std::time_t now);

 private:
  void SendLine(std::string_view name, std::string_view value);

  ByteOutput& output_;
};

}  // namespace quor
