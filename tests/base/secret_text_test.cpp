#include "base/secret_text.h"

#include <gtest/gtest.h>

namespace quor {

namespace {

TEST(MaskSecretsTest, ReplacesEveryOccurrenceOfEverySecret) {
  const struct {
    const char* text;
    std::vector<std::string> secrets;
    const char* masked;
  } cases[] = {
      {"535 bad password hunter2", {"hunter2"}, "535 bad password ********"},
      {"hunter2 and hunter2 again", {"hunter2"}, "******** and ******** again"},
      {"token AGFubgBzZWNyZXQ= for secret",
       {"secret", "AGFubgBzZWNyZXQ="},
       "token ******** for ********"},
      {"nothing secret here", {"hunter2"}, "nothing secret here"},
      {"empty secrets change nothing", {""}, "empty secrets change nothing"},
      // A secret that is part of the mask cannot make the masking loop.
      {"a*a", {"*"}, "a********a"},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskSecrets(c.text, c.secrets), c.masked) << c.text;
}

}  // namespace

}  // namespace quor
