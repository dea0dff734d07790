// The TCP connection: the active open, reads and writes bounded by their
// deadlines, against scripted servers on loopback.

#include "net/tcp_stream.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "fixtures/scripted_server.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using std::chrono::milliseconds;

Deadline In(milliseconds wait) { return Clock::now() + wait; }

class TcpStreamTest : public ::testing::Test {
 protected:
  // Starts the server with the script built so far and connects to it.
  void Connect() {
    server_.Start();
    ASSERT_EQ(TcpStream::Connect("127.0.0.1", server_.port_text(), stream_), 1);
  }
  // Reads until `count` bytes came or a read gave no more.
  std::string ReadBytes(size_t count) {
    std::string text;
    char buffer[256];
    while (text.size() < count) {
      int got = stream_->Read(buffer, sizeof buffer, In(milliseconds(5000)));
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }

  ScriptedServer server_;
  std::unique_ptr<TcpStream> stream_;
};

// --- Connect --------------------------------------------------------------

TEST_F(TcpStreamTest, DigitServiceConnectsToThatPort) {
  Connect();
  EXPECT_TRUE(stream_->is_open());
  EXPECT_GT(stream_->handle(), 0);
  EXPECT_TRUE(WaitUntil([&] { return server_.connections() == 1; }));
}

TEST_F(TcpStreamTest, HostWithPortOverridesTheService) {
  server_.Start();
  // "pop3" would be port 110, where nothing listens.
  EXPECT_EQ(TcpStream::Connect(server_.host_text(), "pop3", stream_), 1);
  EXPECT_TRUE(WaitUntil([&] { return server_.connections() == 1; }));
}

TEST_F(TcpStreamTest, HostNameIsLookedUp) {
  server_.Start();
  EXPECT_EQ(TcpStream::Connect("localhost:" + server_.port_text(), "pop3", stream_), 1);
}

TEST_F(TcpStreamTest, LoopbackPeerIsKnownAsSuch) {
  Connect();
  EXPECT_TRUE(stream_->peer_on_loopback());
}

TEST(TcpStreamIpv6Test, BracketedIpv6AddressWithPortConnects) {
  if (!ScriptedServer::Ipv6LoopbackAvailable()) GTEST_SKIP() << "no IPv6 loopback here";
  ScriptedServer server(std::chrono::seconds(10), ScriptedServer::Address::kIpv6Loopback);
  server.Send("+OK v6\r\n");
  server.Start();
  std::unique_ptr<TcpStream> stream;
  ASSERT_EQ(server.host_text(), "[::1]:" + server.port_text());
  ASSERT_EQ(TcpStream::Connect(server.host_text(), "pop3", stream), 1);
  EXPECT_TRUE(stream->peer_on_loopback());
  char buffer[16] = {};
  EXPECT_EQ(stream->Read(buffer, sizeof buffer, In(milliseconds(5000))), 8);
  EXPECT_EQ(std::string(buffer), "+OK v6\r\n");
}

// A host has several addresses: those that refuse are passed over.
TEST(TcpStreamAddressesTest, TriesEachAddressUntilOneConnects) {
  ScriptedServer server;
  server.Start();
  const uint16_t nobody = htons(static_cast<uint16_t>(FreeLoopbackPort()));
  std::vector<NetworkAddress> addresses;
  for (const char* host : {"::1", "127.0.0.1"}) {
    // Without IPv6 the ::1 attempt fails at once as well.
    std::vector<NetworkAddress> refusing = ResolveHostAddresses(host, nobody);
    addresses.insert(addresses.end(), refusing.begin(), refusing.end());
  }
  ASSERT_EQ(addresses.size(), 2u);
  addresses.push_back(
      ResolveHostAddresses("127.0.0.1", htons(static_cast<uint16_t>(server.port())))[0]);
  std::unique_ptr<TcpStream> stream;
  EXPECT_EQ(TcpStream::Connect(addresses, stream), 1);
  EXPECT_TRUE(WaitUntil([&] { return server.connections() == 1; }));
}

TEST(TcpStreamAddressesTest, NoAddressConnectingGivesTheLastError) {
  const int nobody = FreeLoopbackPort();
  std::unique_ptr<TcpStream> stream;
  EXPECT_EQ(TcpStream::Connect({}, stream), -1);
  EXPECT_EQ(TcpStream::Connect(ResolveHostAddresses("127.0.0.1", htons(nobody)), stream),
            -ECONNREFUSED);
  EXPECT_EQ(stream, nullptr);
}

TEST_F(TcpStreamTest, SocketIsBlockingAndNotInherited) {
  Connect();
  EXPECT_EQ(fcntl(stream_->handle(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(stream_->handle(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST(TcpStreamFailureTest, RefusedConnectionGivesMinusTheError) {
  std::unique_ptr<TcpStream> stream;
  const int port = FreeLoopbackPort();  // nothing listens there
  EXPECT_EQ(TcpStream::Connect("127.0.0.1", std::to_string(port), stream), -ECONNREFUSED);
  EXPECT_EQ(stream, nullptr);
}

struct BadTarget {
  const char* name;
  const char* host;
  const char* service;
};

class TcpStreamLookupFailureTest : public ::testing::TestWithParam<BadTarget> {};

TEST_P(TcpStreamLookupFailureTest, GivesMinusOne) {
  std::unique_ptr<TcpStream> stream;
  EXPECT_EQ(TcpStream::Connect(GetParam().host, GetParam().service, stream), -1);
  EXPECT_EQ(stream, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Lookups, TcpStreamLookupFailureTest,
    ::testing::Values(BadTarget{"EmptyHost", "", "110"}, BadTarget{"EmptyService", "127.0.0.1", ""},
                      BadTarget{"UnknownHost", "no-such-host.invalid", "110"},
                      BadTarget{"UnknownService", "127.0.0.1", "no-such-service"},
                      BadTarget{"PortBeyondRange", "127.0.0.1:70000", "pop3"},
                      // Not digits after the colon: all of it is the host.
                      BadTarget{"LettersAfterColon", "127.0.0.1:x", "110"}),
    [](const ::testing::TestParamInfo<BadTarget>& info) { return info.param.name; });

// --- Reading and writing ----------------------------------------------------

TEST_F(TcpStreamTest, ReadTimesOutWhenNothingArrives) {
  Connect();
  char buffer[8];
  EXPECT_EQ(stream_->Read(buffer, sizeof buffer, In(milliseconds(20))), -ETIMEDOUT);
  EXPECT_FALSE(stream_->HasInput());
}

TEST_F(TcpStreamTest, BytesSentInPartsArriveInOrder) {
  server_.Send("ab").Silence(milliseconds(50)).Send("c\r\n");
  Connect();
  EXPECT_EQ(ReadBytes(5), "abc\r\n");
}

TEST_F(TcpStreamTest, ClosedPeerGivesZeroAndCountsAsInput) {
  server_.Close();
  Connect();
  ASSERT_TRUE(server_.WaitForConnectionEnd());
  EXPECT_TRUE(WaitUntil([&] { return stream_->HasInput(); }));
  char buffer[8];
  EXPECT_EQ(stream_->Read(buffer, sizeof buffer, In(milliseconds(5000))), 0);
}

TEST_F(TcpStreamTest, WriteSendsTheWholeBuffer) {
  server_.Expect("HELLO").Expect("WORLD");
  Connect();
  const std::string text = "HELLO\r\nWORLD\r\n";
  EXPECT_EQ(stream_->Write(text.data(), text.size(), In(milliseconds(5000))),
            static_cast<int>(text.size()));
  ASSERT_TRUE(server_.WaitForLines(2));
  EXPECT_TRUE(server_.Errors().empty());
}

TEST_F(TcpStreamTest, WritingToAPeerThatLeftFailsWithoutKillingTheProcess) {
  server_.Close();
  Connect();
  ASSERT_TRUE(server_.WaitForConnectionEnd());
  // The first write may still be accepted by the network stack; the peer's
  // reset makes a later one fail. Without MSG_NOSIGNAL this would be SIGPIPE.
  const std::string block(64 * 1024, 'x');
  int result = 0;
  for (int attempt = 0; attempt < 50 && result >= 0; ++attempt) {
    result = stream_->Write(block.data(), block.size(), In(milliseconds(5000)));
  }
  EXPECT_TRUE(result == -EPIPE || result == -ECONNRESET) << result;
}

TEST(TcpStreamStallTest, PeerThatTakesNothingMakesWritesTimeOut) {
  // A listener that never accepts: the connection is made by the kernel, and
  // nobody ever reads from it.
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  std::unique_ptr<TcpStream> stream;
  ASSERT_EQ(TcpStream::Connect("127.0.0.1", std::to_string(ntohs(address.sin_port)), stream), 1);
  // More than any socket buffer takes while the peer reads nothing.
  const std::string block(1 << 20, 'x');
  int result = 0;
  for (int attempt = 0; attempt < 64 && result >= 0; ++attempt) {
    result = stream->Write(block.data(), block.size(), In(milliseconds(200)));
  }
  EXPECT_EQ(result, -ETIMEDOUT);
  close(listener);
}

TEST_F(TcpStreamTest, ClosedStreamRefusesReadsAndWrites) {
  server_.Send("+OK\r\n");
  Connect();
  stream_->Close();
  EXPECT_FALSE(stream_->is_open());
  char buffer[4];
  EXPECT_EQ(stream_->Read(buffer, sizeof buffer, In(milliseconds(5000))), -ENOTCONN);
  EXPECT_EQ(stream_->Write("x", 1, In(milliseconds(5000))), -ENOTCONN);
  EXPECT_FALSE(stream_->HasInput());
  stream_->Close();  // closing twice is harmless
}

}  // namespace

}  // namespace quor
