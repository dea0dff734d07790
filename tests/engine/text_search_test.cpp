#include "engine/text_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace quor {

namespace {

TEST(FindTextTest, EdgeCases) {
  EXPECT_EQ(FindText("abc", "", 0), 0u);
  EXPECT_EQ(FindText("abc", "", 3), 3u);
  EXPECT_EQ(FindText("abc", "", 4), std::string_view::npos);
  EXPECT_EQ(FindText("abc", "c", 3), std::string_view::npos);
  EXPECT_EQ(FindText("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(FindText("abcabc", "abc", 1), 3u);
  EXPECT_EQ(FindText("aabaabaaa", "aabaaa"), 3u);
  EXPECT_EQ(FindText(std::string_view("a\0b", 3), std::string_view("\0b", 2)), 1u);
}

TEST(FindTextTest, AgreesWithPlainSearchOnRandomTexts) {
  // A two-letter alphabet makes many partial matches, the cases a wrong
  // failure table gets wrong.
  std::mt19937 random(1492);
  std::uniform_int_distribution<int> letter(0, 1);
  std::uniform_int_distribution<size_t> length(0, 12);
  for (int round = 0; round < 5000; ++round) {
    std::string text(length(random) * 4, 'a');
    for (char& c : text) c = static_cast<char>('a' + letter(random));
    std::string pattern(length(random), 'a');
    for (char& c : pattern) c = static_cast<char>('a' + letter(random));
    size_t from = text.empty() ? 0 : round % (text.size() + 1);
    ASSERT_EQ(FindText(text, pattern, from), std::string_view(text).find(pattern, from))
        << text << " / " << pattern << " from " << from;
  }
}

}  // namespace

}  // namespace quor
