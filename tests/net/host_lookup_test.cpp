// Names of servers: hosts, services and ports.

#include "net/host_lookup.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "fixtures/row_name.h"

namespace quor {

namespace {

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
  std::vector<std::string> expected;  // the addresses as text, in order
};

class ResolveHostAddressesTest : public ::testing::TestWithParam<HostCase> {};

TEST_P(ResolveHostAddressesTest, GivesEveryAddressWithThePort) {
  std::vector<NetworkAddress> addresses = ResolveHostAddresses(GetParam().name, htons(995));
  std::vector<std::string> texts;
  for (const NetworkAddress& address : addresses) {
    texts.push_back(address.Text());
    const uint16_t port = address.family() == AF_INET6
                              ? reinterpret_cast<const sockaddr_in6*>(&address.storage)->sin6_port
                              : reinterpret_cast<const sockaddr_in*>(&address.storage)->sin_port;
    EXPECT_EQ(port, htons(995)) << texts.back();
  }
  EXPECT_EQ(texts, GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Hosts, ResolveHostAddressesTest,
                         ::testing::Values(HostCase{"127.0.0.1", {"127.0.0.1"}},
                                           HostCase{"10.1.2.3", {"10.1.2.3"}},
                                           HostCase{"::1", {"::1"}},
                                           HostCase{"2001:db8::25", {"2001:db8::25"}},
                                           HostCase{"", {}}, HostCase{"1.2.3.4.5", {}},
                                           HostCase{"no-such-host.invalid", {}}),
                         NameRowsBy(&HostCase::name));

// Names come from the resolver, which may give an IPv6 address as well.
TEST(ResolveHostAddressesNameTest, LocalhostIncludesTheIpv4Loopback) {
  std::vector<std::string> texts;
  for (const NetworkAddress& address : ResolveHostAddresses("localhost", htons(110))) {
    texts.push_back(address.Text());
  }
  EXPECT_THAT(texts, ::testing::Contains("127.0.0.1"));
}

TEST(NetworkAddressTest, LoopbackIsTheMachineItself) {
  const struct {
    const char* address;
    bool loopback;
  } cases[] = {
      {"127.0.0.1", true}, {"127.8.9.10", true},   {"::1", true}, {"::ffff:127.0.0.1", true},
      {"10.0.0.1", false}, {"2001:db8::1", false}, {"::", false}};
  for (const auto& c : cases) {
    std::vector<NetworkAddress> addresses = ResolveHostAddresses(c.address, htons(25));
    ASSERT_EQ(addresses.size(), 1u) << c.address;
    EXPECT_EQ(addresses[0].IsLoopback(), c.loopback) << c.address;
  }
}

TEST(LocalHostNameTest, IsTheSystemsHostName) {
  char expected[256] = {};
  ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(LocalHostName(), expected);
  EXPECT_FALSE(LocalHostName().empty());
}

// The server text's port, when it has one, is the digits after the last
// colon; an IPv6 address with a port is in brackets, one without may be bare.
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
      {"[::1]:995", "::1", "995"},
      {"[2001:db8::1]", "2001:db8::1", ""},
      {"::1", "::1", ""},
      {"2001:db8::1:25", "2001:db8::1:25", ""},
      {"[::1]:x", "[::1]:x", ""},
      {"[::1", "[::1", ""},
  };
  for (const Case& c : cases) {
    std::string host;
    std::string port;
    SplitHostPort(c.text, host, port);
    EXPECT_EQ(host, c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
}

TEST(IsAddressLiteralTest, TellsAddressesFromNames) {
  for (const char* address : {"127.0.0.1", "::1", "2001:db8::1", "::ffff:10.0.0.1"}) {
    EXPECT_TRUE(IsAddressLiteral(address)) << address;
  }
  for (const char* name : {"localhost", "pop.example.org", "", "1.2.3.4.5", "[::1]"}) {
    EXPECT_FALSE(IsAddressLiteral(name)) << name;
  }
}

}  // namespace

}  // namespace quor
