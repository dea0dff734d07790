#include "message/quoted_printable.h"

namespace quor {

namespace {

enum class AtEnd { kDecodeShortEscape, kKeepShortEscape };

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

size_t Decode(char* buffer, size_t length, AtEnd at_end, size_t* unfinished_at) {
  size_t read = 0;
  size_t written = 0;
  while (read < length) {
    const char c = buffer[read];
    if (c != '=') {
      buffer[written++] = c;
      ++read;
      continue;
    }
    // An escape needs '=' plus two more bytes, unless the byte after the first
    // digit is another '=' (then the escape has one digit).
    const bool has_first = read + 1 < length;
    const bool has_second = read + 2 < length;
    if (at_end == AtEnd::kKeepShortEscape && (!has_first || !has_second)) {
      *unfinished_at = read;
      return written;
    }
    int value = 0;
    if (!has_first) {
      read = length;
    } else if (!has_second || buffer[read + 2] == '=') {
      value = HexValue(buffer[read + 1]);
      read += 2;
    } else {
      value = HexValue(buffer[read + 1]) * 16 + HexValue(buffer[read + 2]);
      read += 3;
    }
    // A NUL would cut the text short for every reader that takes it as a C
    // string (programs started with it, saved files), so zero writes nothing.
    if (value != 0) buffer[written++] = static_cast<char>(value);
  }
  if (unfinished_at != nullptr) *unfinished_at = length;
  return written;
}

}  // namespace

size_t QpDecode(char* buffer, size_t length) {
  return Decode(buffer, length, AtEnd::kDecodeShortEscape, nullptr);
}

size_t QpDecodePiece(char* buffer, size_t length, size_t* unfinished_at) {
  return Decode(buffer, length, AtEnd::kKeepShortEscape, unfinished_at);
}

}  // namespace quor
