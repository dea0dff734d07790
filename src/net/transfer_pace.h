#pragma once
// The slowest pace a transfer of message data may keep. A server that sends a
// message (or takes one) a byte at a time never lets a single read or write
// wait long, so per-read time-outs alone would let it hold a pass for good;
// an average rate, required once the transfer has had time to get going,
// bounds the whole transfer by its size. Plain arithmetic on the steady
// clock; one thread.

#include <chrono>
#include <cstddef>

#include "net/byte_stream.h"

namespace quor {

struct PaceLimits {
  // How long a transfer may take whatever its rate.
  int grace_seconds = 119;
  // The average it must keep from then on; 0: no bound.
  long long minimum_bytes_per_second = 1000;
};

class TransferPace {
 public:
  TransferPace(const PaceLimits& limits, Clock::time_point start);

  // Bytes moved since the start.
  void Count(size_t bytes) { moved_ += static_cast<long long>(bytes); }
  long long moved() const { return moved_; }

  // The moment the average would fall below the minimum if nothing more
  // came: the start plus the grace, or plus the time the bytes moved so far
  // buy at the minimum rate, whichever is later.
  Deadline Limit() const;
  // The earlier of `deadline` and Limit(): the bound for the next wait.
  Deadline Bound(Deadline deadline) const;

 private:
  PaceLimits limits_;
  Clock::time_point start_;
  long long moved_ = 0;
};

}  // namespace quor
