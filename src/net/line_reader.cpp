#include "net/line_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quor {

namespace {

// Reply lines are read in pieces of this size while only their start is kept.
constexpr size_t kReplyPieceSize = 1024;

}  // namespace

size_t LineReader::Attach(ByteStream* stream) {
  const size_t dropped = buffered();
  stream_ = stream;
  position_ = end_ = 0;
  peer_closed_ = false;
  return dropped;
}

int LineReader::Fill(Deadline deadline) {
  if (stream_ == nullptr) return -ENOTCONN;
  if (peer_closed_) return 0;
  // Empty at first; larger after a replay, which has been read by now.
  if (buffer_.size() != kReadAheadSize) std::vector<char>(kReadAheadSize).swap(buffer_);
  int count = stream_->Read(buffer_.data(), buffer_.size(), deadline);
  if (count < 0) return count;
  position_ = 0;
  end_ = static_cast<size_t>(count);
  if (count == 0) peer_closed_ = true;
  return count;
}

int LineReader::ReadLine(char* buffer, size_t maximum, Deadline deadline) {
  if (maximum == 0) return 0;
  size_t stored = 0;
  while (stored < maximum) {
    if (buffered() == 0) {
      int filled = Fill(deadline);
      // A peer that closes mid-line: the partial line is dropped, as a
      // byte-by-byte reader would drop it.
      if (filled <= 0) return filled;
    }
    const char* start = buffer_.data() + position_;
    size_t available = std::min(buffered(), maximum - stored);
    const void* end = std::memchr(start, '\n', available);
    size_t count = end ? static_cast<size_t>(static_cast<const char*>(end) - start) + 1 : available;
    std::memcpy(buffer + stored, start, count);
    position_ += count;
    stored += count;
    if (end) return static_cast<int>(stored);
  }
  return static_cast<int>(maximum);
}

int LineReader::ReadReplyLine(std::string& line, size_t keep, size_t limit, Deadline deadline) {
  line.clear();
  int ready = WaitForInput(deadline);
  if (ready < 0) return ready;
  if (ready == 0) return -1;
  char piece[kReplyPieceSize];
  size_t total = 0;
  for (;;) {
    int count = ReadLine(piece, sizeof piece, deadline);
    if (count < 0) return count;
    if (count == 0) return -1;  // closed before the line ended
    const size_t length = static_cast<size_t>(count);
    total += length;
    if (line.size() < keep) line.append(piece, std::min(length, keep - line.size()));
    if (piece[length - 1] == '\n') return 1;
    if (total > limit) return -EMSGSIZE;
  }
}

int LineReader::WaitForInput(Deadline deadline) {
  if (buffered() > 0 || peer_closed_) return 1;
  int filled = Fill(deadline);
  if (filled == -ETIMEDOUT) return 0;
  if (filled < 0) return filled;
  return 1;
}

void LineReader::Replay(std::vector<char> bytes) {
  if (bytes.empty()) return;
  bytes.insert(bytes.end(), buffer_.begin() + static_cast<long>(position_),
               buffer_.begin() + static_cast<long>(end_));
  buffer_ = std::move(bytes);
  position_ = 0;
  end_ = buffer_.size();
}

bool LineReader::HasInput() {
  return buffered() > 0 || (stream_ != nullptr && !peer_closed_ && stream_->HasInput());
}

int LineReader::ReadAvailable(char* buffer, size_t size) {
  if (buffered() == 0) {
    if (!HasInput()) return 0;
    int filled = Fill(Clock::now());
    if (filled <= 0) return filled == -ETIMEDOUT ? 0 : filled;
  }
  size_t count = std::min(buffered(), size);
  std::memcpy(buffer, buffer_.data() + position_, count);
  position_ += count;
  return static_cast<int>(count);
}

}  // namespace quor
