#pragma once
// Parameters of structured header fields such as Content-Type and
// Content-Disposition ("attachment; filename=\"a.pdf\""), read the way mail
// programs write them: quoted or not, split into numbered sections
// (RFC 2231: name*0*=, name*1*=), with a charset ("UTF-8''Rechnung%20M%C3%A4rz"),
// or with RFC 2047 encoded words inside a plain value. Pure functions over
// their arguments; any thread.

#include <optional>
#include <string>
#include <string_view>

namespace quor {

// The value of the parameter `name` (letter case does not matter) in the
// field value `field` (what follows "Content-Type:"), in UTF-8; none when the
// field has no such parameter.
//   - An extended value ("name*=" or numbered sections "name*0*=",
//     "name*1="...) wins over a plain one. Sections are joined in number
//     order up to the first missing number; "%XX" in the starred ones gives a
//     byte, and the bytes are converted from the charset that section 0 (or
//     the single "name*=" value) names. A charset iconv does not know leaves
//     the joined value as written, its "%XX" escapes included.
//   - A plain value ("name=value" or "name=\"value\"", backslash escapes
//     undone) has its encoded words decoded, unless the parameter is a
//     token such as a boundary (WordsInValue::kKeep).
enum class WordsInValue { kDecode, kKeep };
std::optional<std::string> ParameterValue(std::string_view field, std::string_view name,
                                          WordsInValue words = WordsInValue::kDecode);

}  // namespace quor
