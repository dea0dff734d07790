#include "config/number_text.h"

#include <limits>

namespace quor {

int32_t LeadingInteger(std::string_view text) {
  size_t position = 0;
  while (position < text.size() &&
         (text[position] == ' ' || text[position] == '\t' || text[position] == '\n' ||
          text[position] == '\r' || text[position] == '\v' || text[position] == '\f')) {
    ++position;
  }
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
    if (value < kLimit) value = value * 10 + (text[position] - '0');
    ++position;
  }
  if (value > kLimit) value = kLimit;
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(
      value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : value);
}

}  // namespace quor
