#pragma once
// A stretch of a text, by position: how the substitution tells which bytes of
// a command line came from a token and which were typed in the agent.

#include <cstddef>

namespace quor {

struct TextRange {
  size_t offset = 0;
  size_t length = 0;
};

}  // namespace quor
