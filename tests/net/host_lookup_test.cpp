// Names of servers: hosts, services and ports.

#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "fixtures/row_name.h"

namespace quor {

namespace {

constexpr uint32_t kNoAddress = 0xFFFFFFFFu;

// --- Lookups --------------------------------------------------------------

struct ServiceCase {
  const char* name;
  int expected;  // network byte order, or -1
};

class ResolveServiceTest : public ::testing::TestWithParam<ServiceCase> {};

TEST_P(ResolveServiceTest, GivesThePortInNetworkOrder) {
  EXPECT_EQ(ResolveService(GetParam().name), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Services, ResolveServiceTest,
    ::testing::Values(ServiceCase{"110", htons(110)}, ServiceCase{"2525", htons(2525)},
                      ServiceCase{"65535", htons(65535)}, ServiceCase{"110x", htons(110)},
                      ServiceCase{"pop3", htons(110)}, ServiceCase{"smtp", htons(25)},
                      ServiceCase{"", -1}, ServiceCase{"no-such-service", -1},
                      // A number that is no port is refused, not cut to another port.
                      ServiceCase{"65536", -1}, ServiceCase{"99999999999999999999", -1}),
    NameRowsBy(&ServiceCase::name));

struct HostCase {
  const char* name;
  uint32_t expected;  // network byte order
};

class ResolveHostTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(ResolveHostTest, GivesTheAddressInNetworkOrder) {
  EXPECT_EQ(ResolveHost(GetParam().name), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Hosts, ResolveHostTest,
                         ::testing::Values(HostCase{"127.0.0.1", htonl(0x7F000001)},
                                           HostCase{"10.1.2.3", htonl(0x0A010203)},
                                           HostCase{"localhost", htonl(0x7F000001)},
                                           HostCase{"", kNoAddress},
                                           HostCase{"1.2.3.4.5", kNoAddress},
                                           HostCase{"no-such-host.invalid", kNoAddress}),
                         NameRowsBy(&HostCase::name));

TEST(LocalHostNameTest, IsTheSystemsHostName) {
  char expected[256] = {};
  ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(LocalHostName(), expected);
  EXPECT_FALSE(LocalHostName().empty());
}

// The server text's port, when it has one, is the digits after the last colon.
TEST(SplitHostPortTest, TakesTheDigitsAfterTheLastColon) {
  struct Case {
    const char* text;
    const char* host;
    const char* port;
  } cases[] = {
      {"pop.example.org", "pop.example.org", ""},
      {"127.0.0.1:1110", "127.0.0.1", "1110"},
      {"127.0.0.1:x", "127.0.0.1:x", ""},
      {"host:", "host:", ""},
      {"a:b:25", "a:b", "25"},
  };
  for (const Case& c : cases) {
    std::string host;
    std::string port;
    SplitHostPort(c.text, host, port);
    EXPECT_EQ(host, c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
}

}  // namespace

}  // namespace quor
