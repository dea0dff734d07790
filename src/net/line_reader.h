#pragma once
// Reads lines from a ByteStream through a read-ahead buffer, for both mail
// conversations: a retrieval costs one system call per buffer, not per byte,
// and nothing read ahead is lost between calls. Every read is bounded by the
// caller's deadline.
//
// The reader borrows its stream (Attach); attaching another stream (a TLS
// session that replaces the plain connection) drops whatever was read ahead
// from the old one, so bytes that arrived before a switch can never be taken
// for bytes after it. One thread at a time.

#include <cstddef>
#include <string>
#include <vector>

#include "net/byte_stream.h"

namespace quor {

class LineReader {
 public:
  static constexpr size_t kReadAheadSize = 64 * 1024;

  // The stream to read from, or null; borrowed. Returns the number of bytes
  // that were read ahead and are now dropped.
  size_t Attach(ByteStream* stream);

  // Bytes up to and including the next '\n', at most `maximum` of them, into
  // `buffer`; no NUL is added. A longer line comes in pieces of `maximum`
  // bytes. Waits for more bytes until `deadline`. Returns the count; 0 when
  // the peer closed before the line ended (the part that came is dropped);
  // -ETIMEDOUT when the deadline passed first; -errno.
  int ReadLine(char* buffer, size_t maximum, Deadline deadline);

  // One reply line of a mail server: its first `keep` bytes (the line end
  // among them when it fits) go to `line`, the rest is read and dropped.
  // 1 for a line; -1 when nothing arrived before the deadline or the peer
  // closed; -ETIMEDOUT when the line stopped coming in the middle;
  // -EMSGSIZE when it ran past `limit` bytes without an end; -errno.
  int ReadReplyLine(std::string& line, size_t keep, size_t limit, Deadline deadline);

  // Waits until a byte can be read (read ahead, or from the stream) or the
  // peer has closed: 1 ready, 0 when the deadline passed, -errno.
  int WaitForInput(Deadline deadline);

  // True when bytes are read ahead or the stream has some waiting. Never
  // waits.
  bool HasInput();
  // Hands out what has arrived, up to `size` bytes, without waiting: the
  // count, 0 when the peer has closed or nothing is there, -errno.
  int ReadAvailable(char* buffer, size_t size);

  // Puts `bytes` back in front of whatever is read ahead, to be read again
  // first: replies that had to be read early, out of turn. The buffer
  // returns to its usual size once they have been read.
  void Replay(std::vector<char> bytes);

  size_t buffered() const { return end_ - position_; }

 private:
  // One read from the stream into the buffer: the count, 0 when the peer
  // closed, -ETIMEDOUT or -errno.
  int Fill(Deadline deadline);

  ByteStream* stream_ = nullptr;
  std::vector<char> buffer_;
  size_t position_ = 0;
  size_t end_ = 0;
  bool peer_closed_ = false;
};

}  // namespace quor
