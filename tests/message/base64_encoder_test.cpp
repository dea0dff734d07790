#include "message/base64_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "message/base64_decoder.h"

namespace quor {

namespace {

std::string Encode(const std::string& input,
                   Base64Encoder::LineBreaks breaks = Base64Encoder::LineBreaks::kEvery72) {
  std::string out;
  StringOutput output(out);
  Base64Encoder encoder(output, breaks);
  encoder.Write(input.data(), input.size());
  encoder.Finish();
  return out;
}

// Counts how often the output is handed to the sink, to show the encoder
// passes text on in blocks rather than holding it back.
class CountingOutput : public ByteOutput {
 public:
  void Write(const char* bytes, size_t count) override {
    text.append(bytes, count);
    ++writes;
  }
  std::string text;
  int writes = 0;
};

struct Vector {
  const char* input;
  const char* encoded;
};

// The test vectors of RFC 4648, each ending in the encoder's bare line feed.
TEST(Base64EncoderTest, EncodesStandardVectors) {
  const Vector vectors[] = {
      {"f", "Zg==\n"},        {"fo", "Zm8=\n"},        {"foo", "Zm9v\n"},
      {"foob", "Zm9vYg==\n"}, {"fooba", "Zm9vYmE=\n"}, {"foobar", "Zm9vYmFy\n"},
      {"Man", "TWFu\n"},      {"M", "TQ==\n"},         {"\xff\xfe\xfd", "//79\n"},
  };
  for (const Vector& vector : vectors) {
    EXPECT_EQ(Encode(vector.input), vector.encoded) << "input: " << vector.input;
  }
}

TEST(Base64EncoderTest, EmptyInputGivesNoOutputAtAll) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("", Base64Encoder::LineBreaks::kNone), "");
}

TEST(Base64EncoderTest, FiftyFourBytesMakeExactlyOneFullLine) {
  std::string out;
  StringOutput output(out);
  Base64Encoder encoder(output);
  const std::string input(54, 'x');
  encoder.Write(input.data(), input.size());
  ASSERT_EQ(out.size(), 73u);  // the line is out before Finish
  EXPECT_EQ(out.find('\n'), 72u);
  encoder.Finish();
  EXPECT_EQ(out.size(), 73u);
}

TEST(Base64EncoderTest, LinesAreSeventyTwoCharactersWithBareLineFeeds) {
  const std::string out = Encode(std::string(1000, '\x7f'));
  size_t start = 0;
  while (start < out.size()) {
    const size_t end = out.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "the last line must end too";
    const size_t length = end - start;
    if (end + 1 < out.size()) {
      EXPECT_EQ(length, 72u);
    } else {
      EXPECT_GT(length, 0u);
      EXPECT_LE(length, 72u);
    }
    EXPECT_EQ(out.find('\r', start), std::string::npos);
    start = end + 1;
  }
}

TEST(Base64EncoderTest, WithoutLineBreaksEverythingStaysOnOneLine) {
  const std::string out = Encode(std::string(300, 'a'), Base64Encoder::LineBreaks::kNone);
  // Finish still ends the one line.
  EXPECT_EQ(out.size(), 401u);
  EXPECT_EQ(out.find('\n'), 400u);
}

TEST(Base64EncoderTest, HoldsBackOnlyAnUnfinishedGroup) {
  CountingOutput output;
  Base64Encoder encoder(output);
  encoder.Write("Ma", 2);
  EXPECT_EQ(output.text, "");
  encoder.Write("nM", 2);
  EXPECT_EQ(output.text, "TWFu");
  encoder.Finish();
  EXPECT_EQ(output.text, "TWFuTQ==\n");
}

TEST(Base64EncoderTest, BlockSizeDoesNotChangeTheOutput) {
  std::string input;
  for (int i = 0; i < 5000; ++i) input.push_back(static_cast<char>((i * 7919) & 0xFF));
  const std::string whole = Encode(input);
  for (size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{512}, size_t{4096}}) {
    std::string out;
    StringOutput output(out);
    Base64Encoder encoder(output);
    for (size_t at = 0; at < input.size(); at += block) {
      encoder.Write(input.data() + at, std::min(block, input.size() - at));
    }
    encoder.Finish();
    EXPECT_EQ(out, whole) << "block size " << block;
  }
}

TEST(Base64EncoderTest, LargeBlocksReachTheOutputInFewWrites) {
  CountingOutput output;
  Base64Encoder encoder(output);
  const std::string input(3 * 1024 * 10, 'z');
  encoder.Write(input.data(), input.size());
  EXPECT_EQ(output.text.size(), input.size() / 3 * 4 + input.size() / 54);
  EXPECT_LT(output.writes, 100);
}

TEST(Base64EncoderTest, RoundTripsEveryLengthAndByteValue) {
  for (size_t length = 0; length < 260; ++length) {
    std::string input;
    for (size_t i = 0; i < length; ++i)
      input.push_back(static_cast<char>((i * 31 + length) & 0xFF));
    std::string decoded;
    StringOutput output(decoded);
    Base64Decoder decoder(output);
    const std::string encoded = Encode(input);
    decoder.Write(encoded.data(), encoded.size());
    decoder.Flush();
    ASSERT_EQ(decoded, input) << "length " << length;
  }
}

}  // namespace

}  // namespace quor
