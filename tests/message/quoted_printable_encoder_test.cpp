#include "message/quoted_printable_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/row_name.h"
#include "message/quoted_printable.h"

namespace quor {

namespace {

struct EncodeCase {
  const char* written;
  std::string text;
  std::string encoded;
};

class QuotedPrintableEncoderTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(QuotedPrintableEncoderTest, EncodesWhole) {
  EXPECT_EQ(QuotedPrintableText(GetParam().text), GetParam().encoded);
}

// Fed one byte at a time, the held bytes (a blank, a CR) come out the same.
TEST_P(QuotedPrintableEncoderTest, EncodesInPieces) {
  std::string encoded;
  StringOutput output(encoded);
  QuotedPrintableEncoder encoder(output);
  for (char c : GetParam().text) encoder.Write(&c, 1);
  encoder.Finish();
  EXPECT_EQ(encoded, GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QuotedPrintableEncoderTest,
    ::testing::Values(EncodeCase{"empty", "", ""},
                      EncodeCase{"ascii", "Hello, World!\n", "Hello, World!\n"},
                      EncodeCase{"utf8",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e\n",
                                 "Gr=C3=BC=C3=9Fe\n"},
                      EncodeCase{"equals sign", "a=b", "a=3Db"},
                      EncodeCase{"crlf is a line end", "a\r\nb\r\n", "a\nb\n"},
                      EncodeCase{"lone cr is data", "a\rb", "a=0Db"},
                      EncodeCase{"cr at the end", "a\r", "a=0D"},
                      EncodeCase{"blank before a line end", "a \nb\t\r\n", "a=20\nb=09\n"},
                      EncodeCase{"blank at the end", "a ", "a=20"},
                      EncodeCase{"blanks inside stay", "a b\tc", "a b\tc"},
                      EncodeCase{"dot starting a line", ".\n..x\n", "=2E\n=2E.x\n"},
                      EncodeCase{"control bytes", std::string("\x00\x1B\x7F", 3), "=00=1B=7F"},
                      EncodeCase{"long line broken at 76", std::string(80, 'x'),
                                 std::string(75, 'x') + "=\n" + std::string(5, 'x')},
                      EncodeCase{"escape never split", std::string(74, 'x') + "\xC3\xBC",
                                 std::string(74, 'x') + "=\n=C3=BC"},
                      EncodeCase{"dot after a soft break", std::string(75, 'x') + ".",
                                 std::string(75, 'x') + "=\n=2E"}),
    NameRowsBy(&EncodeCase::written));

// What the encoder writes, the parser's decoder reads back, line by line.
TEST(QuotedPrintableEncoder, DecodesBackToTheText) {
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text.push_back(static_cast<char>((i * 37) % 256 == '\r' ? 'r' : (i * 37) % 256));
  text += "\n end \n";
  const std::string encoded = QuotedPrintableText(text);
  std::string decoded;
  size_t start = 0;
  while (start < encoded.size()) {
    size_t end = encoded.find('\n', start);
    std::string line = encoded.substr(start, end == std::string::npos ? end : end - start);
    start = end == std::string::npos ? encoded.size() : end + 1;
    EXPECT_LE(line.size(), QuotedPrintableEncoder::kLineLength);
    bool soft = !line.empty() && line.back() == '=';
    if (soft) line.pop_back();
    line.resize(QpDecode(line.data(), line.size()));
    decoded += line;
    if (!soft && end != std::string::npos) decoded += '\n';
  }
  // The decoder drops zero bytes (its old rule); everything else returns.
  std::string expected;
  for (char c : text) {
    if (c != '\0') expected.push_back(c);
  }
  EXPECT_EQ(decoded, expected);
}

}  // namespace

}  // namespace quor
