#include "base/log_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fixtures/row_name.h"

namespace quor {

namespace {

TEST(LogLineText, EveryControlByteButTabIsEscaped) {
  for (int byte = 0; byte < 0x20; ++byte) {
    std::string text = "a" + std::string(1, static_cast<char>(byte)) + "b";
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
    std::string expected = byte == '\t'   ? text
                           : byte == '\r' ? "a\\rb"
                           : byte == '\n' ? "a\\nb"
                                          : "a" + std::string(hex) + "b";
    EXPECT_EQ(LogLineText(text), expected) << "byte " << byte;
  }
  EXPECT_EQ(LogLineText(std::string("a\x7f") + "b"), "a\\x7fb");
}

struct LineCase {
  std::string label;
  std::string text;
  std::string shown;
};

class LogLineTextTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogLineTextTest, ShowsOneVisibleLine) {
  EXPECT_EQ(LogLineText(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LogLineTextTest,
    ::testing::Values(
        LineCase{"plain", "--> Saving attachments...", "--> Saving attachments..."},
        LineCase{"empty", "", ""},
        LineCase{"reply line end dropped", "-ERR locked\r\n", "-ERR locked"},
        LineCase{"bare line feed dropped", "+OK\n", "+OK"},
        LineCase{"only one line end dropped", "x\r\n\r\n", "x\\r\\n"},
        LineCase{"lone carriage return kept visible", "x\r", "x\\r"},
        LineCase{"forged lines stay inside",
                 "Order 7\n--> Retrieving message 9 of 9...\nProcessing completed.",
                 "Order 7\\n--> Retrieving message 9 of 9...\\nProcessing completed."},
        LineCase{"terminal title and clear screen", "Hi \x1b]0;owned\x07\x1b[2J\rdone",
                 "Hi \\x1b]0;owned\\x07\\x1b[2J\\rdone"},
        LineCase{"zero byte", std::string("a\0b", 3), "a\\x00b"},
        LineCase{"tab kept", "a\tb", "a\tb"},
        LineCase{"utf8 C1 control",
                 "a\xc2\x9b"
                 "2J",
                 "a\\xc2\\x9b2J"},
        LineCase{"utf8 text kept", "R\xc3\xa9sum\xc3\xa9 \xc2\xa0\xe2\x82\xac",
                 "R\xc3\xa9sum\xc3\xa9 \xc2\xa0\xe2\x82\xac"},
        LineCase{"latin1 bytes kept", "Caf\xe9 \x9b \xc2", "Caf\xe9 \x9b \xc2"},
        LineCase{"backslashes kept", "C:\\Tools\\x1b", "C:\\Tools\\x1b"}),
    NameRowsBy(&LineCase::label));

}  // namespace

}  // namespace quor
