#include "net/transfer_pace.h"

#include <gtest/gtest.h>

#include <chrono>

#include "fixtures/row_name.h"

namespace quor {

namespace {

using std::chrono::milliseconds;

struct PaceCase {
  std::string label;
  PaceLimits limits;
  long long moved;
  long long limit_milliseconds;  // after the start; -1: never
};

class TransferPaceTest : public ::testing::TestWithParam<PaceCase> {};

TEST_P(TransferPaceTest, LimitIsTheLaterOfGraceAndWhatTheBytesBuy) {
  const Clock::time_point start = Clock::now();
  TransferPace pace(GetParam().limits, start);
  pace.Count(static_cast<size_t>(GetParam().moved));
  if (GetParam().limit_milliseconds < 0) {
    EXPECT_EQ(pace.Limit(), Deadline::max());
  } else {
    EXPECT_EQ(pace.Limit() - start, milliseconds(GetParam().limit_milliseconds));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, TransferPaceTest,
    ::testing::Values(PaceCase{"nothing moved waits the grace", {119, 1000}, 0, 119000},
                      PaceCase{"a drip of 24 bytes stays at the grace", {119, 1000}, 24, 119000},
                      PaceCase{"just below the rate at the grace", {119, 1000}, 118999, 119000},
                      PaceCase{"a steady server earns its time", {119, 1000}, 300000, 300000},
                      PaceCase{"one more byte one more millisecond", {119, 1000}, 300001, 300001},
                      PaceCase{"short bounds for tests", {1, 500000}, 1000000, 2000},
                      PaceCase{"no minimum no limit", {119, 0}, 5, -1},
                      PaceCase{"no grace", {0, 1000}, 0, 0}),
    NameRowsBy(&PaceCase::label));

TEST(TransferPace, BoundIsTheEarlierDeadline) {
  const Clock::time_point start = Clock::now();
  TransferPace pace({10, 1000}, start);
  EXPECT_EQ(pace.Bound(start + std::chrono::seconds(3)), start + std::chrono::seconds(3));
  EXPECT_EQ(pace.Bound(start + std::chrono::seconds(30)), start + std::chrono::seconds(10));
}

}  // namespace

}  // namespace quor
