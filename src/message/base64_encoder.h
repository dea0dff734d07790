#pragma once
// Streaming Base64 encoder (RFC 2045 alphabet, '=' fill) for attachments of
// outgoing messages. Input may arrive in blocks of any size; between calls the
// encoder holds at most one unfinished 3-byte group, everything else has
// already gone to the output.
//
// With line breaks, output lines are 72 characters, each ending in a bare line
// feed (the SMTP side turns line ends into CR LF). Empty input gives no output.
//
// The output is borrowed and must outlive the encoder. One thread at a time.

#include <cstddef>

#include "base/byte_output.h"

namespace quor {

class Base64Encoder {
 public:
  enum class LineBreaks { kNone, kEvery72 };
  static constexpr int kLineLength = 72;

  explicit Base64Encoder(ByteOutput& output, LineBreaks line_breaks = LineBreaks::kEvery72);
  Base64Encoder(const Base64Encoder&) = delete;
  Base64Encoder& operator=(const Base64Encoder&) = delete;

  void Write(const char* bytes, size_t count);
  // Completes the last group ("=" or "==" fill) and the last line. Call once,
  // after the last Write.
  void Finish();

 private:
  // Encodes the held group (pending_ bytes) into `out`, which has room for 5
  // characters; returns how many were written.
  size_t EmitGroup(char* out);

  ByteOutput& output_;
  LineBreaks line_breaks_;
  unsigned char group_[3] = {};
  int pending_ = 0;
  int column_ = 0;
};

}  // namespace quor
