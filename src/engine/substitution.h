#pragma once
// Fills action texts with the message's fields and the agent's variables: a
// token {name} is replaced by the field map's value for name. Also reads the
// template files those texts come from. Both are plain functions over their
// arguments; any thread may call them.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/log_sink.h"
#include "engine/field_map.h"
#include "engine/text_range.h"

namespace quor {

// How the value of a token goes into the text.
enum class Insertion {
  kAsItIs,
  // One step of a path, whatever the message put into the value: every "/"
  // becomes "_", and a value that is exactly "." or ".." becomes "_", so a
  // value can name a file but never climb out of the folder the agent named.
  // For properties that name files; text typed in the agent is unchanged.
  kPathStep,
};

// Replaces every {name} in `text`. Blanks around the name are ignored, names
// are case-sensitive, and an unknown name gives the empty text. A "{" inside
// an open token is output with the text gathered so far and opens a new token;
// a token still open at the end is output as it stands. Inserted values are
// not scanned again. Linear in the length of text and output; zero bytes are
// ordinary bytes.
std::string Substitute(std::string_view text, const FieldMap& fields,
                       Insertion insertion = Insertion::kAsItIs);

// The same substitution, also telling where each token stood.
struct MarkedText {
  std::string text;
  // One range per token, in order: the bytes of `text` its value filled
  // (length 0 for an empty value or an unknown name).
  std::vector<TextRange> insertions;
};
MarkedText SubstituteMarked(std::string_view text, const FieldMap& fields);

// Template files larger than this are refused as unreadable, so a wrong path
// (a disk image, a log that grew for years) cannot exhaust memory.
inline constexpr size_t kMaxTextFileBytes = 16 * 1024 * 1024;

// The content of a template file. Read in binary blocks of 8161 bytes; a zero
// byte cuts off the rest of its block, and the next block follows normally.
// When the path cannot be opened, is not a regular file (a directory, a pipe),
// cannot be read to its end or holds more than `max_bytes`, logs
// "WARNING: Unable to read file <path>" and returns the empty text.
std::string ReadTextFile(const std::string& path, LogSink& log);
std::string ReadTextFile(const std::string& path, LogSink& log, size_t max_bytes);

}  // namespace quor
