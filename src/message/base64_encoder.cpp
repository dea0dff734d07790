#include "message/base64_encoder.h"

namespace quor {

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Encoded text is collected per Write call and handed over in a few large
// writes instead of one virtual call per group.
constexpr size_t kBatchSize = 1024;
constexpr size_t kGroupMaxOutput = 5;  // four characters and a line feed
}  // namespace

Base64Encoder::Base64Encoder(ByteOutput& output, LineBreaks line_breaks)
    : output_(output), line_breaks_(line_breaks) {}

void Base64Encoder::Write(const char* bytes, size_t count) {
  char batch[kBatchSize];
  size_t used = 0;
  for (size_t i = 0; i < count; ++i) {
    group_[pending_++] = static_cast<unsigned char>(bytes[i]);
    if (pending_ < 3) continue;
    used += EmitGroup(batch + used);
    if (used + kGroupMaxOutput > kBatchSize) {
      output_.Write(batch, used);
      used = 0;
    }
  }
  if (used > 0) output_.Write(batch, used);
}

void Base64Encoder::Finish() {
  char tail[kGroupMaxOutput + 1];
  size_t used = 0;
  if (pending_ > 0) {
    for (int i = pending_; i < 3; ++i) group_[i] = 0;
    used = EmitGroup(tail);
  }
  if (column_ != 0) {
    tail[used++] = '\n';
    column_ = 0;
  }
  if (used > 0) output_.Write(tail, used);
}

size_t Base64Encoder::EmitGroup(char* out) {
  const unsigned b0 = group_[0];
  const unsigned b1 = pending_ >= 2 ? group_[1] : 0;
  const unsigned b2 = pending_ >= 3 ? group_[2] : 0;
  size_t used = 0;
  out[used++] = kAlphabet[b0 >> 2];
  out[used++] = kAlphabet[((b0 & 0x03) << 4) | (b1 >> 4)];
  out[used++] = pending_ >= 2 ? kAlphabet[((b1 & 0x0F) << 2) | (b2 >> 6)] : '=';
  out[used++] = pending_ >= 3 ? kAlphabet[b2 & 0x3F] : '=';
  pending_ = 0;
  column_ += 4;
  if (line_breaks_ == LineBreaks::kEvery72 && column_ >= kLineLength) {
    out[used++] = '\n';
    column_ = 0;
  }
  return used;
}

}  // namespace quor
