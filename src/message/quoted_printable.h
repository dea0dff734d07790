#pragma once
// Quoted-printable decoding of incoming body lines, in place.
//
// The rules are the lenient ones old mail in the wild needs:
//   - "=XY" with two hex digits gives the byte 0xXY; a byte that is not a hex
//     digit counts as 0 ("=zz" gives 0);
//   - "=X=" ends the escape after one digit: "=4=41" gives 0x04 then 'A';
//   - an escape worth 0 writes nothing, so "x=00y" gives "xy";
//   - an escape cut off by the end of the buffer never reads past it: "=" alone
//     gives nothing and "=X" gives the single digit's value.
// Soft line breaks ("=" before the line feed) are the caller's business.

#include <cstddef>

namespace quor {

// Decodes buffer[0, length) in place; returns the number of decoded bytes,
// which is never more than length.
size_t QpDecode(char* buffer, size_t length);

// For a line that arrives in pieces: decodes like QpDecode but stops before an
// escape that the end of the buffer cuts short. Its bytes (at most 2) are left
// undecoded at buffer[*unfinished_at, length) so the caller can put them in
// front of the next piece; *unfinished_at == length when there is none.
size_t QpDecodePiece(char* buffer, size_t length, size_t* unfinished_at);

}  // namespace quor
