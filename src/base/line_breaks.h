#pragma once
// Line breaks in texts that are about to become one protocol or header line:
// a CR or LF inside a value would end that line early and start a line of
// the sender's choosing.

#include <string>
#include <string_view>

namespace quor {

// True when the text holds a CR or an LF.
bool HasLineBreak(std::string_view text);

// The text with every CR and LF removed.
std::string StripLineBreaks(std::string_view text);

}  // namespace quor
