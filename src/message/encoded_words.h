#pragma once
// Non-ASCII text in header fields as RFC 2047 encoded words
// ("=?UTF-8?Q?Gr=C3=BC=C3=9Fe?="): decoding what senders write into UTF-8,
// and encoding what quor sends. Pure functions over their arguments; any
// thread.

#include <string>
#include <string_view>
#include <vector>

namespace quor {

// `text` with every encoded word replaced by its text in UTF-8; white space
// between two decoded words goes, as the encoding asks. Words in any charset
// that iconv knows are decoded (a language tag "*de" after the charset is
// ignored); a multi-byte character split between neighbouring words of one
// charset is put together again. A word in a charset iconv does not know,
// one whose bytes do not fit its charset and anything that only resembles a
// word (bad Base64, a bad escape, a missing part) stay as written, with the
// white space around them.
std::string DecodeEncodedWords(std::string_view text);

// The longest encoded word this side writes, as the encoding allows.
inline constexpr size_t kMaxEncodedWord = 75;

// `text` (UTF-8) as a sequence of encoded words in charset UTF-8, in the Q
// form ("=?UTF-8?Q?...?=") or the B form (Base64), whichever is shorter
// (text that is not valid UTF-8 is labelled "unknown-8bit" instead).
// Each word is at most kMaxEncodedWord characters and holds whole
// characters; the Q form escapes everything but letters, digits and
// "!*+-/", so the words may also stand for a display name. Empty text gives
// no words. Written one after the other with white space between them, the
// words decode to `text` again. The first word may be limited to
// `first_word_room` characters, to fit the rest of a header line; it still
// holds at least one character.
std::vector<std::string> EncodeWords(std::string_view text,
                                     size_t first_word_room = kMaxEncodedWord);

}  // namespace quor
