#include "config/record_bound.h"

#include <algorithm>
#include <limits>

namespace {

char Lower(char letter) {
  return letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
}

bool SameLetters(std::string_view left, std::string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(),
                    [](char a, char b) { return Lower(a) == Lower(b); });
}

// The index written in name between prefix and one of the suffixes, or -1.
int64_t IndexIn(std::string_view name, std::string_view prefix,
                const std::vector<std::string_view>& suffixes) {
  if (name.size() <= prefix.size() || !SameLetters(name.substr(0, prefix.size()), prefix)) {
    return -1;
  }
  std::string_view rest = name.substr(prefix.size());
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  // Indexes are at most ten digits ("2147483647"); longer runs are never read.
  if (digits == 0 || digits > 10 || (digits > 1 && rest[0] == '0')) return -1;
  std::string_view tail = rest.substr(digits);
  bool suffix_matches = std::any_of(suffixes.begin(), suffixes.end(),
                                    [tail](std::string_view suffix) {
                                      return SameLetters(tail, suffix);
                                    });
  if (!suffix_matches) return -1;
  int64_t index = 0;
  for (size_t position = 0; position < digits; ++position) index = index * 10 + (rest[position] - '0');
  return index;
}

}  // namespace

int64_t LastIndexPresent(const std::vector<std::string>& names, std::string_view prefix,
                         const std::vector<std::string_view>& suffixes) {
  int64_t last = -1;
  for (const auto& name : names) last = std::max(last, IndexIn(name, prefix, suffixes));
  return last;
}

int32_t BoundedRecordCount(int32_t stored_count, int64_t last_present, int32_t max_missing) {
  if (stored_count <= 0) return 0;
  int64_t limit = std::max<int64_t>(last_present, -1) + 1 + std::max(max_missing, 0);
  return static_cast<int32_t>(std::min<int64_t>(stored_count, limit));
}
