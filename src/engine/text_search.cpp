#include "engine/text_search.h"

#include <vector>

namespace quor {

size_t FindText(std::string_view text, std::string_view pattern, size_t from) {
  if (from > text.size()) return std::string_view::npos;
  if (pattern.empty()) return from;
  if (pattern.size() > text.size() - from) return std::string_view::npos;
  // A single byte is memchr's job, much faster than walking the table.
  if (pattern.size() == 1) return text.find(pattern[0], from);

  // Knuth-Morris-Pratt: border[i] is the length of the longest proper prefix
  // of pattern[0..i] that is also its suffix.
  std::vector<size_t> border(pattern.size(), 0);
  for (size_t i = 1, length = 0; i < pattern.size(); ++i) {
    while (length > 0 && pattern[i] != pattern[length]) length = border[length - 1];
    if (pattern[i] == pattern[length]) ++length;
    border[i] = length;
  }
  size_t matched = 0;
  for (size_t i = from; i < text.size(); ++i) {
    while (matched > 0 && text[i] != pattern[matched]) matched = border[matched - 1];
    if (text[i] == pattern[matched]) ++matched;
    if (matched == pattern.size()) return i + 1 - pattern.size();
  }
  return std::string_view::npos;
}

}  // namespace quor
