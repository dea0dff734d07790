#include "message/quoted_printable_encoder.h"

namespace quor {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
}  // namespace

void QuotedPrintableEncoder::Write(const char* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) Byte(static_cast<unsigned char>(bytes[i]));
}

void QuotedPrintableEncoder::Byte(unsigned char byte) {
  if (held_ >= 0) {
    const unsigned char held = static_cast<unsigned char>(held_);
    held_ = -1;
    if (held == '\r') {
      if (byte == '\n') {
        LineEnd();
        return;
      }
      Escaped(held);
    } else if (byte == '\n' || byte == '\r') {
      // A blank at the end of a line would be lost by readers that trim.
      Escaped(held);
    } else {
      Emit(std::string_view(reinterpret_cast<const char*>(&held), 1));
    }
  }
  if (byte == '\n') {
    LineEnd();
  } else if (byte == '\r' || byte == ' ' || byte == '\t') {
    held_ = byte;
  } else if (byte >= 33 && byte <= 126 && byte != '=' && !(byte == '.' && line_.empty())) {
    const char c = static_cast<char>(byte);
    Emit(std::string_view(&c, 1));
  } else {
    Escaped(byte);
  }
}

void QuotedPrintableEncoder::Escaped(unsigned char byte) {
  const char unit[3] = {'=', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
  Emit(std::string_view(unit, 3));
}

void QuotedPrintableEncoder::Emit(std::string_view unit) {
  // Room for the unit and the '=' of a soft break after it.
  if (line_.size() + unit.size() + 1 > kLineLength) {
    line_ += "=\n";
    output_.Write(line_.data(), line_.size());
    line_.clear();
    if (unit == ".") unit = "=2E";
  }
  line_ += unit;
}

void QuotedPrintableEncoder::LineEnd() {
  line_ += '\n';
  Flush();
}

void QuotedPrintableEncoder::Flush() {
  output_.Write(line_.data(), line_.size());
  line_.clear();
}

void QuotedPrintableEncoder::Finish() {
  if (held_ >= 0) {
    const unsigned char held = static_cast<unsigned char>(held_);
    held_ = -1;
    Escaped(held);
  }
  Flush();
}

std::string QuotedPrintableText(std::string_view text) {
  std::string encoded;
  StringOutput output(encoded);
  QuotedPrintableEncoder encoder(output);
  encoder.Write(text);
  encoder.Finish();
  return encoded;
}

}  // namespace quor
