#include "message/encoded_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/row_name.h"

namespace quor {

namespace {

const std::string kJuergen = "J\xC3\xBCrgen Bo\xC3\x9F";  // "Jürgen Boß"

struct DecodeCase {
  const char* written;
  std::string text;
  std::string decoded;
};

class DecodeEncodedWordsTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeEncodedWordsTest, DecodesWhatDecodesAndKeepsTheRest) {
  EXPECT_EQ(DecodeEncodedWords(GetParam().text), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Words, DecodeEncodedWordsTest,
    ::testing::Values(
        DecodeCase{"plain text", "Order 4711", "Order 4711"},
        DecodeCase{"q word", "=?utf-8?q?J=C3=BCrgen_Bo=C3=9F?= <jb@example.org>",
                   kJuergen + " <jb@example.org>"},
        DecodeCase{"b word", "=?UTF-8?B?SsO8cmdlbiBCb8Of?=", kJuergen},
        DecodeCase{"latin1 q word", "=?iso-8859-1?Q?Caf=E9?= menu", "Caf\xC3\xA9 menu"},
        DecodeCase{"upper case letters", "=?ISO-8859-1?q?Caf=e9?=", "Caf\xC3\xA9"},
        DecodeCase{"blanks between words go", "=?utf-8?q?Rech?=  \t =?utf-8?q?nung?=", "Rechnung"},
        DecodeCase{"blanks beside text stay", "Re: =?utf-8?q?Gr=C3=BC=C3=9Fe?= aus Bonn",
                   "Re: Gr\xC3\xBC\xC3\x9F"
                   "e aus Bonn"},
        DecodeCase{"character split between words", "=?utf-8?q?Gr=C3?= =?utf-8?q?=BC=C3=9Fe?=",
                   "Gr\xC3\xBC\xC3\x9F"
                   "e"},
        DecodeCase{"b word without padding", "=?utf-8?b?w7w?=", "\xC3\xBC"},
        DecodeCase{"language tag", "=?utf-8*de?q?Gr=C3=BC=C3=9Fe?=",
                   "Gr\xC3\xBC\xC3\x9F"
                   "e"},
        DecodeCase{"empty word", "a =?utf-8?q?\?= b", "a  b"},
        DecodeCase{"next to other text", "Rechnung=?utf-8?q?_M=C3=A4rz?=", "Rechnung M\xC3\xA4rz"},
        DecodeCase{"unknown charset stays",
                   "=?x-unknown?q?abc?= =?utf-8?q?d?=", "=?x-unknown?q?abc?= d"},
        DecodeCase{"bytes outside the charset stay",
                   "=?us-ascii?q?caf=E9?=", "=?us-ascii?q?caf=E9?="},
        DecodeCase{"bad escape stays", "=?utf-8?q?caf=G9?= ok", "=?utf-8?q?caf=G9?= ok"},
        DecodeCase{"bad base64 stays", "=?utf-8?b?w7*?=", "=?utf-8?b?w7*?="},
        DecodeCase{"missing end stays", "=?utf-8?q?never ends", "=?utf-8?q?never ends"},
        DecodeCase{"unknown encoding stays", "=?utf-8?x?abc?=", "=?utf-8?x?abc?="},
        DecodeCase{"blank inside stays", "=?utf-8?q?a b?=", "=?utf-8?q?a b?="},
        DecodeCase{"broken then good", "=?utf-8?q?=ZZ?= =?utf-8?q?ok?=", "=?utf-8?q?=ZZ?= ok"},
        DecodeCase{"lone start", "=? x", "=? x"}),
    NameRowsBy(&DecodeCase::written));

struct EncodeCase {
  const char* written;
  std::string text;
  std::vector<std::string> words;
};

class EncodeWordsTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeWordsTest, WritesTheShorterFormInWholeCharacters) {
  EXPECT_EQ(EncodeWords(GetParam().text), GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EncodeWordsTest,
    ::testing::Values(EncodeCase{"empty", "", {}},
                      EncodeCase{"name in b, shorter", kJuergen, {"=?UTF-8?B?SsO8cmdlbiBCb8Of?="}},
                      EncodeCase{"mostly ascii in q",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e aus Bonn und Berlin",
                                 {"=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_Bonn_und_Berlin?="}},
                      EncodeCase{
                          "specials escaped",
                          "\xC3\xA4 a=b?c_d\"e abcdefghijklmnopqrstuvwxyz",
                          {"=?UTF-8?Q?=C3=A4_a=3Db=3Fc=5Fd=22e_abcdefghijklmnopqrstuvwxyz?="}},
                      EncodeCase{"japanese in b",
                                 "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF",
                                 {"=?UTF-8?B?44GT44KT44Gr44Gh44Gv?="}},
                      EncodeCase{"not utf8",
                                 "Gr\xFC\xDF"
                                 "e",
                                 {"=?unknown-8bit?B?R3L832U=?="}}),
    NameRowsBy(&EncodeCase::written));

TEST(EncodeWords, LongTextIsSplitBetweenCharactersAndDecodesBack) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x93\xA8 ";  // äۊ📨
  std::vector<std::string> words = EncodeWords(text, 30);
  ASSERT_GT(words.size(), 3u);
  EXPECT_LE(words[0].size(), 30u);
  std::string joined;
  for (const std::string& word : words) {
    EXPECT_LE(word.size(), kMaxEncodedWord);
    joined += (joined.empty() ? "" : " ") + word;
  }
  EXPECT_EQ(DecodeEncodedWords(joined), text);
}

// A word too small for one character still holds one.
TEST(EncodeWords, TinyFirstWordStillHoldsACharacter) {
  std::vector<std::string> words = EncodeWords("\xF0\x9F\x93\xA8", 1);
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(DecodeEncodedWords(words[0]), "\xF0\x9F\x93\xA8");
}

}  // namespace

}  // namespace quor
