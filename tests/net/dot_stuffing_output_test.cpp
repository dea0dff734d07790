#include "net/dot_stuffing_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quor {

namespace {

std::string Stuffed(const std::vector<std::string>& writes) {
  std::string wire;
  StringOutput out(wire);
  DotStuffingOutput data(out);
  for (const std::string& piece : writes) data.Write(piece.data(), piece.size());
  data.Finish();
  return wire;
}

TEST(DotStuffingOutput, MakesEveryLineEndCrLfAndDoublesLeadingDots) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"a\nb", "a\r\nb"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {".hidden\n", "..hidden\r\n"},
      {"x\n.\ny", "x\r\n..\r\ny"},
      {"x\r.\r\n", "x\r\n..\r\n"},  // a bare CR ends a line too
      {"\n.\n", "\r\n..\r\n"},
      {"a.b\n..c", "a.b\r\n...c"},
      {"end\r", "end\r\n"},
      {std::string("nul\0.x\n", 7), std::string("nul\0.x\r\n", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(Stuffed({c.in}), c.out) << c.in;
}

TEST(DotStuffingOutput, GivesTheSameBytesWhateverTheWriteSizes) {
  const std::string text = "To: a\r\n.x\n\r.y\r\r\n..\nplain line\r\n.";
  std::vector<std::string> single_bytes;
  for (char c : text) single_bytes.emplace_back(1, c);
  EXPECT_EQ(Stuffed(single_bytes), Stuffed({text}));
  EXPECT_EQ(Stuffed({"a\r", "\n.b"}), "a\r\n..b");
}

}  // namespace

}  // namespace quor
