#include "message/charset_conversion.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixtures/row_name.h"

namespace quor {

namespace {

struct ValidityCase {
  const char* written;
  std::string bytes;
  bool valid;
};

class Utf8ValidityTest : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(Utf8ValidityTest, TellsValidUtf8Whole) {
  EXPECT_EQ(IsValidUtf8(GetParam().bytes), GetParam().valid);
}

// Fed one byte at a time, a sequence split between pieces is judged the same.
TEST_P(Utf8ValidityTest, TellsValidUtf8InPieces) {
  Utf8Validator validator;
  for (char c : GetParam().bytes) validator.Add(std::string_view(&c, 1));
  EXPECT_EQ(validator.Valid(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8ValidityTest,
    ::testing::Values(ValidityCase{"empty", "", true}, ValidityCase{"ascii", "plain", true},
                      ValidityCase{"two bytes",
                                   "Gr\xC3\xBC\xC3\x9F"
                                   "e",
                                   true},
                      ValidityCase{"three bytes", "\xE2\x82\xAC", true},
                      ValidityCase{"four bytes", "\xF0\x9F\x93\xA8", true},
                      ValidityCase{"latin1 byte",
                                   "Gr\xFC\xDF"
                                   "e",
                                   false},
                      ValidityCase{"cut at the end", "x\xE2\x82", false},
                      ValidityCase{"stray continuation", "\x80", false},
                      ValidityCase{"overlong slash", "\xC0\xAF", false},
                      ValidityCase{"overlong three", "\xE0\x80\xAF", false},
                      ValidityCase{"surrogate", "\xED\xA0\x80", false},
                      ValidityCase{"above U+10FFFF", "\xF4\x90\x80\x80", false},
                      ValidityCase{"highest", "\xF4\x8F\xBF\xBF", true}),
    NameRowsBy(&ValidityCase::written));

TEST(IsAscii, OnlyBytesUpTo127) {
  EXPECT_TRUE(IsAscii(""));
  EXPECT_TRUE(IsAscii(std::string("\x00\x7F ~", 4)));
  EXPECT_FALSE(IsAscii("caf\xE9"));
  EXPECT_FALSE(IsAscii("\x80"));
}

struct ConversionCase {
  const char* written;
  std::string bytes;
  std::string charset;
  InvalidBytes invalid;
  std::optional<std::string> converted;  // none: the conversion fails
};

class ConvertToUtf8Test : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConvertToUtf8Test, ConvertsOrLeavesTheOutputAlone) {
  std::string out = "untouched";
  const bool converted =
      ConvertToUtf8(GetParam().bytes, GetParam().charset, GetParam().invalid, out);
  ASSERT_EQ(converted, GetParam().converted.has_value());
  EXPECT_EQ(out, GetParam().converted.value_or("untouched"));
}

constexpr InvalidBytes kRefuse = InvalidBytes::kRefuse;
constexpr InvalidBytes kReplace = InvalidBytes::kReplace;
const std::string kGruesse =
    "Gr\xC3\xBC\xC3\x9F"
    "e";  // "Grüße" in UTF-8
const std::string kReplacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Charsets, ConvertToUtf8Test,
    ::testing::Values(
        ConversionCase{"latin1",
                       "Gr\xFC\xDF"
                       "e",
                       "ISO-8859-1", kRefuse, kGruesse},
        ConversionCase{"latin1 any case and quoted",
                       "Gr\xFC\xDF"
                       "e",
                       " \"iso-8859-1\" ", kRefuse, kGruesse},
        ConversionCase{"windows 1252 euro", "\x80 5", "windows-1252", kRefuse, "\xE2\x82\xAC 5"},
        ConversionCase{"koi8 r", "\xF0\xD2\xC9\xD7\xC5\xD4", "koi8-r", kRefuse,
                       "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"},
        ConversionCase{"iso 2022 jp", "\x1B$B$3$s$K$A$O\x1B(B", "ISO-2022-JP", kRefuse,
                       "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF"},
        ConversionCase{"utf8 checked", kGruesse, "UTF-8", kRefuse, kGruesse},
        ConversionCase{"utf8 refused",
                       "Gr\xFC"
                       "e",
                       "utf-8", kRefuse, std::nullopt},
        ConversionCase{"utf8 replaced",
                       "Gr\xFC"
                       "e",
                       "utf8", kReplace, "Gr" + kReplacement + "e"},
        ConversionCase{"ascii refused", "caf\xE9", "us-ascii", kRefuse, std::nullopt},
        ConversionCase{"ascii replaced", "caf\xE9!", "us-ascii", kReplace,
                       "caf" + kReplacement + "!"},
        ConversionCase{"cut sequence replaced", "x\xE2\x82", "UTF-8", kReplace,
                       "x" + kReplacement + kReplacement},
        ConversionCase{"unknown charset", "abc", "unknown-8bit", kReplace, std::nullopt},
        ConversionCase{"empty charset", "abc", "", kReplace, std::nullopt},
        ConversionCase{"options in the name", "abc", "utf-8//IGNORE", kReplace, std::nullopt},
        ConversionCase{"empty text", "", "ISO-8859-1", kRefuse, ""}),
    NameRowsBy(&ConversionCase::written));

TEST(ConvertToUtf8, LongTextGrowsTheOutput) {
  const std::string latin1(100000, '\xE9');
  std::string out;
  ASSERT_TRUE(ConvertToUtf8(latin1, "ISO-8859-1", InvalidBytes::kRefuse, out));
  EXPECT_EQ(out.size(), 200000u);
  EXPECT_EQ(out.substr(0, 4), "\xC3\xA9\xC3\xA9");
}

}  // namespace

}  // namespace quor
