#pragma once
// How many records of a numbered list to read, given the count stored in the
// file and the records actually present.
//
// Files keep a count next to numbered keys ("MailboxCount" and "POPServer0",
// "CondCount" and "Cond0.fld"). A count larger than the records present gives
// default records for the missing ones, which old files rely on; a damaged
// count such as 2000000000 must not make the reader build or loop over
// billions of them. So at most `max_missing` records are read past the last
// index that has a key in the file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quor {

// The highest index for which one of names is prefix + index + suffix, for a
// suffix in suffixes; -1 when none is. Letters compare without regard to
// case, like profile lookups; the index must be written as a lookup writes it
// (decimal, no sign, no leading zeros), since other spellings are never read.
int64_t LastIndexPresent(const std::vector<std::string>& names, std::string_view prefix,
                         const std::vector<std::string_view>& suffixes);

// The index written in name right after prefix (letters compared without
// regard to case, the index spelled as above), with rest set to the text
// after its digits; -1 when name does not have that form.
int64_t IndexAfterPrefix(std::string_view name, std::string_view prefix, std::string_view& rest);

// True when text equals one of the suffixes, without regard to case.
bool IsOneOf(std::string_view text, const std::vector<std::string_view>& suffixes);

// The number of records to read: none for a count of 0 or below, else the
// count, but no more than max_missing past last_present.
int32_t BoundedRecordCount(int32_t stored_count, int64_t last_present, int32_t max_missing);

}  // namespace quor
