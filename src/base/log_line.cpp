#include "base/log_line.h"

namespace quor {

namespace {

bool IsC0OrDelete(unsigned char byte) { return (byte < 0x20 && byte != '\t') || byte == 0x7F; }

// The second byte of a C1 character's UTF-8 form after its 0xC2.
bool IsC1Tail(unsigned char byte) { return byte >= 0x80 && byte <= 0x9F; }

void AppendHexEscape(std::string& out, unsigned char byte) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

}  // namespace

std::string LogLineText(std::string_view text) {
  if (!text.empty() && text.back() == '\n') {
    text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  }
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r') {
      shown += "\\r";
    } else if (byte == '\n') {
      shown += "\\n";
    } else if (IsC0OrDelete(byte)) {
      AppendHexEscape(shown, byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               IsC1Tail(static_cast<unsigned char>(text[i + 1]))) {
      AppendHexEscape(shown, byte);
      AppendHexEscape(shown, static_cast<unsigned char>(text[++i]));
    } else {
      shown += text[i];
    }
  }
  return shown;
}

}  // namespace quor
