#include "app/time_stamp.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <regex>

namespace quor {

TEST(TimeStampTest, ClassicFormWithTwoDigitDay) {
  setenv("TZ", "UTC", 1);
  tzset();
  // 2026-12-06 06:29:21 UTC was a Sunday.
  EXPECT_EQ(TimeStamp(1796538561), "Sun Dec 06 06:29:21 2026");
  // A single-digit day keeps its leading zero; hours below ten too.
  EXPECT_EQ(TimeStamp(1767225600 + 3600 * 5 + 7), "Thu Jan 01 05:00:07 2026");
}

TEST(TimeStampTest, EnglishNamesWhateverTheLocale) {
  setenv("TZ", "UTC", 1);
  tzset();
  std::setlocale(LC_ALL, "de_DE.UTF-8");  // may not exist; the names must not depend on it
  EXPECT_TRUE(std::regex_match(
      TimeStamp(1796538561),
      std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}")));
  std::setlocale(LC_ALL, "C");
}

}  // namespace quor
