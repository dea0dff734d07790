#pragma once
// Streaming quoted-printable encoder for the text of outgoing messages whose
// bytes are not all ASCII, so that not one 8-bit byte goes onto the wire.
// Input may arrive in blocks of any size; between calls the encoder holds at
// most one byte whose form depends on what follows (a blank before a line
// end, a CR before its LF).
//
// A line feed, or CR LF, in the input is a line end of the text and leaves
// as a bare line feed (the SMTP side turns line ends into CR LF); a CR on its
// own is data and leaves as "=0D". Printable ASCII other than '=' stays as it
// is, a blank stays unless a line end follows it, everything else becomes
// "=XY". Output lines hold at most 76 characters: longer ones are broken
// with a soft line break ("=" before the line feed) that decoding removes.
// A line that starts with '.' has it escaped, so the text needs no
// transparency dot on the wire and reads the same to every server.
//
// The output is borrowed and must outlive the encoder. One thread at a time.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/byte_output.h"

namespace quor {

class QuotedPrintableEncoder {
 public:
  static constexpr size_t kLineLength = 76;

  explicit QuotedPrintableEncoder(ByteOutput& output) : output_(output) {}
  QuotedPrintableEncoder(const QuotedPrintableEncoder&) = delete;
  QuotedPrintableEncoder& operator=(const QuotedPrintableEncoder&) = delete;

  void Write(const char* bytes, size_t count);
  void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }
  // Writes what is held back. Call once, after the last Write; the text's own
  // last line end (if it has one) is already out.
  void Finish();

 private:
  void Byte(unsigned char byte);
  void LineEnd();
  // Appends one encoded unit (1 or 3 characters), breaking the line first
  // when the unit and a soft break would not fit.
  void Emit(std::string_view unit);
  void Escaped(unsigned char byte);
  void Flush();

  ByteOutput& output_;
  std::string line_;  // the current output line, not yet written
  int held_ = -1;     // a blank or CR whose form waits for the next byte
};

// The whole of `text` encoded as above.
std::string QuotedPrintableText(std::string_view text);

}  // namespace quor
