#include "message/base64_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace quor {

namespace {

std::string Decode(const std::string& input) {
  std::string out;
  StringOutput output(out);
  Base64Decoder decoder(output);
  decoder.Write(input.data(), input.size());
  decoder.Flush();
  return out;
}

struct Vector {
  const char* encoded;
  std::string decoded;
};

TEST(Base64DecoderTest, DecodesStandardVectors) {
  const Vector vectors[] = {
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zm9vYg==", "foob"},
      {"Zm9vYmE=", "fooba"},
      {"Zm9vYmFy", "foobar"},
      {"TWFu", "Man"},
      {"TQ==", "M"},
      {"//79", "\xff\xfe\xfd"},
  };
  for (const Vector& vector : vectors) {
    EXPECT_EQ(Decode(vector.encoded), vector.decoded) << "input: " << vector.encoded;
  }
}

// Mail software folds, pads and mangles Base64 text; the decoder takes only
// the alphabet and ignores everything else.
TEST(Base64DecoderTest, IgnoresCharactersOutsideTheAlphabet) {
  const std::string inputs[] = {
      "TW Fu",
      "T\nW\r\nF u\n",
      "T*W#F!u",
      std::string("T\0W\xff"
                  "F\x80u",
                  7),  // NUL and 8-bit bytes
      "====TWFu====",
      "TWF\nu",    // the fourth character of a would-be group is foreign
      "TWF\xffu",  // so is a byte with the high bit set
  };
  for (const std::string& input : inputs) EXPECT_EQ(Decode(input), "Man") << input;
}

TEST(Base64DecoderTest, PaddingInTheMiddleDoesNotEndAGroup) {
  // '=' is skipped like any foreign character, so two padded groups written
  // back to back run together: T Q T Q form one group of 3 bytes.
  EXPECT_EQ(Decode("TQ==TQ==").size(), 3u);
}

TEST(Base64DecoderTest, FlushCompletesAShortLastGroup) {
  EXPECT_EQ(Decode("TQ"), "M");                 // 2 values, 1 byte
  EXPECT_EQ(Decode("TWE"), "Ma");               // 3 values, 2 bytes
  EXPECT_EQ(Decode("T"), std::string(1, 'L'));  // a stray value still gives 1 byte
  EXPECT_EQ(Decode("TWFuT"), "ManL");
}

TEST(Base64DecoderTest, CompleteGroupsAreWrittenWithoutFlush) {
  std::string out;
  StringOutput output(out);
  Base64Decoder decoder(output);
  decoder.Write("TWFuTW", 6);
  EXPECT_EQ(out, "Man");
  decoder.Write("E", 1);
  EXPECT_EQ(out, "Man");
  decoder.Flush();
  EXPECT_EQ(out, "ManMa");
}

TEST(Base64DecoderTest, FlushWithNothingPendingWritesNothing) {
  std::string out;
  StringOutput output(out);
  Base64Decoder decoder(output);
  decoder.Flush();
  decoder.Write("TWFu", 4);
  decoder.Flush();
  decoder.Flush();
  EXPECT_EQ(out, "Man");
}

TEST(Base64DecoderTest, PieceSizeDoesNotChangeTheOutput) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "QUJDRA";  // "ABCD" repeated, groups across pieces
  text += "\n";
  const std::string whole = Decode(text);
  ASSERT_EQ(whole.size(), 3000u * 6 / 4 * 3);
  for (size_t piece : {size_t{1}, size_t{3}, size_t{5}, size_t{511}, size_t{512}, size_t{10000}}) {
    std::string out;
    StringOutput output(out);
    Base64Decoder decoder(output);
    for (size_t at = 0; at < text.size(); at += piece) {
      decoder.Write(text.data() + at, std::min(piece, text.size() - at));
    }
    decoder.Flush();
    EXPECT_EQ(out, whole) << "piece size " << piece;
  }
}

}  // namespace

}  // namespace quor
