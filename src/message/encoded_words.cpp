#include "message/encoded_words.h"

#include <algorithm>
#include <optional>

#include "message/charset_conversion.h"

namespace quor {

namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::string_view kEnd = "?=";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameCharset(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string> DecodeQ(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '_') {
      bytes.push_back(' ');
    } else if (c == '=') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      bytes.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      bytes.push_back(c);
    }
  }
  return bytes;
}

std::optional<std::string> DecodeB(std::string_view text) {
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return std::nullopt;
  std::string bytes;
  unsigned value = 0;
  int bits = 0;
  for (char c : text) {
    const size_t digit = kBase64Alphabet.find(c);
    if (digit == std::string_view::npos) return std::nullopt;
    value = (value << 6) | static_cast<unsigned>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((value >> bits) & 0xFF));
    }
  }
  return bytes;
}

// One piece of a header text: a run of plain text, or an encoded word with
// its bytes (still in its charset) and, once converted, its UTF-8 text.
struct Piece {
  std::string_view written;
  bool encoded = false;
  std::string_view charset{};
  std::string bytes{};
  std::optional<std::string> decoded{};
};

// The encoded word at the start of `text` ("=?" already seen there), or none
// when the text only resembles one.
std::optional<Piece> ReadEncodedWord(std::string_view text) {
  const size_t charset_end = text.find('?', 2);
  if (charset_end == std::string_view::npos || charset_end == 2) return std::nullopt;
  std::string_view charset = text.substr(2, charset_end - 2);
  for (char c : charset) {
    if (IsBlank(c) || c == '=') return std::nullopt;
  }
  if (charset_end + 2 >= text.size() || text[charset_end + 2] != '?') return std::nullopt;
  const char encoding = Lower(text[charset_end + 1]);
  if (encoding != 'q' && encoding != 'b') return std::nullopt;
  const size_t content_start = charset_end + 3;
  const size_t content_end = text.find('?', content_start);
  if (content_end == std::string_view::npos || content_end + 1 >= text.size() ||
      text[content_end + 1] != '=') {
    return std::nullopt;
  }
  std::string_view content = text.substr(content_start, content_end - content_start);
  for (char c : content) {
    if (IsBlank(c)) return std::nullopt;
  }
  std::optional<std::string> bytes = encoding == 'q' ? DecodeQ(content) : DecodeB(content);
  if (!bytes) return std::nullopt;
  Piece piece;
  piece.written = text.substr(0, content_end + 2);
  piece.encoded = true;
  // A language tag ("utf-8*de") says nothing about the bytes.
  piece.charset = charset.substr(0, charset.find('*'));
  piece.bytes = std::move(*bytes);
  return piece;
}

std::vector<Piece> Split(std::string_view text) {
  std::vector<Piece> pieces;
  size_t plain_start = 0;
  size_t position = 0;
  while ((position = text.find("=?", position)) != std::string_view::npos) {
    std::optional<Piece> word = ReadEncodedWord(text.substr(position));
    if (!word) {
      position += 1;
      continue;
    }
    if (position > plain_start) {
      pieces.push_back(Piece{.written = text.substr(plain_start, position - plain_start)});
    }
    position += word->written.size();
    plain_start = position;
    pieces.push_back(std::move(*word));
  }
  if (plain_start < text.size()) pieces.push_back(Piece{.written = text.substr(plain_start)});
  return pieces;
}

bool IsBlankOnly(const Piece& piece) {
  if (piece.encoded) return false;
  for (char c : piece.written) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

// Converts the words from `first` on that share its charset and stand next to
// each other (white space between them at most). Together first, since a
// sender may split a character between two words; one by one when that fails.
// Returns the index after the last piece looked at.
size_t ConvertRun(std::vector<Piece>& pieces, size_t first) {
  std::vector<size_t> words = {first};
  size_t next = first + 1;
  while (true) {
    size_t candidate = next;
    if (candidate < pieces.size() && IsBlankOnly(pieces[candidate])) ++candidate;
    if (candidate >= pieces.size() || !pieces[candidate].encoded ||
        !SameCharset(pieces[candidate].charset, pieces[first].charset)) {
      break;
    }
    words.push_back(candidate);
    next = candidate + 1;
  }
  std::string joined;
  for (size_t index : words) joined += pieces[index].bytes;
  std::string text;
  if (ConvertToUtf8(joined, pieces[first].charset, InvalidBytes::kRefuse, text)) {
    pieces[first].decoded = std::move(text);
    for (size_t i = 1; i < words.size(); ++i) pieces[words[i]].decoded = std::string();
    return next;
  }
  for (size_t index : words) {
    std::string own;
    if (ConvertToUtf8(pieces[index].bytes, pieces[index].charset, InvalidBytes::kRefuse, own)) {
      pieces[index].decoded = std::move(own);
    }
  }
  return next;
}

bool IsDecodedWord(const std::vector<Piece>& pieces, size_t index) {
  return index < pieces.size() && pieces[index].encoded && pieces[index].decoded.has_value();
}

bool IsQLiteral(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9') || byte == '!' || byte == '*' || byte == '+' || byte == '-' ||
         byte == '/';
}

size_t QLength(std::string_view bytes) {
  size_t length = 0;
  for (char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    length += (IsQLiteral(byte) || byte == ' ') ? 1 : 3;
  }
  return length;
}

void AppendQ(std::string_view bytes, std::string& word) {
  for (char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (IsQLiteral(byte)) {
      word.push_back(c);
    } else if (byte == ' ') {
      word.push_back('_');
    } else {
      word.push_back('=');
      word.push_back(kHexDigits[byte >> 4]);
      word.push_back(kHexDigits[byte & 0x0F]);
    }
  }
}

size_t BLength(size_t byte_count) { return (byte_count + 2) / 3 * 4; }

void AppendB(std::string_view bytes, std::string& word) {
  for (size_t i = 0; i < bytes.size(); i += 3) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) value |= static_cast<unsigned char>(bytes[i + 2]);
    word.push_back(kBase64Alphabet[(value >> 18) & 0x3F]);
    word.push_back(kBase64Alphabet[(value >> 12) & 0x3F]);
    word.push_back(i + 1 < bytes.size() ? kBase64Alphabet[(value >> 6) & 0x3F] : '=');
    word.push_back(i + 2 < bytes.size() ? kBase64Alphabet[value & 0x3F] : '=');
  }
}

// The length of the UTF-8 character that starts with `lead` (1 for a byte
// that starts none, so even broken text is cut somewhere).
size_t CharacterLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  return 1;
}

}  // namespace

std::string DecodeEncodedWords(std::string_view text) {
  if (text.find("=?") == std::string_view::npos) return std::string(text);
  std::vector<Piece> pieces = Split(text);
  for (size_t i = 0; i < pieces.size();) {
    i = pieces[i].encoded ? ConvertRun(pieces, i) : i + 1;
  }
  std::string result;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const Piece& piece = pieces[i];
    if (IsDecodedWord(pieces, i)) {
      result += *piece.decoded;
    } else if (IsBlankOnly(piece) && i > 0 && IsDecodedWord(pieces, i - 1) &&
               IsDecodedWord(pieces, i + 1)) {
      continue;
    } else {
      result += piece.written;
    }
  }
  return result;
}

std::vector<std::string> EncodeWords(std::string_view text, size_t first_word_room) {
  std::vector<std::string> words;
  if (text.empty()) return words;
  const bool use_q = QLength(text) <= BLength(text.size());
  // Bytes that are not UTF-8 cannot be given a charset they are not in.
  const std::string start =
      std::string("=?") + (IsValidUtf8(text) ? "UTF-8" : "unknown-8bit") + (use_q ? "?Q?" : "?B?");
  const size_t overhead = start.size() + kEnd.size();
  size_t position = 0;
  while (position < text.size()) {
    const size_t word_room =
        std::min(words.empty() ? first_word_room : kMaxEncodedWord, kMaxEncodedWord);
    const size_t room = word_room > overhead ? word_room - overhead : 0;
    // Whole characters, as many as the word has room for (always at least one).
    size_t length = 0;
    while (position + length < text.size()) {
      size_t character = CharacterLength(static_cast<unsigned char>(text[position + length]));
      character = std::min(character, text.size() - position - length);
      std::string_view candidate = text.substr(position, length + character);
      const size_t encoded = use_q ? QLength(candidate) : BLength(candidate.size());
      if (encoded > room && length > 0) break;
      length += character;
    }
    std::string word(start);
    std::string_view bytes = text.substr(position, length);
    if (use_q) {
      AppendQ(bytes, word);
    } else {
      AppendB(bytes, word);
    }
    word += kEnd;
    words.push_back(std::move(word));
    position += length;
  }
  return words;
}

}  // namespace quor
