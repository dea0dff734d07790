// Name lookups and the active open.

#include "net/client_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "fixtures/scripted_server.h"
#include "fixtures/test_files.h"

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
                      ServiceCase{"65536", -1}, ServiceCase{"99999999999999999999", -1}));

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
                                           HostCase{"no-such-host.invalid", kNoAddress}));

TEST(LocalHostNameTest, IsTheSystemsHostName) {
  char expected[256] = {};
  ASSERT_EQ(gethostname(expected, sizeof expected - 1), 0);
  EXPECT_EQ(LocalHostName(), expected);
  EXPECT_FALSE(LocalHostName().empty());
}

// --- Connect --------------------------------------------------------------

class ClientSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { server_.Start(); }

  ScriptedServer server_;
  ClientSocket socket_{0, '\n'};
};

TEST_F(ClientSocketTest, DigitServiceConnectsToThatPort) {
  int handle = socket_.Connect("127.0.0.1", server_.port_text());
  EXPECT_GT(handle, 0);
  EXPECT_EQ(handle, socket_.socket_handle());
  EXPECT_TRUE(socket_.connected());
  EXPECT_EQ(socket_.host_name(), "127.0.0.1");
  EXPECT_EQ(socket_.service_name(), server_.port_text());
  EXPECT_TRUE(WaitUntil([&] { return server_.connections() == 1; }));
}

TEST_F(ClientSocketTest, HostWithPortOverridesTheService) {
  // "pop3" would be port 110, where nothing listens.
  EXPECT_GT(socket_.Connect(server_.host_text(), "pop3"), 0);
  EXPECT_EQ(socket_.host_name(), server_.host_text());  // the full text is kept
  EXPECT_EQ(socket_.service_name(), "pop3");
  EXPECT_TRUE(WaitUntil([&] { return server_.connections() == 1; }));
}

TEST_F(ClientSocketTest, HostNameIsLookedUp) {
  EXPECT_GT(socket_.Connect("localhost:" + server_.port_text(), "pop3"), 0);
}

TEST_F(ClientSocketTest, SocketIsBlockingAndNotInherited) {
  ASSERT_GT(socket_.Connect("127.0.0.1", server_.port_text()), 0);
  EXPECT_EQ(fcntl(socket_.socket_handle(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(socket_.socket_handle(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(ClientSocketTest, NonBlockingFlagStillReadsWholeLines) {
  ScriptedServer late;
  late.Silence(std::chrono::milliseconds(100)).Send("late\r\n");
  late.Start();
  ClientSocket socket(MailSocket::kNonBlocking, '\n');
  ASSERT_GT(socket.Connect("127.0.0.1", late.port_text()), 0);
  EXPECT_NE(fcntl(socket.socket_handle(), F_GETFL) & O_NONBLOCK, 0);
  char line[16] = {};
  ASSERT_EQ(socket.ReceiveLine(line, sizeof line), 6);
  EXPECT_EQ(std::string(line, 6), "late\r\n");
}

TEST_F(ClientSocketTest, CanConnectAgainAfterClose) {
  ASSERT_GT(socket_.Connect("127.0.0.1", server_.port_text()), 0);
  socket_.Close();
  EXPECT_FALSE(socket_.connected());
  ASSERT_GT(socket_.Connect(server_.host_text(), "smtp"), 0);
  EXPECT_EQ(socket_.host_name(), server_.host_text());
  EXPECT_EQ(socket_.service_name(), "smtp");
  EXPECT_TRUE(WaitUntil([&] { return server_.connections() == 2; }));
}

TEST(ClientSocketFailureTest, RefusedConnectionGivesMinusTheError) {
  ClientSocket socket(0, '\n');
  const int port = FreeLoopbackPort();  // nothing listens there
  EXPECT_EQ(socket.Connect("127.0.0.1", std::to_string(port)), -ECONNREFUSED);
  EXPECT_FALSE(socket.connected());
  EXPECT_FALSE(socket.host_name().has_value());
  EXPECT_EQ(socket.WaitRead(1, 0), 0);  // not connected: no wait
}

struct BadTarget {
  const char* host;
  const char* service;
};

class ClientSocketLookupFailureTest : public ::testing::TestWithParam<BadTarget> {};

TEST_P(ClientSocketLookupFailureTest, GivesMinusOne) {
  ClientSocket socket(0, '\n');
  EXPECT_EQ(socket.Connect(GetParam().host, GetParam().service), -1);
  EXPECT_FALSE(socket.connected());
  EXPECT_FALSE(socket.service_name().has_value());
}

INSTANTIATE_TEST_SUITE_P(Lookups, ClientSocketLookupFailureTest,
                         ::testing::Values(BadTarget{"", "110"}, BadTarget{"127.0.0.1", ""},
                                           BadTarget{"no-such-host.invalid", "110"},
                                           BadTarget{"127.0.0.1", "no-such-service"},
                                           BadTarget{"127.0.0.1:70000", "pop3"},
                                           // Not digits after the colon: all of it is the host.
                                           BadTarget{"127.0.0.1:x", "110"}));

}  // namespace

}  // namespace quor
