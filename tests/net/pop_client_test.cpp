// The POP3 client: reply parsing on its own, the conversation against
// scripted (often hostile) servers, and real retrievals from Dovecot.

#include "net/pop_client.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "fixtures/dovecot_server.h"
#include "fixtures/line_feeder.h"
#include "fixtures/row_name.h"
#include "fixtures/scripted_server.h"
#include "fixtures/scripted_stream.h"
#include "fixtures/test_files.h"
#include "message/message_parser.h"

namespace quor {

namespace {

using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

// How a message travels in a RETR reply: CR LF line ends, a dot doubled at
// the start of a line, a lone dot at the end.
std::string OnTheWire(const std::string& text) {
  std::string wire;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find('\n', position);
    std::string line =
        text.substr(position, end == std::string::npos ? std::string::npos : end - position);
    position = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line[0] == '.') wire += '.';
    wire += line + "\r\n";
  }
  return wire + ".\r\n";
}

// ---- Reply parsing ----------------------------------------------------------

struct NumberCase {
  const char* reply;
  std::optional<long long> expected;
};

TEST(PopReplyParsingTest, StatCountIsTheFirstNumberAfterTheStatus) {
  const NumberCase cases[] = {
      {"+OK 2 320\r\n", 2},
      {"+OK 0 0\r\n", 0},
      {"+OK\r\n", std::nullopt},
      {"+OK \r\n", std::nullopt},
      {"+OK two 320\r\n", std::nullopt},
      {"+OK\t7\t1\r\n", 7},
      {"+OK -3 0\r\n", -3},
      {"+OK 12abc\r\n", 12},
      {"+OK 99999999999999999999999 1\r\n", LLONG_MAX},  // saturates instead of overflowing
      {"", std::nullopt},
  };
  for (const NumberCase& c : cases) EXPECT_EQ(StatCount(c.reply), c.expected) << c.reply;
}

TEST(PopReplyParsingTest, ListSizeIsTheSecondNumber) {
  const NumberCase cases[] = {
      {"+OK 1 2048\r\n", 2048},           {"+OK 1\r\n", std::nullopt},
      {"+OK 2048\r\n", std::nullopt},     {"+OK x 2048\r\n", std::nullopt},
      {"+OK 1 200000 extra\r\n", 200000}, {"+OK 1 -5\r\n", -5},
  };
  for (const NumberCase& c : cases) EXPECT_EQ(ListSize(c.reply), c.expected) << c.reply;
}

struct IdCase {
  const char* reply;
  std::optional<std::string> expected;
};

TEST(PopReplyParsingTest, UidlIdIsTheWordAfterTheNumber) {
  const IdCase cases[] = {
      {"+OK 1 000000016b16487c\r\n", "000000016b16487c"},
      {"+OK 3 abc def\r\n", "abc"},
      {"+OK 1\r\n", std::nullopt},
      {"+OK abc\r\n", std::nullopt},
      {"+OK 1    spaced\r\n", "spaced"},
  };
  for (const IdCase& c : cases) EXPECT_EQ(UidlId(c.reply, 255), c.expected) << c.reply;
}

TEST(PopReplyParsingTest, UidlIdIsCutAtTheLimit) {
  const std::string id(300, 'u');
  EXPECT_EQ(UidlId("+OK 1 " + id + "\r\n", 255), std::string(255, 'u'));
  EXPECT_EQ(UidlId("+OK 1 " + id + "\r\n", 0), "");
}

TEST(PopReplyParsingTest, UidlListingLineIsTheNumberAndTheWord) {
  using Entry = std::optional<std::pair<long long, std::string>>;
  EXPECT_EQ(UidlListingLine("1 000000016b16487c", 255), (Entry{{1, "000000016b16487c"}}));
  EXPECT_EQ(UidlListingLine("12   spaced tail", 255), (Entry{{12, "spaced"}}));
  EXPECT_EQ(UidlListingLine("3", 255), (Entry{{3, ""}}));
  EXPECT_EQ(UidlListingLine("x abc", 255), Entry{});
  EXPECT_EQ(UidlListingLine("4 " + std::string(300, 'u'), 255),
            (Entry{{4, std::string(255, 'u')}}));
}

TEST(PopReplyParsingTest, ValidUniqueIdsHoldOnlyPrintableAscii) {
  EXPECT_TRUE(IsValidUniqueId("000000016b16487c"));
  EXPECT_TRUE(IsValidUniqueId("!~"));
  for (std::string id : {std::string(), std::string("a\0b", 3), std::string("a b"),
                         std::string("a\x1b"), std::string("a\x7f"), std::string("caf\xe9")}) {
    EXPECT_FALSE(IsValidUniqueId(id)) << id;
  }
}

// ---- Conversations with scripted servers ------------------------------------

class PopClientScriptTest : public ::testing::Test {
 protected:
  static constexpr int kShortWait = 1;
  // Bytes without a line end that a server keeps sending: more than any
  // bound of the client.
  static constexpr size_t kEndless = size_t{20} << 20;

  // Greeting and a successful USER/PASS.
  StreamScript& LoggedIn() {
    return script_.Send("+OK ready\r\n")
        .Expect("USER ann\r\n")
        .Send("+OK\r\n")
        .Expect("PASS secret\r\n")
        .Send("+OK logged in\r\n");
  }

  // Opens the client on the script so far (the greeting is read).
  int Open() { return client_.Open(script_.Stream()); }

  // Opens and logs in.
  void ConnectAndLogIn() {
    ASSERT_EQ(Open(), 1);
    ASSERT_EQ(client_.Login("ann", "secret"), 1);
  }

  int Retrieve(int number) { return client_.RetrieveMessage(number, parser_); }

  // Every line the client wrote, line ends removed.
  Lines Sent() const { return script_.WrittenLines(); }

  StreamScript script_;
  PopClient client_{kShortWait};
  MailMessage message_;
  MessageParser parser_{message_};
};

TEST_F(PopClientScriptTest, LoginSendsUserThenPass) {
  LoggedIn().Expect("QUIT\r\n").Send("+OK bye\r\n");
  ConnectAndLogIn();
  EXPECT_EQ(client_.LastReply(), "+OK logged in\r\n");
  client_.Logout();
  EXPECT_EQ(client_.LastReply(), "+OK bye\r\n");
  EXPECT_EQ(Sent(), (Lines{"USER ann", "PASS secret", "QUIT"}));
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(script_.Errors(), Lines{});
}

TEST_F(PopClientScriptTest, RefusedPasswordGivesZeroAndTheRefusalLine) {
  script_.Send("+OK ready\r\n")
      .Expect("USER ann\r\n")
      .Send("+OK\r\n")
      .Expect("PASS wrong\r\n")
      .Send("-ERR invalid password\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.Login("ann", "wrong"), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR invalid password\r\n");
}

TEST_F(PopClientScriptTest, RefusedUserSendsNoPassword) {
  script_.Send("+OK ready\r\n").Expect("USER nobody\r\n").Send("-ERR who?\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.Login("nobody", "secret"), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR who?\r\n");
  EXPECT_EQ(Sent(), (Lines{"USER nobody"}));
}

TEST_F(PopClientScriptTest, LineBreakInCredentialsIsRefusedWithoutSending) {
  script_.Send("+OK ready\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.Login("ann\r\nDELE 1", "secret"), -EINVAL);
  EXPECT_EQ(client_.Login("ann", "secret\nDELE 1"), -EINVAL);
  EXPECT_EQ(Sent(), Lines{});
}

TEST_F(PopClientScriptTest, NegativeGreetingGivesZero) {
  script_.Send("-ERR too busy\r\n");
  EXPECT_EQ(Open(), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR too busy\r\n");
}

TEST_F(PopClientScriptTest, NoGreetingWithinTheReplyWaitGivesMinusOne) {
  script_.Silence();
  EXPECT_EQ(Open(), -1);
  // A greeting that came later would be taken for the next reply.
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(client_.LastReply(), "");
}

TEST_F(PopClientScriptTest, ServerThatClosesAtOnceGivesANegativeResult) {
  script_.Close();
  EXPECT_LT(Open(), 0);
  EXPECT_FALSE(client_.connected());
}

TEST_F(PopClientScriptTest, ConnectFailureIsPassedOn) {
  EXPECT_EQ(client_.Connect("127.0.0.1", std::to_string(FreeLoopbackPort())), -ECONNREFUSED);
  EXPECT_EQ(client_.Connect("no-such-host.invalid", "pop3"), -1);
}

TEST_F(PopClientScriptTest, SilenceInTheMiddleOfAReplyTimesOut) {
  script_.Send("+OK ready\r\n").Expect("USER ann\r\n").Send("+OK wai").Silence();
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.Login("ann", "secret"), -ETIMEDOUT);
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(client_.MessageCount(), -1);  // fails at once, nothing sent
}

TEST_F(PopClientScriptTest, SilenceInsteadOfAReplyClosesTheConversation) {
  LoggedIn().Expect("STAT\r\n").Silence();
  ConnectAndLogIn();
  EXPECT_EQ(client_.MessageCount(), -1);
  EXPECT_FALSE(client_.connected());
  std::string id;
  EXPECT_EQ(client_.UniqueId(1, id), -1);
  EXPECT_EQ(Sent(), (Lines{"USER ann", "PASS secret", "STAT"}));
}

TEST_F(PopClientScriptTest, OverlongReplyLineIsCutAndTheRestDropped) {
  const std::string greeting = "+OK " + std::string(1996, 'g');  // 2000 bytes before CR LF
  script_.Send(greeting + "\r\n")
      .Expect("USER ann\r\n")
      .Send("+OK\r\n")
      .Expect("PASS secret\r\n")
      .Send("+OK in\r\n");
  ASSERT_EQ(Open(), 1);
  EXPECT_EQ(client_.LastReply(), greeting.substr(0, 1023));
  // The rest of the long line must not be taken for the USER reply.
  EXPECT_EQ(client_.Login("ann", "secret"), 1);
  EXPECT_EQ(client_.LastReply(), "+OK in\r\n");
}

TEST_F(PopClientScriptTest, EndlessReplyLineIsGivenUpOn) {
  script_.Send("+OK " + std::string(kEndless, 'x'), LineReader::kReadAheadSize);
  EXPECT_EQ(Open(), -EMSGSIZE);
  EXPECT_FALSE(client_.connected());
}

// The same conversation, whatever pieces the server's bytes arrive in.
class PopClientSplitReplyTest : public PopClientScriptTest,
                                public ::testing::WithParamInterface<size_t> {};

TEST_P(PopClientSplitReplyTest, RepliesSplitAcrossReadsReadTheSame) {
  const size_t piece = GetParam();
  script_.Send("+OK ready\r\n", piece)
      .Expect("USER ann\r\n")
      .Send("+OK\r\n", piece)
      .Expect("PASS secret\r\n")
      .Send("+OK in\r\n", piece)
      .Expect("STAT\r\n")
      .Send("+OK 1 40\r\n", piece)
      .Expect("UIDL 1\r\n")
      .Send("+OK 1 id-1\r\n", piece)
      .Expect("LIST 1\r\n")
      .Send("+OK 1 40\r\n", piece)
      .Expect("RETR 1\r\n")
      .Send("+OK\r\n" + OnTheWire("Subject: split\n\n.dot\nbody\n"), piece)
      .Expect("QUIT\r\n")
      .Send("+OK bye\r\n", piece);
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(client_.Login("ann", "secret"), 1);
  EXPECT_EQ(client_.MessageCount(), 1);
  std::string id;
  EXPECT_EQ(client_.UniqueId(1, id), 1);
  EXPECT_EQ(id, "id-1");
  ASSERT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Subject(), "split");
  EXPECT_EQ(message_.Text(), ".dot\nbody\n");
  client_.Logout();
  EXPECT_EQ(client_.LastReply(), "+OK bye\r\n");
  EXPECT_EQ(script_.Written(),
            "USER ann\r\nPASS secret\r\nSTAT\r\nUIDL 1\r\nLIST 1\r\nRETR 1\r\nQUIT\r\n");
  EXPECT_EQ(script_.Errors(), Lines{});
  EXPECT_TRUE(script_.Finished());
}

INSTANTIATE_TEST_SUITE_P(Pieces, PopClientSplitReplyTest, ::testing::Values(1, 2, 3, 7, 512),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return "Of" + std::to_string(info.param) + "Bytes";
                         });

struct GarbageCase {
  const char* reply;
};

class PopClientGarbageTest : public PopClientScriptTest,
                             public ::testing::WithParamInterface<std::string> {};

TEST_P(PopClientGarbageTest, ReplyNotStartingWithPlusIsARefusal) {
  LoggedIn().Expect("STAT\r\n").Send(GetParam()).Expect("DELE 1\r\n").Send("+OK\r\n");
  ConnectAndLogIn();
  EXPECT_EQ(client_.MessageCount(), 0);
  EXPECT_EQ(client_.LastReply(), GetParam());
  EXPECT_EQ(client_.message_count(), 0);
  EXPECT_EQ(client_.DeleteMessage(1), 1);  // still in step
}

INSTANTIATE_TEST_SUITE_P(Replies, PopClientGarbageTest,
                         ::testing::Values(std::string("OK 2 320\r\n"), std::string("\r\n"),
                                           std::string(" +OK 2 320\r\n"),
                                           std::string("\x01\xff\x7f garbage\n"),
                                           std::string("-ERR 2 320\r\n"),
                                           std::string("\0+OK 2\r\n", 8)),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return RowName(info.index, info.param);
                         });

struct StatCase {
  const char* reply;
  int count;
};

class PopClientStatTest : public PopClientScriptTest,
                          public ::testing::WithParamInterface<StatCase> {};

TEST_P(PopClientStatTest, PositiveStatGivesItsCount) {
  LoggedIn().Expect("STAT\r\n").Send(GetParam().reply);
  ConnectAndLogIn();
  EXPECT_EQ(client_.MessageCount(), GetParam().count) << GetParam().reply;
  EXPECT_EQ(client_.message_count(), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(Replies, PopClientStatTest,
                         ::testing::Values(StatCase{"+OK 2 320\r\n", 2}, StatCase{"+OK\r\n", 0},
                                           StatCase{"+OK 0 0\r\n", 0},
                                           // A negative count would read as a network error.
                                           StatCase{"+OK -3 0\r\n", 0},
                                           StatCase{"+OK 99999999999 0\r\n", INT_MAX}),
                         NameRowsBy(&StatCase::reply));

TEST_F(PopClientScriptTest, UniqueIdListingFillsTheIdsOfTheMessagesItNames) {
  const std::string long_id(300, 'u');
  LoggedIn()
      .Expect("STAT\r\n")
      .Send("+OK 4 400\r\n")
      .Expect("UIDL\r\n")
      .Send("+OK unique-id listing follows\r\n1 first\r\n3 " + long_id +
            "\r\n9 beyond-the-count\r\nnot-a-line\r\n4\r\n2 second\n.\r\n");
  ConnectAndLogIn();
  ASSERT_EQ(client_.MessageCount(), 4);
  std::vector<std::string> ids = {"stale"};
  EXPECT_EQ(client_.UniqueIds(ids), 1);
  EXPECT_EQ(ids, (Lines{"first", "second", std::string(PopClient::kUniqueIdLimit, 'u'), ""}));
  EXPECT_TRUE(client_.connected());
}

TEST_F(PopClientScriptTest, UniqueIdListingThatIsRefusedGivesNoIdsAndAnEndlessOneIsGivenUp) {
  LoggedIn().Expect("STAT\r\n").Send("+OK 2 200\r\n").Expect("UIDL\r\n").Send("-ERR no\r\n");
  ConnectAndLogIn();
  ASSERT_EQ(client_.MessageCount(), 2);
  std::vector<std::string> ids = {"stale"};
  EXPECT_EQ(client_.UniqueIds(ids), 0);
  EXPECT_TRUE(ids.empty());

  std::string endless = "+OK\r\n";
  for (int i = 0; i < 1100; ++i) endless += "1 again\r\n";
  StreamScript flood;
  flood.Send("+OK ready\r\n").Expect("STAT\r\n").Send("+OK 2 200\r\n").Expect("UIDL\r\n");
  flood.Send(endless);
  PopClient client(kShortWait);
  ASSERT_EQ(client.Open(flood.Stream()), 1);
  ASSERT_EQ(client.MessageCount(), 2);
  EXPECT_EQ(client.UniqueIds(ids), -EMSGSIZE);
  EXPECT_FALSE(client.connected());
}

TEST_F(PopClientScriptTest, UniqueIdIsCutAndMissingIdGivesEmptyText) {
  const std::string long_id(300, 'u');
  LoggedIn()
      .Expect("UIDL 1\r\n")
      .Send("+OK 1 " + long_id + "\r\n")
      .Expect("UIDL 2\r\n")
      .Send("+OK 2\r\n")
      .Expect("UIDL 3\r\n")
      .Send("-ERR no such message\r\n");
  ConnectAndLogIn();
  std::string id = "stale";
  EXPECT_EQ(client_.UniqueId(1, id), 1);
  EXPECT_EQ(id, std::string(PopClient::kUniqueIdLimit, 'u'));
  id = "stale";
  EXPECT_EQ(client_.UniqueId(2, id), 1);
  EXPECT_EQ(id, "");
  id = "kept";
  EXPECT_EQ(client_.UniqueId(3, id), 0);
  EXPECT_EQ(id, "kept");
  EXPECT_EQ(client_.LastReply(), "-ERR no such message\r\n");
}

TEST_F(PopClientScriptTest, UniqueIdListingGivesTheIdOfEveryMessage) {
  LoggedIn()
      .Expect("STAT\r\n")
      .Send("+OK 3 300\r\n")
      .Expect("UIDL\r\n")
      .Send("+OK\r\n1 id-a\r\n3 id-c\r\n9 beyond-the-count\r\nnot a line\r\n2 id-b\r\n.\r\n")
      .Expect("UIDL\r\n")
      .Send("-ERR not supported\r\n");
  ConnectAndLogIn();
  ASSERT_EQ(client_.MessageCount(), 3);
  std::vector<std::string> ids = {"stale"};
  EXPECT_EQ(client_.UniqueIds(ids), 1);
  EXPECT_EQ(ids, (Lines{"id-a", "id-b", "id-c"}));
  EXPECT_EQ(client_.UniqueIds(ids), 0);
  EXPECT_EQ(ids, Lines{});
  EXPECT_TRUE(client_.connected());
  EXPECT_EQ(script_.Errors(), Lines{});
}

TEST_F(PopClientScriptTest, EndlessUniqueIdListingIsGivenUpOn) {
  std::string listing = "+OK\r\n";
  for (int i = 0; i < 1100; ++i) listing += "1 again\r\n";
  LoggedIn().Expect("STAT\r\n").Send("+OK 1 100\r\n").Expect("UIDL\r\n").Send(listing);
  ConnectAndLogIn();
  ASSERT_EQ(client_.MessageCount(), 1);
  std::vector<std::string> ids;
  EXPECT_EQ(client_.UniqueIds(ids), -EMSGSIZE);
  EXPECT_FALSE(client_.connected());
}

TEST_F(PopClientScriptTest, DeleteSendsDeleWithTheNumber) {
  LoggedIn()
      .Expect("DELE 3\r\n")
      .Send("+OK deleted\r\n")
      .Expect("DELE 4\r\n")
      .Send("-ERR gone\r\n");
  ConnectAndLogIn();
  EXPECT_EQ(client_.DeleteMessage(3), 1);
  EXPECT_EQ(client_.DeleteMessage(4), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR gone\r\n");
  EXPECT_EQ(script_.Errors(), Lines{});
}

// ---- Retrieval from scripted servers ----------------------------------------

TEST_F(PopClientScriptTest, MessageAboveTheSizeLimitIsNotFetched) {
  LoggedIn().Expect("LIST 1\r\n").Send("+OK 1 200000\r\n");
  ConnectAndLogIn();
  client_.set_size_limit(100000);
  EXPECT_EQ(Retrieve(1), 100);
  EXPECT_EQ(message_.Subject(), "[no subject]");
  EXPECT_EQ(message_.Text(), "");
  EXPECT_EQ(Sent(), (Lines{"USER ann", "PASS secret", "LIST 1"}));
}

struct SizeCase {
  long limit;
  const char* list_reply;
};

class PopClientSizeLimitTest : public PopClientScriptTest,
                               public ::testing::WithParamInterface<SizeCase> {};

TEST_P(PopClientSizeLimitTest, MessageWithinTheLimitIsFetched) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send(GetParam().list_reply)
      .Expect("RETR 1\r\n")
      .Send("+OK\r\n" + OnTheWire("Subject: fits\n\nbody\n"));
  ConnectAndLogIn();
  client_.set_size_limit(GetParam().limit);
  EXPECT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Subject(), "fits");
}

INSTANTIATE_TEST_SUITE_P(Limits, PopClientSizeLimitTest,
                         ::testing::Values(SizeCase{100000,
                                                    "+OK 1 100000\r\n"},     // equal is fetched
                                           SizeCase{0, "+OK 1 200000\r\n"},  // 0: no limit
                                           SizeCase{100, "+OK 1\r\n"},       // no size: 0
                                           SizeCase{100, "+OK 1 -500\r\n"},
                                           SizeCase{0, "+OK 1 99999999999999999999999\r\n"}),
                         NameRowsBy(&SizeCase::list_reply));

TEST_F(PopClientScriptTest, RefusedListOrRetrGivesZero) {
  LoggedIn()
      .Expect("LIST 7\r\n")
      .Send("-ERR no such message\r\n")
      .Expect("LIST 8\r\n")
      .Send("+OK 8 10\r\n")
      .Expect("RETR 8\r\n")
      .Send("-ERR locked\r\n");
  ConnectAndLogIn();
  EXPECT_EQ(Retrieve(7), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR no such message\r\n");
  EXPECT_EQ(Retrieve(8), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR locked\r\n");
}

TEST_F(PopClientScriptTest, LineEndsAreNormalisedAndStuffingRemoved) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 60\r\n")
      .Expect("RETR 1\r\n")
      .Send(
          "+OK\r\n"
          "Subject: dots\r\n"
          "\r\n"
          "..x\r\n"
          "bare line feed\n"
          "..\r\n"
          ". not the end\r\n"
          ".\r\n");
  ConnectAndLogIn();
  ASSERT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Subject(), "dots");
  EXPECT_EQ(message_.Text(), ".x\nbare line feed\n.\n not the end\n");
}

TEST_F(PopClientScriptTest, LongLinesArriveWholeWithOneLineFeed) {
  const std::string long_line(1500, 'a');
  // 511 characters put the CR last in a 512-byte piece.
  const std::string cr_at_piece_end(511, 'b');
  // The piece after the first 512 bytes is ".": part of the line, not the end.
  const std::string dot_after_piece = std::string(512, 'c') + ".";
  const std::string body = long_line + "\n" + cr_at_piece_end + "\n" + dot_after_piece + "\n" +
                           ".stuffed after long lines\nlast\n";
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 3000\r\n")
      .Expect("RETR 1\r\n")
      .Send("+OK\r\n" + OnTheWire("Subject: long\n\n" + body));
  ConnectAndLogIn();
  ASSERT_EQ(Retrieve(1), 1);
  // Stuffing is removed from the line after the long lines, which starts a line.
  EXPECT_EQ(message_.Text(), long_line + "\n" + cr_at_piece_end + "\n" + dot_after_piece + "\n" +
                                 ".stuffed after long lines\nlast\n");
}

TEST_F(PopClientScriptTest, ConnectionLostMidMessageKeepsWhatCame) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 500\r\n")
      .Expect("RETR 1\r\n")
      .Send("+OK\r\nSubject: cut short\r\n\r\nfirst line\r\nhalf a li")
      .Close();
  ConnectAndLogIn();
  EXPECT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Subject(), "cut short");
  EXPECT_EQ(message_.Text(), "first line\n");
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(Retrieve(2), -1);
}

TEST_F(PopClientScriptTest, SilenceMidMessageEndsTheRetrieval) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 500\r\n")
      .Expect("RETR 1\r\n")
      .Send("+OK\r\nSubject: stalled\r\n\r\nfirst line\r\n")
      .Silence();
  ConnectAndLogIn();
  EXPECT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Text(), "first line\n");
  EXPECT_FALSE(client_.connected());
}

TEST_F(PopClientScriptTest, LinesAfterTheEndOfTheMessageAreDropped) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 40\r\n")
      .Expect("RETR 1\r\n")
      .Send("+OK\r\n" + OnTheWire("Subject: one\n\nbody\n") + "stray one\r\n+OK stray two\r\n")
      .Expect("DELE 1\r\n")
      .Send("-ERR not deleted\r\n");
  ConnectAndLogIn();
  ASSERT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Text(), "body\n");
  EXPECT_TRUE(client_.connected());
  EXPECT_EQ(client_.DeleteMessage(1), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR not deleted\r\n");
}

TEST_F(PopClientScriptTest, EndlessDataAfterTheMessageIsGivenUpOn) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 40\r\n")
      .Expect("RETR 1\r\n")
      .Send("+OK\r\n" + OnTheWire("Subject: flood\n\nbody\n"))
      .Send(std::string(kEndless, 'x'), LineReader::kReadAheadSize);
  ConnectAndLogIn();
  EXPECT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Subject(), "flood");
  // Dropped at once if it has arrived by the end of the message, otherwise
  // refused as an endless reply line: never taken for a reply, never a hang.
  EXPECT_LT(client_.DeleteMessage(1), 0);
  EXPECT_FALSE(client_.connected());
}

TEST_F(PopClientScriptTest, EndlessMessageStopsInsteadOfFillingMemory) {
  LoggedIn()
      .Expect("LIST 1\r\n")
      .Send("+OK 1 100\r\n")
      .Expect("RETR 1\r\n")
      .Send("+OK\r\nSubject: endless\r\n\r\n")
      .Send(std::string(kEndless, 'x'), LineReader::kReadAheadSize);
  ConnectAndLogIn();
  EXPECT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Subject(), "endless");
  EXPECT_FALSE(client_.connected());
  // Twice the announced size plus a fixed allowance, never the whole flood.
  EXPECT_LT(message_.Text().size(), size_t{17} * 1024 * 1024);
  EXPECT_GT(message_.Text().size(), size_t{15} * 1024 * 1024);
}

TEST(PopClientWaitTest, WellBehavedServerCostsNoWaitAfterAMessage) {
  ScriptedServer server;
  server.Send("+OK ready\r\n")
      .Expect("LIST 1")
      .Send("+OK 1 40\r\n")
      .Expect("RETR 1")
      .Send("+OK\r\n" + OnTheWire("Subject: quick\n\nbody\n"));
  server.Start();
  PopClient client;  // the full reply wait
  ASSERT_EQ(client.Connect(server.host_text(), "pop3"), 1);
  MailMessage message;
  MessageParser parser(message);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.RetrieveMessage(1, parser), 1);
  // Waiting a second for stray lines after every message would show here.
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(900));
}

// ---- Servers that drip, against the real clock ------------------------------
// Each piece comes well within the reply wait, so only a bound on the whole
// reply or the whole retrieval ends the wait.

TEST(PopClientDripTest, DrippingStatusLineEndsAtTheReplyWait) {
  ScriptedServer server;
  server.Drip("+OK " + std::string(60, 'g') + "\r\n", 1, milliseconds(100));
  server.Start();
  PopClient client(1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Connect("127.0.0.1", server.port_text()), -ETIMEDOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_FALSE(client.connected());
}

struct DripCase {
  std::string label;
  size_t body_bytes;
  size_t piece;
  int pause_milliseconds;
  bool whole;  // the retrieval keeps the pace and gets the whole message
};

class PopClientRetrievalPaceTest : public ::testing::TestWithParam<DripCase> {};

TEST_P(PopClientRetrievalPaceTest, RetrievalMustKeepTheMinimumAverage) {
  const DripCase& c = GetParam();
  const std::string body(c.body_bytes, 'b');
  ScriptedServer server;
  server.Send("+OK ready\r\n")
      .Expect("LIST 1")
      .Send("+OK 1 " + std::to_string(c.body_bytes) + "\r\n")
      .Expect("RETR 1")
      .Send("+OK\r\n")
      .Drip("Subject: drip\r\n\r\n" + body + "\r\n.\r\n", c.piece,
            milliseconds(c.pause_milliseconds));
  server.Start();
  // Every piece comes within the reply wait; the pace is what is tested.
  PopClient client(2);
  client.set_transfer_pace({.grace_seconds = 1, .minimum_bytes_per_second = 1000});
  ASSERT_EQ(client.Connect("127.0.0.1", server.port_text()), 1);
  MailMessage message;
  MessageParser parser(message);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.RetrieveMessage(1, parser), 1);
  EXPECT_EQ(message.Subject(), "drip");
  EXPECT_EQ(message.Text() == body + "\n", c.whole) << message.Text().size();
  EXPECT_EQ(client.connected(), c.whole);
  // The drip would take 10 s; it is given up on when the grace ends.
  if (!c.whole) {
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PopClientRetrievalPaceTest,
    ::testing::Values(DripCase{"a byte every 50 ms is given up on", 200, 1, 50, false},
                      DripCase{"slow but steady is read to the end", 6000, 150, 50, true}),
    NameRowsBy(&DripCase::label));

TEST_F(PopClientScriptTest, RetrievalReplacesThePreviousMessage) {
  LoggedIn()
      .Expect("LIST 1")
      .Send("+OK 1 40\r\n")
      .Expect("RETR 1")
      .Send("+OK\r\n" + OnTheWire("Subject: first\nDate: Mon\n\nbody one\n"))
      .Expect("LIST 2")
      .Send("+OK 2 40\r\n")
      .Expect("RETR 2")
      .Send("+OK\r\n" + OnTheWire("Subject: second\n\nbody two\n"));
  ConnectAndLogIn();
  ASSERT_EQ(Retrieve(1), 1);
  EXPECT_EQ(message_.Date(), "Mon");
  ASSERT_EQ(Retrieve(2), 1);
  EXPECT_EQ(message_.Subject(), "second");
  EXPECT_EQ(message_.Date(), "[unknown]");
  EXPECT_EQ(message_.Text(), "body two\n");
}

// ---- Against a real POP3 server ---------------------------------------------

std::string SampleMessage(const std::string& name) {
  return ReadWholeFile(std::string(QUOR_FIXTURES_DIR) + "/mail/" + name);
}

class PopClientDovecotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.AddUser("ann", "secret");
    server_.AddUser("bob", "hunter2");
  }

  // Connected and logged in as ann.
  void LogIn(PopClient& client) {
    ASSERT_EQ(client.Connect(server_.host_text(), "pop3"), 1) << server_.LogText();
    ASSERT_EQ(client.Login("ann", "secret"), 1) << client.LastReply() << server_.LogText();
  }

  int Retrieve(int number) { return client_.RetrieveMessage(number, parser_); }

  DovecotServer server_;
  PopClient client_;
  MailMessage message_;
  MessageParser parser_{message_};
};

TEST_F(PopClientDovecotTest, LoginWithGoodAndBadPassword) {
  ASSERT_EQ(client_.Connect(server_.host_text(), "pop3"), 1);
  EXPECT_EQ(client_.LastReply().substr(0, 3), "+OK");
  EXPECT_EQ(client_.Login("ann", "wrong"), 0);
  EXPECT_EQ(client_.LastReply(), "-ERR [AUTH] Authentication failed.\r\n");
  EXPECT_EQ(client_.Login("ann", "secret"), 1);
  client_.Logout();
  EXPECT_FALSE(client_.connected());
}

TEST_F(PopClientDovecotTest, StatAndUniqueIdsOfEveryMessage) {
  for (const char* subject : {"one", "two", "three"}) {
    server_.Deliver("ann", std::string("Subject: ") + subject + "\n\nbody\n");
  }
  server_.Deliver("bob", "Subject: other mailbox\n\nbody\n");
  LogIn(client_);
  EXPECT_EQ(client_.MessageCount(), 3);
  std::set<std::string> ids;
  for (int number = 1; number <= 3; ++number) {
    std::string id;
    ASSERT_EQ(client_.UniqueId(number, id), 1);
    EXPECT_FALSE(id.empty());
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 3u);
  std::string id = "unchanged";
  EXPECT_EQ(client_.UniqueId(4, id), 0);
  EXPECT_EQ(id, "unchanged");
  ASSERT_EQ(Retrieve(2), 1);
  EXPECT_EQ(message_.Subject(), "two");  // delivery order is message order
}

TEST_F(PopClientDovecotTest, OneListingGivesTheSameIdsAsOneByOne) {
  for (const char* subject : {"one", "two", "three"}) {
    server_.Deliver("ann", std::string("Subject: ") + subject + "\n\nbody\n");
  }
  LogIn(client_);
  ASSERT_EQ(client_.MessageCount(), 3);
  std::vector<std::string> listed;
  ASSERT_EQ(client_.UniqueIds(listed), 1);
  ASSERT_EQ(listed.size(), 3u);
  for (int number = 1; number <= 3; ++number) {
    std::string id;
    ASSERT_EQ(client_.UniqueId(number, id), 1);
    EXPECT_EQ(listed[static_cast<size_t>(number - 1)], id);
  }
}

TEST_F(PopClientDovecotTest, EmptyMailboxCountsZero) {
  LogIn(client_);
  EXPECT_EQ(client_.MessageCount(), 0);
  EXPECT_EQ(client_.LastReply(), "+OK 0 0\r\n");
}

// Each sample, retrieved over POP3, must give exactly what the parser makes of
// the file itself (the transport adds and loses nothing), and what makes the
// sample special must be there.
struct SampleCase {
  const char* file;
  const char* subject;
  int attachments;
  // Expected in the last attachment, or in the text when there is none.
  std::string fragment;
};

class PopClientSampleTest : public PopClientDovecotTest,
                            public ::testing::WithParamInterface<SampleCase> {};

TEST_P(PopClientSampleTest, RetrievedMessageEqualsTheParsedFile) {
  const SampleCase& sample = GetParam();
  const std::string text = SampleMessage(sample.file);
  ASSERT_FALSE(text.empty()) << sample.file;
  server_.Deliver("ann", text);
  LogIn(client_);
  ASSERT_EQ(client_.MessageCount(), 1);
  ASSERT_EQ(Retrieve(1), 1);
  const MailMessage& got = message_;

  EXPECT_EQ(got.Subject(), sample.subject);
  ASSERT_EQ(got.AttachmentCount(), sample.attachments);
  const std::string_view where =
      sample.attachments > 0 ? got.Attachment(sample.attachments - 1)->data : got.Text();
  EXPECT_NE(where.find(sample.fragment), std::string_view::npos) << where;

  MailMessage expected;
  MessageParser parser;
  ParseWhole(parser, expected, text);
  EXPECT_EQ(got.subject, expected.subject);
  EXPECT_EQ(got.recipients, expected.recipients);
  EXPECT_EQ(got.date, expected.date);
  EXPECT_EQ(got.from, expected.from);
  EXPECT_EQ(got.reply_to, expected.reply_to);
  EXPECT_EQ(got.text, expected.text);
  ASSERT_EQ(got.AttachmentCount(), expected.AttachmentCount());
  for (int n = 0; n < got.AttachmentCount(); ++n) {
    EXPECT_EQ(got.Attachment(n)->name, expected.Attachment(n)->name) << n;
    EXPECT_EQ(got.Attachment(n)->data, expected.Attachment(n)->data) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, PopClientSampleTest,
    ::testing::Values(
        SampleCase{"plain.eml", "Order 4711 shipped", 0, "\nTracking number: ZX-99-1234\n"},
        // Base64 picture; the closing delimiter is the last line before the dot.
        SampleCase{"mixed_gif.eml", "Picture attached", 2, "GIF89a"},
        SampleCase{"alternative.eml", "Weekly news", 2,
                   "<p style=\"color:red\">Weekly news: the office is closed on Friday.</p>"},
        SampleCase{"quoted_printable.eml", "=?iso-8859-1?Q?Caf=E9?= menu", 0, "Caf\xE9 = okdone\n"},
        SampleCase{"dot_lines.eml", "Lines with dots", 0,
                   "dots.\n.hidden\n..two dots\n.\nThe line above held a single dot.\n"}),
    NameRowsBy(&SampleCase::file));

TEST_F(PopClientDovecotTest, PictureArrivesByteForByte) {
  server_.Deliver("ann", SampleMessage("mixed_gif.eml"));
  LogIn(client_);
  ASSERT_EQ(Retrieve(1), 1);
  ASSERT_EQ(message_.AttachmentCount(), 2);
  EXPECT_EQ(message_.Attachment(1)->name, "a.gif");
  EXPECT_EQ(message_.Attachment(1)->data, SampleMessage("a.gif"));
}

TEST_F(PopClientDovecotTest, MessageAboveTheSizeLimitIsNeverRetrieved) {
  server_.Deliver("ann", "Subject: big\n\n" + std::string(200, 'x') + "\n");
  server_.Deliver("ann", "Subject: small\n\nx\n");
  LogIn(client_);
  client_.set_size_limit(100);
  EXPECT_EQ(Retrieve(1), 100);
  EXPECT_EQ(message_.Subject(), "[no subject]");
  EXPECT_EQ(Retrieve(2), 1);
  EXPECT_EQ(message_.Subject(), "small");
  client_.Logout();
  // The server counts what it sent: one retrieval, of the small message.
  EXPECT_TRUE(WaitUntil([&] { return server_.LogText().find("retr=1/") != std::string::npos; }))
      << server_.LogText();
}

TEST_F(PopClientDovecotTest, DeleteThenQuitRemovesTheMessage) {
  server_.Deliver("ann", "Subject: keep\n\nx\n");
  server_.Deliver("ann", "Subject: remove\n\nx\n");
  LogIn(client_);
  ASSERT_EQ(client_.MessageCount(), 2);
  EXPECT_EQ(client_.DeleteMessage(2), 1);
  EXPECT_EQ(server_.Count("ann"), 2);  // POP3 deletes only at QUIT
  client_.Logout();
  EXPECT_TRUE(WaitUntil([&] { return server_.Count("ann") == 1; }));

  PopClient again;
  LogIn(again);
  EXPECT_EQ(again.MessageCount(), 1);
  ASSERT_EQ(again.RetrieveMessage(1, parser_), 1);
  EXPECT_EQ(message_.Subject(), "keep");
}

TEST_F(PopClientDovecotTest, MailboxesOfSeveralUsersStayApart) {
  server_.Deliver("ann", "Subject: for ann\n\nx\n");
  server_.Deliver("bob", "Subject: for bob\n\nx\n");
  server_.Deliver("bob", "Subject: for bob too\n\nx\n");
  PopClient bob;
  ASSERT_EQ(bob.Connect(server_.host_text(), "pop3"), 1);
  ASSERT_EQ(bob.Login("bob", "hunter2"), 1);
  EXPECT_EQ(bob.MessageCount(), 2);
  LogIn(client_);
  EXPECT_EQ(client_.MessageCount(), 1);
  EXPECT_EQ(server_.Count("bob"), 2);
  server_.DeleteAll("bob");
  EXPECT_EQ(server_.Count("bob"), 0);
}

}  // namespace

}  // namespace quor
