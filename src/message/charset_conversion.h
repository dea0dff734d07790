#pragma once
// Text of mail in the charsets senders declare, turned into UTF-8 through
// glibc's iconv, and the tests that tell which texts need no turning at all.
// Pure functions over their arguments; any thread (each call opens its own
// conversion).

#include <cstddef>
#include <string>
#include <string_view>

namespace quor {

// True when no byte of `bytes` is above 127.
bool IsAscii(std::string_view bytes);

// Checks UTF-8 given in pieces of any size: a sequence may be split between
// two pieces. Overlong forms, surrogates and values above U+10FFFF are not
// valid. One thread at a time.
class Utf8Validator {
 public:
  void Add(std::string_view bytes);
  // True when everything added so far is valid UTF-8 and no sequence is left
  // unfinished.
  bool Valid() const { return valid_ && pending_ == 0; }

 private:
  bool valid_ = true;
  int pending_ = 0;         // continuation bytes still expected
  unsigned char low_ = 0;   // smallest allowed value of the next continuation byte
  unsigned char high_ = 0;  // largest allowed value of the next continuation byte
};

bool IsValidUtf8(std::string_view bytes);

// What becomes of a byte sequence that the declared charset does not allow.
enum class InvalidBytes {
  kRefuse,   // the conversion fails (for encoded words: they stay as written)
  kReplace,  // each such byte becomes U+FFFD (for text: one bad byte loses nothing else)
};

// Converts `bytes` from `charset` (a name as messages write it: "ISO-8859-1",
// "utf-8", "windows-1252"; letter case and surrounding blanks and quotes do
// not matter) to UTF-8 and stores the result in `out`. False, with `out`
// unchanged, when iconv does not know the charset (an empty name included),
// and with kRefuse also when the bytes are not valid in it.
bool ConvertToUtf8(std::string_view bytes, std::string_view charset, InvalidBytes invalid,
                   std::string& out);

}  // namespace quor
