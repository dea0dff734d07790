// Line reading, waiting and sending on one connection, against a scripted
// server on loopback.

#include "net/mail_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "fixtures/scripted_server.h"
#include "fixtures/test_files.h"
#include "net/client_socket.h"

namespace quor {

namespace {

using std::chrono::milliseconds;

class MailSocketTest : public ::testing::Test {
 protected:
  // Starts the server with the script built so far and connects to it.
  void Connect(ClientSocket& socket) {
    server_.Start();
    ASSERT_GT(socket.Connect("127.0.0.1", server_.port_text()), 0);
  }

  // Waits until `bytes` have reached this end of the connection, so that the
  // next receive takes them all at once.
  bool WaitForPending(const MailSocket& socket, size_t bytes) {
    return WaitUntil([&] {
      char buffer[256];
      return recv(socket.socket_handle(), buffer, sizeof buffer, MSG_PEEK | MSG_DONTWAIT) >=
             static_cast<ssize_t>(bytes);
    });
  }

  std::string ReceiveLine(MailSocket& socket, int maximum) {
    std::string buffer(static_cast<size_t>(maximum), '\0');
    int count = socket.ReceiveLine(buffer.data(), maximum);
    last_count_ = count;
    return count > 0 ? buffer.substr(0, static_cast<size_t>(count)) : std::string();
  }

  ScriptedServer server_;
  ClientSocket socket_{0, '\n'};
  int last_count_ = 0;
};

// --- Waiting --------------------------------------------------------------

TEST(MailSocketWaitTest, WaitsOnANeverConnectedObjectReturnZeroAtOnce) {
  MailSocket socket(0, '\n');
  EXPECT_EQ(socket.WaitReadOrError(5, 0), 0);
  EXPECT_EQ(socket.WaitRead(5, 0), 0);
  EXPECT_EQ(socket.WaitWrite(5, 0), 0);
  EXPECT_EQ(socket.WaitError(5, 0), 0);
  EXPECT_EQ(socket.WaitRead(-1, 0), 0);  // even without a time limit
}

TEST_F(MailSocketTest, WaitsAfterCloseReturnZeroAtOnce) {
  server_.Send("+OK\r\n");
  Connect(socket_);
  EXPECT_EQ(socket_.Close(), 1);
  EXPECT_FALSE(socket_.connected());
  EXPECT_EQ(socket_.socket_handle(), -1);
  EXPECT_EQ(socket_.WaitReadOrError(-1, 0), 0);
  EXPECT_EQ(socket_.WaitWrite(-1, 0), 0);
  EXPECT_EQ(socket_.Close(), 1);  // closing twice is harmless
}

TEST_F(MailSocketTest, WaitTimesOutWhenNothingArrives) {
  Connect(socket_);
  EXPECT_EQ(socket_.WaitRead(0, 20000), 0);
  EXPECT_EQ(socket_.WaitError(0, 0), 0);
  EXPECT_GT(socket_.WaitWrite(0, 0), 0);
}

TEST_F(MailSocketTest, BufferedBytesMakeReadWaitsReadyAtOnce) {
  server_.Send("one\r\ntwo\r\n");
  Connect(socket_);
  ASSERT_TRUE(WaitForPending(socket_, 10));
  EXPECT_EQ(ReceiveLine(socket_, 100), "one\r\n");
  // Both lines came in one receive; the second is in the buffer, not in the
  // connection, and a wait must still see it.
  ASSERT_EQ(socket_.buffered(), 5u);
  EXPECT_GT(socket_.WaitRead(0, 0), 0);
  EXPECT_GT(socket_.WaitReadOrError(0, 0), 0);
  EXPECT_EQ(socket_.WaitError(0, 0), 0);
  EXPECT_EQ(ReceiveLine(socket_, 100), "two\r\n");
  EXPECT_EQ(socket_.WaitRead(0, 0), 0);
}

TEST_F(MailSocketTest, ClosedPeerMakesReadWaitReady) {
  server_.Close();
  Connect(socket_);
  EXPECT_GT(socket_.WaitReadOrError(5, 0), 0);
  EXPECT_EQ(ReceiveLine(socket_, 100), "");
  EXPECT_EQ(last_count_, 0);
}

// --- Line reading ---------------------------------------------------------

TEST_F(MailSocketTest, LongLineComesInPiecesOfTheMaximum) {
  server_.SendLongLine(2000);
  Connect(socket_);
  std::string first = ReceiveLine(socket_, 1023);
  EXPECT_EQ(last_count_, 1023);
  EXPECT_EQ(first, std::string(1023, 'x'));
  std::string rest = ReceiveLine(socket_, 1023);
  EXPECT_EQ(last_count_, 2002 - 1023);
  EXPECT_EQ(rest, std::string(2000 - 1023, 'x') + "\r\n");
}

TEST_F(MailSocketTest, PeerClosingMidLineGivesZero) {
  server_.Send("abc").Close();
  Connect(socket_);
  EXPECT_EQ(ReceiveLine(socket_, 1023), "");
  EXPECT_EQ(last_count_, 0);
}

TEST_F(MailSocketTest, LineSentInSeveralPartsIsJoined) {
  server_.Send("ab").Silence(milliseconds(50)).Send("c\r").Silence(milliseconds(50)).Send("\nd\n");
  Connect(socket_);
  EXPECT_EQ(ReceiveLine(socket_, 100), "abc\r\n");
  EXPECT_EQ(ReceiveLine(socket_, 100), "d\n");
}

TEST_F(MailSocketTest, LineExactlyAsLongAsTheMaximumIncludesItsTerminator) {
  server_.Send("abcd\nef\n");
  Connect(socket_);
  EXPECT_EQ(ReceiveLine(socket_, 5), "abcd\n");
  EXPECT_EQ(last_count_, 5);
  EXPECT_EQ(ReceiveLine(socket_, 5), "ef\n");
}

TEST_F(MailSocketTest, ZeroMaximumReadsNothing) {
  server_.Send("abc\n");
  Connect(socket_);
  char byte = '?';
  EXPECT_EQ(socket_.ReceiveLine(&byte, 0), 0);
  EXPECT_EQ(byte, '?');
  EXPECT_EQ(ReceiveLine(socket_, 10), "abc\n");
}

TEST_F(MailSocketTest, TerminatorIsTheConstructorsByte) {
  ClientSocket semicolons(0, ';');
  server_.Send("a;bc;\n");
  Connect(semicolons);
  EXPECT_EQ(ReceiveLine(semicolons, 10), "a;");
  EXPECT_EQ(ReceiveLine(semicolons, 10), "bc;");
}

TEST_F(MailSocketTest, SilenceMidLineEndsAtTheReceiveTimeLimit) {
  server_.Send("+OK part").Silence(milliseconds(5000));
  socket_.set_receive_time_limit(1);
  Connect(socket_);
  EXPECT_EQ(ReceiveLine(socket_, 100), "");
  EXPECT_EQ(last_count_, -ETIMEDOUT);
}

// --- Nothing read ahead is lost -------------------------------------------

TEST_F(MailSocketTest, ReceiveDataAndPeekDataServeBufferedBytesFirst) {
  server_.Send("line\r\nrest of the data");
  Connect(socket_);
  ASSERT_TRUE(WaitForPending(socket_, 22));
  EXPECT_EQ(ReceiveLine(socket_, 100), "line\r\n");

  char peeked[8] = {};
  ASSERT_EQ(socket_.PeekData(peeked, 4), 4);
  EXPECT_EQ(std::string(peeked, 4), "rest");
  EXPECT_EQ(socket_.buffered(), 16u);  // a peek removes nothing

  char received[64] = {};
  int count = socket_.ReceiveData(received, 7);
  ASSERT_EQ(count, 7);
  EXPECT_EQ(std::string(received, 7), "rest of");
  count = socket_.ReceiveData(received, sizeof received);
  EXPECT_EQ(std::string(received, static_cast<size_t>(count)), " the data");
}

TEST_F(MailSocketTest, ReceiveLineAfterReceiveDataContinuesWhereItStopped) {
  server_.Send("abcdef\n");
  Connect(socket_);
  char received[3] = {};
  ASSERT_EQ(socket_.ReceiveData(received, 3), 3);
  EXPECT_EQ(std::string(received, 3), "abc");
  EXPECT_EQ(ReceiveLine(socket_, 100), "def\n");
}

TEST_F(MailSocketTest, CloseDropsBufferedBytes) {
  server_.Send("one\ntwo\n");
  Connect(socket_);
  ASSERT_TRUE(WaitForPending(socket_, 8));
  EXPECT_EQ(ReceiveLine(socket_, 100), "one\n");
  ASSERT_EQ(socket_.buffered(), 4u);
  socket_.Close();
  EXPECT_EQ(socket_.buffered(), 0u);
  EXPECT_EQ(socket_.WaitRead(0, 0), 0);
}

// --- Sending --------------------------------------------------------------

TEST_F(MailSocketTest, SendDataSendsTheWholeBuffer) {
  server_.Expect("HELLO").Expect("WORLD");
  Connect(socket_);
  const std::string text = "HELLO\r\nWORLD\r\n";
  EXPECT_EQ(socket_.SendData(text.data(), static_cast<int>(text.size())),
            static_cast<int>(text.size()));
  ASSERT_TRUE(server_.WaitForLines(2));
  EXPECT_TRUE(server_.Errors().empty());
}

TEST_F(MailSocketTest, SendingToAPeerThatLeftFailsWithoutKillingTheProcess) {
  server_.Close();
  Connect(socket_);
  ASSERT_TRUE(server_.WaitForConnectionEnd());
  // The first send may still be accepted by the network stack; the peer's
  // reset makes a later one fail. Without MSG_NOSIGNAL this would be SIGPIPE.
  const std::string block(64 * 1024, 'x');
  int result = 0;
  for (int attempt = 0; attempt < 50 && result >= 0; ++attempt) {
    result = socket_.SendData(block.data(), static_cast<int>(block.size()));
  }
  EXPECT_TRUE(result == -EPIPE || result == -ECONNRESET) << result;
}

TEST(MailSocketSendTest, SendOnANeverConnectedObjectFails) {
  MailSocket socket(0, '\n');
  EXPECT_LT(socket.SendData("x", 1), 0);
  EXPECT_EQ(socket.SendData("x", -1), -EINVAL);
  char buffer[4];
  EXPECT_LT(socket.ReceiveLine(buffer, 4), 0);
  EXPECT_LT(socket.ReceiveData(buffer, 4), 0);
}

}  // namespace

}  // namespace quor
