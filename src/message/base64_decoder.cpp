#include "message/base64_decoder.h"

#include <array>
#include <cstdint>

namespace quor {

namespace {
constexpr unsigned char kNotInAlphabet = 0xFF;
constexpr size_t kBatchSize = 768;

constexpr std::array<unsigned char, 256> MakeValueTable() {
  std::array<unsigned char, 256> table{};
  for (auto& value : table) value = kNotInAlphabet;
  for (int i = 0; i < 26; ++i) {
    table['A' + i] = static_cast<unsigned char>(i);
    table['a' + i] = static_cast<unsigned char>(26 + i);
  }
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<unsigned char>(52 + i);
  table['+'] = 62;
  table['/'] = 63;
  return table;
}
constexpr std::array<unsigned char, 256> kValues = MakeValueTable();
}  // namespace

void Base64Decoder::Write(const char* characters, size_t count) {
  // Decoded bytes are collected per call and handed over in large writes.
  // The group is kept in locals meanwhile: stores through `batch` could alias
  // the members and would otherwise force them through memory every byte.
  char batch[kBatchSize];
  size_t used = 0;
  int pending = pending_;
  uint32_t group = 0;
  for (int i = 0; i < pending; ++i) group = (group << 6) | values_[i];
  for (size_t i = 0; i < count; ++i) {
    // Whole groups of four alphabet characters are the common case.
    while (pending == 0 && i + 4 <= count) {
      const unsigned a = kValues[static_cast<unsigned char>(characters[i])];
      const unsigned b = kValues[static_cast<unsigned char>(characters[i + 1])];
      const unsigned c = kValues[static_cast<unsigned char>(characters[i + 2])];
      const unsigned d = kValues[static_cast<unsigned char>(characters[i + 3])];
      if ((a | b | c | d) > 63) break;  // a character outside the alphabet among them
      const uint32_t whole = (a << 18) | (b << 12) | (c << 6) | d;
      batch[used] = static_cast<char>(whole >> 16);
      batch[used + 1] = static_cast<char>(whole >> 8);
      batch[used + 2] = static_cast<char>(whole);
      used += 3;
      i += 4;
      if (used + 3 > kBatchSize) {
        output_.Write(batch, used);
        used = 0;
      }
    }
    if (i >= count) break;
    const unsigned char value = kValues[static_cast<unsigned char>(characters[i])];
    if (value == kNotInAlphabet) continue;
    group = (group << 6) | value;
    if (++pending < 4) continue;
    batch[used] = static_cast<char>(group >> 16);
    batch[used + 1] = static_cast<char>(group >> 8);
    batch[used + 2] = static_cast<char>(group);
    used += 3;
    pending = 0;
    group = 0;
    if (used + 3 > kBatchSize) {
      output_.Write(batch, used);
      used = 0;
    }
  }
  for (int i = pending - 1; i >= 0; --i) {
    values_[i] = static_cast<unsigned char>(group & 0x3F);
    group >>= 6;
  }
  pending_ = pending;
  if (used > 0) output_.Write(batch, used);
}

void Base64Decoder::Flush() {
  if (pending_ == 0) return;
  for (int i = pending_; i < 4; ++i) values_[i] = 0;
  char tail[3];
  const size_t used = EmitGroup(tail);
  output_.Write(tail, used);
}

size_t Base64Decoder::EmitGroup(char* out) {
  const unsigned c0 = values_[0], c1 = values_[1], c2 = values_[2], c3 = values_[3];
  size_t used = 0;
  out[used++] = static_cast<char>((c0 << 2) | (c1 >> 4));
  if (pending_ > 2) out[used++] = static_cast<char>(((c1 & 0x0F) << 4) | (c2 >> 2));
  if (pending_ > 3) out[used++] = static_cast<char>(((c2 & 0x03) << 6) | c3);
  pending_ = 0;
  return used;
}

}  // namespace quor
