#include "message/quoted_printable.h"

#include <gtest/gtest.h>

#include <string>

namespace quor {

namespace {

std::string Decode(std::string text) {
  const size_t length = QpDecode(text.data(), text.size());
  EXPECT_LE(length, text.size());
  text.resize(length);
  return text;
}

struct Case {
  std::string input;
  std::string decoded;
};

TEST(QpDecodeTest, DecodesEscapesAndLeavesOtherBytes) {
  const Case cases[] = {
      {"", ""},
      {"plain text\n", "plain text\n"},
      {"a=3Db", "a=b"},
      {"Caf=E9", "Caf\xE9"},
      {"Caf=e9", "Caf\xE9"},  // lower-case hex digits are accepted
      {"=41=42=43", "ABC"},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.input), c.decoded) << c.input;
}

// The lenient rules that old senders rely on.
TEST(QpDecodeTest, KeepsTheLenientRulesForOddEscapes) {
  const Case cases[] = {
      {"x=00y", "xy"},                       // a zero value writes nothing
      {"=4=41", std::string("\x04") + "A"},  // "=4" ends at the next '=' with one digit
      {"=zz", ""},                           // non-hex digits count as 0: nothing
      {"=4z", "@"},                          // 16 * 4 + 0
      {"=z4", "\x04"},                       // 0 * 16 + 4
      {"==41", std::string("\x04") + "1"},   // the second '=' is taken as a digit worth 0
      {"a=4\n", "a@"},                       // the line feed is taken as a (worthless) digit
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.input), c.decoded) << c.input;
}

TEST(QpDecodeTest, EscapeCutByTheEndOfTheBufferNeverReadsPastIt) {
  // The bytes after `length` belong to someone else: "=4" must not see "1".
  char buffer[] = {'a', '=', '4', '1', '\0'};
  EXPECT_EQ(QpDecode(buffer, 3), 2u);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[1], '\x04');  // the single digit's value
  EXPECT_EQ(buffer[3], '1');     // untouched
  char lone[] = {'b', '=', 'F'};
  EXPECT_EQ(QpDecode(lone, 2), 1u);  // '=' alone at the end gives nothing
  EXPECT_EQ(lone[2], 'F');
}

struct PieceCase {
  std::string input;
  std::string decoded;
  size_t unfinished_at;
};

TEST(QpDecodePieceTest, LeavesAnUnfinishedEscapeForTheNextPiece) {
  const PieceCase cases[] = {
      {"ab=41", "abA", 5},
      {"ab=4", "ab", 2},
      {"ab=", "ab", 2},
      {"ab==", "ab", 2},
      {"ab=4=", std::string("ab\x04"), 4},
      {"", "", 0},
  };
  for (const PieceCase& c : cases) {
    std::string text = c.input;
    size_t unfinished_at = 99;
    const size_t length = QpDecodePiece(text.data(), text.size(), &unfinished_at);
    EXPECT_EQ(text.substr(0, length), c.decoded) << c.input;
    ASSERT_EQ(unfinished_at, c.unfinished_at) << c.input;
    // The unfinished bytes are still there, undecoded.
    EXPECT_EQ(text.substr(unfinished_at), c.input.substr(c.unfinished_at)) << c.input;
  }
}

}  // namespace

}  // namespace quor
