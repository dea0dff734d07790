// The TLS stream over a TCP connection, against scripted servers that speak
// TLS with certificates of a private test authority: what it checks, what
// each failed check is called, and reads and writes inside TLS.

#include "net/tls_stream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/test_certificates.h"
#include "fixtures/test_files.h"
#include "net/tcp_stream.h"

namespace quor {

namespace {

using std::chrono::milliseconds;
using Kind = TestCertificates::Kind;
using Lines = std::vector<std::string>;

const TestCertificates& Certificates() { return TestCertificates::Shared(); }

TlsOptions TrustingTheTestAuthority() { return {Certificates().authority_file()}; }

class TlsStreamTest : public ::testing::Test {
 protected:
  // Starts the server with the script built so far, connects to it and runs
  // the handshake for `host`: the result of TlsStream::Start.
  int Connect(const std::string& host = "localhost",
              const TlsOptions& options = TrustingTheTestAuthority(), int wait_seconds = 10) {
    server_.Start();
    std::unique_ptr<TcpStream> connection;
    EXPECT_EQ(TcpStream::Connect(server_.host_text(), "0", connection), 1);
    stream_ = std::move(connection);
    return TlsStream::Start(stream_, host, options, DeadlineIn(wait_seconds), error_);
  }
  // Reads until `count` bytes came or a read gave no more.
  std::string ReadBytes(size_t count) {
    std::string text;
    char buffer[256];
    while (text.size() < count) {
      int got = stream_->Read(buffer, sizeof buffer, DeadlineIn(5));
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
    }
    return text;
  }
  int WriteText(const std::string& text) {
    return stream_->Write(text.data(), text.size(), DeadlineIn(5));
  }

  ScriptedServer server_{milliseconds(5000)};
  std::unique_ptr<ByteStream> stream_;
  TlsError error_;
};

TEST_F(TlsStreamTest, TrustedServerCarriesBytesBothWays) {
  server_.StartTls(Certificates().Pair(Kind::kValid)).Send("+OK inside\r\n").Expect("USER ann");
  ASSERT_EQ(Connect(), 1) << TlsErrorLine(error_);
  EXPECT_FALSE(error_);
  EXPECT_EQ(ReadBytes(12), "+OK inside\r\n");
  EXPECT_EQ(WriteText("USER ann\r\n"), 10);
  ASSERT_TRUE(server_.WaitForLines(1));
  EXPECT_EQ(server_.Received(), Lines{"USER ann"});
  EXPECT_EQ(server_.Errors(), Lines{});
  auto* tls = dynamic_cast<TlsStream*>(stream_.get());
  ASSERT_NE(tls, nullptr);
  EXPECT_TRUE(tls->protocol() == "TLSv1.3" || tls->protocol() == "TLSv1.2") << tls->protocol();
}

// The host name goes out as SNI; an address is checked against the
// certificate's addresses and sends no SNI.
TEST_F(TlsStreamTest, NameIsSentAsSniAndAnAddressIsNot) {
  server_.StartTls(Certificates().Pair(Kind::kValid)).Close();
  ASSERT_EQ(Connect("localhost"), 1) << TlsErrorLine(error_);
  std::unique_ptr<TcpStream> second;
  ASSERT_EQ(TcpStream::Connect(server_.host_text(), "0", second), 1);
  std::unique_ptr<ByteStream> by_address = std::move(second);
  ASSERT_EQ(
      TlsStream::Start(by_address, "127.0.0.1", TrustingTheTestAuthority(), DeadlineIn(10), error_),
      1)
      << TlsErrorLine(error_);
  ASSERT_TRUE(WaitUntil([&] { return server_.ServerNames().size() == 2; }));
  EXPECT_EQ(server_.ServerNames(), (Lines{"localhost", ""}));
}

TEST_F(TlsStreamTest, ReadThatTimesOutLeavesTheSessionUsable) {
  server_.StartTls(Certificates().Pair(Kind::kValid)).Expect("PING").Send("PONG\r\n");
  ASSERT_EQ(Connect(), 1) << TlsErrorLine(error_);
  char buffer[16];
  EXPECT_EQ(stream_->Read(buffer, sizeof buffer, Clock::now() + milliseconds(50)), -ETIMEDOUT);
  EXPECT_FALSE(stream_->HasInput());
  ASSERT_EQ(WriteText("PING\r\n"), 6);
  EXPECT_TRUE(WaitUntil([&] { return stream_->HasInput(); }));
  EXPECT_EQ(ReadBytes(6), "PONG\r\n");
}

TEST_F(TlsStreamTest, ServerThatClosesGivesZero) {
  server_.StartTls(Certificates().Pair(Kind::kValid)).Send("bye\r\n").Close();
  ASSERT_EQ(Connect(), 1) << TlsErrorLine(error_);
  EXPECT_EQ(ReadBytes(5), "bye\r\n");
  char buffer[16];
  EXPECT_EQ(stream_->Read(buffer, sizeof buffer, DeadlineIn(5)), 0);
}

TEST_F(TlsStreamTest, ClosedStreamRefusesReadsAndWrites) {
  server_.StartTls(Certificates().Pair(Kind::kValid));
  ASSERT_EQ(Connect(), 1) << TlsErrorLine(error_);
  stream_->Close();
  EXPECT_FALSE(stream_->is_open());
  char buffer[4];
  EXPECT_EQ(stream_->Read(buffer, sizeof buffer, DeadlineIn(5)), -ENOTCONN);
  EXPECT_EQ(WriteText("x"), -ENOTCONN);
  EXPECT_FALSE(stream_->HasInput());
  stream_->Close();  // closing twice is harmless
}

TEST_F(TlsStreamTest, Ipv6AddressIsCheckedAgainstTheCertificate) {
  if (!ScriptedServer::Ipv6LoopbackAvailable()) GTEST_SKIP() << "no IPv6 loopback here";
  ScriptedServer server(milliseconds(5000), ScriptedServer::Address::kIpv6Loopback);
  server.StartTls(Certificates().Pair(Kind::kValid)).Send("+OK v6\r\n");
  server.Start();
  std::unique_ptr<TcpStream> connection;
  ASSERT_EQ(TcpStream::Connect(server.host_text(), "0", connection), 1);
  stream_ = std::move(connection);
  ASSERT_EQ(TlsStream::Start(stream_, "::1", TrustingTheTestAuthority(), DeadlineIn(10), error_), 1)
      << TlsErrorLine(error_);
  EXPECT_EQ(ReadBytes(8), "+OK v6\r\n");
}

// Every check that fails ends the handshake with one line naming the reason.
struct FailureCase {
  const char* name;
  Kind certificate;
  const char* host;
  bool trust_test_authority;  // false: the system's store
  const char* line;
};

class TlsCertificateFailureTest : public TlsStreamTest,
                                  public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TlsCertificateFailureTest, NamesTheFailedCheck) {
  const FailureCase& c = GetParam();
  server_.StartTls(Certificates().Pair(c.certificate)).Send("+OK secret greeting\r\n");
  TlsOptions options = c.trust_test_authority ? TrustingTheTestAuthority() : TlsOptions{};
  EXPECT_LT(Connect(c.host, options), 0);
  EXPECT_EQ(TlsErrorLine(error_), c.line);
  EXPECT_FALSE(stream_->is_open());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, TlsCertificateFailureTest,
    ::testing::Values(
        FailureCase{"Expired", Kind::kExpired, "localhost", true,
                    "ERROR - TLS: certificate expired."},
        FailureCase{"WrongName", Kind::kWrongName, "localhost", true,
                    "ERROR - TLS: certificate name does not match localhost."},
        FailureCase{"WrongAddress", Kind::kWrongName, "127.0.0.1", true,
                    "ERROR - TLS: certificate name does not match 127.0.0.1."},
        FailureCase{"SelfSigned", Kind::kSelfSigned, "localhost", true,
                    "ERROR - TLS: certificate not trusted (self-signed certificate)."},
        FailureCase{"UnknownAuthorityWithoutCAFile", Kind::kValid, "localhost", false,
                    "ERROR - TLS: certificate not trusted (unable to get local issuer "
                    "certificate)."},
        FailureCase{"SelfSignedWithoutCAFile", Kind::kSelfSigned, "localhost", false,
                    "ERROR - TLS: certificate not trusted (self-signed certificate)."},
        FailureCase{"NotYetValid", Kind::kNotYetValid, "localhost", true,
                    "ERROR - TLS: certificate not yet valid."},
        FailureCase{"ForClientsOnly", Kind::kClientOnly, "localhost", true,
                    "ERROR - TLS: certificate rejected (unsuitable certificate purpose)."}),
    NameRowsBy(&FailureCase::name));

TEST_F(TlsStreamTest, PlainTextServerFailsTheHandshake) {
  server_.Send("+OK POP3 ready in clear\r\n");
  EXPECT_LT(Connect(), 0);
  EXPECT_EQ(error_.failure, TlsFailure::kHandshakeFailed);
  EXPECT_EQ(TlsErrorLine(error_).rfind("ERROR - TLS: handshake failed (", 0), 0u)
      << TlsErrorLine(error_);
}

TEST_F(TlsStreamTest, ServerThatDropsTheHandshakeFailsIt) {
  server_.CloseMidHandshake();
  EXPECT_LT(Connect(), 0);
  EXPECT_EQ(TlsErrorLine(error_),
            "ERROR - TLS: handshake failed (the server closed the connection).");
}

TEST_F(TlsStreamTest, SilentServerTimesTheHandshakeOut) {
  server_.Silence(milliseconds(3000));
  EXPECT_EQ(Connect("localhost", TrustingTheTestAuthority(), 1), -ETIMEDOUT);
  EXPECT_EQ(TlsErrorLine(error_), "ERROR - TLS: handshake failed (timed out).");
}

TEST_F(TlsStreamTest, UnreadableCAFileIsNamed) {
  TempDir folder;
  const std::string not_pem = folder.File("not-a-certificate.pem");
  WriteWholeFile(not_pem, "no certificate here\n");
  for (const std::string& path : {folder.File("missing.pem"), not_pem}) {
    std::unique_ptr<ByteStream> stream;
    ScriptedServer server;
    server.Start();
    std::unique_ptr<TcpStream> connection;
    ASSERT_EQ(TcpStream::Connect(server.host_text(), "0", connection), 1);
    stream = std::move(connection);
    EXPECT_LT(TlsStream::Start(stream, "localhost", {path}, DeadlineIn(5), error_), 0);
    EXPECT_EQ(error_.failure, TlsFailure::kAuthorityFileUnusable);
    EXPECT_EQ(TlsErrorLine(error_).rfind(
                  "ERROR - TLS: cannot read the certificates of CAFile " + path, 0),
              0u)
        << TlsErrorLine(error_);
  }
}

}  // namespace

}  // namespace quor
