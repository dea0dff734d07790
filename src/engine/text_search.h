#pragma once
// Substring search in time linear in the text, whatever the pattern: message
// bodies of several megabytes meet patterns typed by users, and a naive search
// of "aaa...ab" in "aaaa..." would be quadratic.

#include <cstddef>
#include <string_view>

namespace quor {

// Position of the first occurrence of `pattern` in `text` at or after `from`,
// or std::string_view::npos. An empty pattern is found at `from` (when
// `from` <= text.size()).
size_t FindText(std::string_view text, std::string_view pattern, size_t from = 0);

}  // namespace quor
