#include "config/record_bound.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quor {

namespace {

TEST(LastIndexPresentTest, FindsTheHighestIndexReadableWithASuffix) {
  const std::vector<std::string> keys = {
      "Name",      "Cond0.fld", "cond7.VALUE", "Cond3.other",         "Cond12",
      "Cond01.op", "Cond.fld",  "Cond-4.fld",  "Cond99999999999.fld", "Condition5.fld"};
  EXPECT_EQ(LastIndexPresent(keys, "Cond", {".fld", ".op", ".value", ".join"}), 7);
  EXPECT_EQ(LastIndexPresent(keys, "Cond", {""}), 12);
  EXPECT_EQ(LastIndexPresent(keys, "Ext", {".varname"}), -1);
  EXPECT_EQ(LastIndexPresent({}, "Cond", {".fld"}), -1);
}

TEST(LastIndexPresentTest, AcceptsTheLargestIndexACountCanReach) {
  EXPECT_EQ(LastIndexPresent({"POPServer2147483647"}, "POPServer", {""}), 2147483647);
}

TEST(IndexAfterPrefixTest, SplitsNestedIndexes) {
  std::string_view rest;
  ASSERT_EQ(IndexAfterPrefix("Action3.prop10.name", "Action", rest), 3);
  EXPECT_EQ(rest, ".prop10.name");
  std::string_view tail;
  ASSERT_EQ(IndexAfterPrefix(rest, ".prop", tail), 10);
  EXPECT_EQ(tail, ".name");
  EXPECT_EQ(IndexAfterPrefix("Action", "Action", rest), -1);
  EXPECT_EQ(IndexAfterPrefix("Actionx", "Action", rest), -1);
}

TEST(BoundedRecordCountTest, LimitsMissingRecordsPastTheLastPresent) {
  struct Case {
    int32_t stored;
    int64_t last_present;
    int32_t expected;
  };
  const Case cases[] = {
      {0, 5, 0},
      {-1, 5, 0},
      {-2147483647 - 1, -1, 0},
      {2, 0, 2},
      {2, -1, 2},
      {3, 10, 3},
      {2147483647, -1, 1000},
      {2147483647, 4, 1005},
      {1005, 4, 1005},
      {1006, 4, 1005},
      {2147483647, 2147483647, 2147483647},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BoundedRecordCount(c.stored, c.last_present, 1000), c.expected)
        << c.stored << " with last " << c.last_present;
  }
}

}  // namespace

}  // namespace quor
