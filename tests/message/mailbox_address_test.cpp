#include "message/mailbox_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quor {

namespace {

TEST(MailboxAddress, TakesTheBareAddress) {
  struct Case {
    const char* text;
    const char* address;
  } cases[] = {
      {"Ann <ann@example.com>", "ann@example.com"},
      {"ann (Ann Smith)", "ann"},
      {"ann   (Ann)", "ann"},
      {"bob", "bob"},
      {" bob", " bob"},  // a leading blank stays
      {"<ann", "<ann"},
      {"x>y<z", "x>y<z"},
      {"(only comment)", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MailboxAddress(c.text), c.address) << c.text;
}

TEST(SplitRecipients, KeepsBlanksAndIgnoresATrailingComma) {
  using List = std::vector<std::string>;
  EXPECT_EQ(SplitRecipients(""), List{});
  EXPECT_EQ(SplitRecipients("ann"), List{"ann"});
  EXPECT_EQ(SplitRecipients("Ann <ann>, bob"), (List{"Ann <ann>", " bob"}));
  EXPECT_EQ(SplitRecipients("ann,"), List{"ann"});
  EXPECT_EQ(SplitRecipients("ann,,bob"), (List{"ann", "", "bob"}));
  EXPECT_EQ(SplitRecipients(","), List{""});
  std::string long_piece(3000, 'a');  // far beyond any fixed buffer
  EXPECT_EQ(SplitRecipients(long_piece + ",b"), (List{long_piece, "b"}));
}

}  // namespace

}  // namespace quor
