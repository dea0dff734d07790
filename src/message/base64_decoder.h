#pragma once
// Streaming, lenient Base64 decoder for the Base64 parts of incoming mail.
// Characters outside the alphabet ('=' and line ends included) are skipped, so
// input may be fed line by line or in arbitrary pieces. Between calls it holds
// at most 4 six-bit values; Flush turns an unfinished last group into bytes
// (2 values give 1 byte, 3 give 2, a single stray value still gives 1).
//
// The output is borrowed and must outlive the decoder. One thread at a time.

#include <cstddef>

#include "base/byte_output.h"

namespace quor {

class Base64Decoder {
 public:
  explicit Base64Decoder(ByteOutput& output) : output_(output) {}
  Base64Decoder(const Base64Decoder&) = delete;
  Base64Decoder& operator=(const Base64Decoder&) = delete;

  void Write(const char* characters, size_t count);
  // Emits what an incomplete last group holds. Call once at the end of a part.
  void Flush();

 private:
  // Decodes the held values into `out` (room for 3 bytes); returns the count.
  size_t EmitGroup(char* out);

  ByteOutput& output_;
  unsigned char values_[4] = {};
  int pending_ = 0;
};

}  // namespace quor
