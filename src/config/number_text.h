#pragma once
// Numbers stored as text (profile values, action properties) are read the way
// users' old files expect: leading blanks skipped, an optional sign, then the
// decimal digits up to the first other character. No digits gives 0. Values
// beyond 32 bits are clamped instead of overflowing.

#include <cstdint>
#include <string_view>

namespace quor {

int32_t LeadingInteger(std::string_view text);

}  // namespace quor
