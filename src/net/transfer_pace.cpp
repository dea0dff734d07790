#include "net/transfer_pace.h"

#include <algorithm>

namespace quor {

TransferPace::TransferPace(const PaceLimits& limits, Clock::time_point start)
    : limits_(limits), start_(start) {}

Deadline TransferPace::Limit() const {
  if (limits_.minimum_bytes_per_second <= 0) return Deadline::max();
  // Milliseconds keep a byte-sized step visible; a transfer is far below
  // the 2^53 bytes at which the product could overflow.
  auto earned = std::chrono::milliseconds(moved_ * 1000 / limits_.minimum_bytes_per_second);
  auto grace = std::chrono::milliseconds(std::max(0, limits_.grace_seconds) * 1000LL);
  return start_ + std::max(grace, earned);
}

Deadline TransferPace::Bound(Deadline deadline) const { return std::min(deadline, Limit()); }

}  // namespace quor
