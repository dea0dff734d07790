#include "config/number_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quor {

namespace {

TEST(LeadingIntegerTest, ReadsLeadingDigitsOnly) {
  struct Case {
    const char* text;
    int32_t expected;
  };
  const Case cases[] = {
      {"", 0},
      {"yes", 0},
      {"1", 1},
      {"  \t42", 42},
      {"-17", -17},
      {"+5x", 5},
      {"3.", 3},
      {"- 3", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-2147483649", -2147483647 - 1},
      {"99999999999999999999999999", 2147483647},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LeadingInteger(c.text), c.expected) << '"' << c.text << '"';
  }
}

}  // namespace

}  // namespace quor
