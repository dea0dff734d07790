#pragma once
// An open, two-way byte stream to a mail server: the one thing the POP3 and
// SMTP clients talk through. A TCP connection is one; a TLS session over
// another stream is one; a test's scripted server is one. The clients own
// their stream and never see which kind it is.
//
// Every wait has a deadline, so a peer that falls silent can hold a caller
// only as long as the caller allows. Results are plain integers: negative
// values are minus an errno. Nothing here throws or logs. One thread at a
// time per stream.

#include <chrono>
#include <cstddef>

namespace quor {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Reads what has arrived, up to `size` bytes, waiting until `deadline` for
  // the first of them: the count (> 0), 0 when the peer has closed its side,
  // -ETIMEDOUT when nothing came in time, or -errno. A closed stream gives
  // -ENOTCONN.
  virtual int Read(char* buffer, size_t size, Deadline deadline) = 0;
  // True when a Read would return at once with bytes or the peer's close.
  // Never waits.
  virtual bool HasInput() = 0;
  // Writes the whole buffer, waiting until `deadline` whenever the peer is
  // not taking bytes: the length, -ETIMEDOUT, or -errno (-EPIPE when the
  // peer has gone; never a SIGPIPE).
  virtual int Write(const char* data, size_t length, Deadline deadline) = 0;
  // Ends the stream; later reads and writes fail with -ENOTCONN.
  virtual void Close() = 0;
  virtual bool is_open() const = 0;
  // True only when the peer is known to be this machine itself, where a
  // clear-text connection never crosses a network. Unknown counts as not.
  virtual bool peer_on_loopback() const { return false; }
};

// The moment `seconds` from now.
inline Deadline DeadlineIn(int seconds) { return Clock::now() + std::chrono::seconds(seconds); }

}  // namespace quor
