#include "config/record_bound.h"

#include <algorithm>

namespace quor {

namespace {

char Lower(char letter) {
  return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

bool SameLetters(std::string_view left, std::string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(),
                    [](char a, char b) { return Lower(a) == Lower(b); });
}

}  // namespace

int64_t IndexAfterPrefix(std::string_view name, std::string_view prefix, std::string_view& rest) {
  if (name.size() <= prefix.size() || !SameLetters(name.substr(0, prefix.size()), prefix)) {
    return -1;
  }
  std::string_view after = name.substr(prefix.size());
  size_t digits = 0;
  while (digits < after.size() && after[digits] >= '0' && after[digits] <= '9') ++digits;
  // Indexes are at most ten digits ("2147483647"); other spellings are never read.
  if (digits == 0 || digits > 10 || (digits > 1 && after[0] == '0')) return -1;
  int64_t index = 0;
  for (size_t position = 0; position < digits; ++position) {
    index = index * 10 + (after[position] - '0');
  }
  rest = after.substr(digits);
  return index;
}

bool IsOneOf(std::string_view text, const std::vector<std::string_view>& suffixes) {
  return std::any_of(suffixes.begin(), suffixes.end(),
                     [text](std::string_view suffix) { return SameLetters(text, suffix); });
}

int64_t LastIndexPresent(const std::vector<std::string>& names, std::string_view prefix,
                         const std::vector<std::string_view>& suffixes) {
  int64_t last = -1;
  for (const auto& name : names) {
    std::string_view rest;
    int64_t index = IndexAfterPrefix(name, prefix, rest);
    if (index >= 0 && IsOneOf(rest, suffixes)) last = std::max(last, index);
  }
  return last;
}

int32_t BoundedRecordCount(int32_t stored_count, int64_t last_present, int32_t max_missing) {
  if (stored_count <= 0) return 0;
  int64_t limit = std::max<int64_t>(last_present, -1) + 1 + std::max(max_missing, 0);
  return static_cast<int32_t>(std::min<int64_t>(stored_count, limit));
}

}  // namespace quor
