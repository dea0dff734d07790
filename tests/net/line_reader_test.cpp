// Reading lines through the read-ahead buffer, against scripted streams.

#include "net/line_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/scripted_stream.h"

namespace quor {

namespace {

class LineReaderTest : public ::testing::Test {
 protected:
  void Open() {
    stream_ = script_.Stream();
    reader_.Attach(stream_.get());
  }
  std::string ReadLine(size_t maximum) {
    std::string buffer(maximum, '\0');
    last_count_ = reader_.ReadLine(buffer.data(), maximum, DeadlineIn(5));
    return last_count_ > 0 ? buffer.substr(0, static_cast<size_t>(last_count_)) : std::string();
  }

  StreamScript script_;
  std::unique_ptr<ByteStream> stream_;
  LineReader reader_;
  int last_count_ = 0;
};

TEST_F(LineReaderTest, LongLineComesInPiecesOfTheMaximum) {
  script_.Send(std::string(2000, 'x') + "\r\n", 300);
  Open();
  EXPECT_EQ(ReadLine(1023), std::string(1023, 'x'));
  EXPECT_EQ(last_count_, 1023);
  EXPECT_EQ(ReadLine(1023), std::string(2000 - 1023, 'x') + "\r\n");
  EXPECT_EQ(last_count_, 2002 - 1023);
}

TEST_F(LineReaderTest, PeerClosingMidLineGivesZero) {
  script_.Send("abc").Close();
  Open();
  EXPECT_EQ(ReadLine(1023), "");
  EXPECT_EQ(last_count_, 0);
  EXPECT_EQ(ReadLine(1023), "");  // and stays closed
  EXPECT_EQ(last_count_, 0);
}

// Replies read out of turn go back in front of what was read ahead, and the
// stream's later bytes follow them; a replay larger than the read-ahead
// buffer is read whole.
TEST_F(LineReaderTest, ReplayedBytesComeFirstThenTheRest) {
  script_.Send("first\nsecond\n").Send("third\n");
  Open();
  EXPECT_EQ(ReadLine(100), "first\n");
  const std::string large(LineReader::kReadAheadSize + 10, 'x');
  std::string replayed = "again\n" + large + "\n";
  reader_.Replay(std::vector<char>(replayed.begin(), replayed.end()));
  EXPECT_EQ(ReadLine(100), "again\n");
  std::string long_line;
  while (long_line.empty() || long_line.back() != '\n') long_line += ReadLine(4096);
  EXPECT_EQ(long_line, large + "\n");
  EXPECT_EQ(ReadLine(100), "second\n");
  EXPECT_EQ(ReadLine(100), "third\n");
}

TEST_F(LineReaderTest, LineSentInSeveralPartsIsJoined) {
  script_.Send("ab").Send("c\r").Send("\nd\n", 1);
  Open();
  EXPECT_EQ(ReadLine(100), "abc\r\n");
  EXPECT_EQ(ReadLine(100), "d\n");
}

TEST_F(LineReaderTest, LineExactlyAsLongAsTheMaximumIncludesItsTerminator) {
  script_.Send("abcd\nef\n");
  Open();
  EXPECT_EQ(ReadLine(5), "abcd\n");
  EXPECT_EQ(last_count_, 5);
  EXPECT_EQ(ReadLine(5), "ef\n");
}

TEST_F(LineReaderTest, ZeroMaximumReadsNothing) {
  script_.Send("abc\n");
  Open();
  char byte = '?';
  EXPECT_EQ(reader_.ReadLine(&byte, 0, DeadlineIn(5)), 0);
  EXPECT_EQ(byte, '?');
  EXPECT_EQ(ReadLine(10), "abc\n");
}

TEST_F(LineReaderTest, SilenceMidLineEndsAtTheDeadline) {
  script_.Send("+OK part").Silence();
  Open();
  EXPECT_EQ(ReadLine(100), "");
  EXPECT_EQ(last_count_, -ETIMEDOUT);
}

TEST_F(LineReaderTest, BytesReadAheadAreHandedOutFirst) {
  script_.Send("line\r\nrest of the data");
  Open();
  EXPECT_EQ(ReadLine(100), "line\r\n");
  EXPECT_EQ(reader_.buffered(), 16u);
  EXPECT_TRUE(reader_.HasInput());
  char received[64] = {};
  ASSERT_EQ(reader_.ReadAvailable(received, 7), 7);
  EXPECT_EQ(std::string(received, 7), "rest of");
  EXPECT_EQ(ReadLine(100), "");  // the rest never ends its line
  EXPECT_EQ(last_count_, -ETIMEDOUT);
}

TEST_F(LineReaderTest, WaitSeesBufferedBytesAndTimesOutWithout) {
  script_.Send("one\r\ntwo\r\n");
  Open();
  EXPECT_EQ(reader_.WaitForInput(DeadlineIn(5)), 1);
  EXPECT_EQ(ReadLine(100), "one\r\n");
  EXPECT_EQ(reader_.WaitForInput(Clock::now()), 1);  // the second line is read ahead
  EXPECT_EQ(ReadLine(100), "two\r\n");
  EXPECT_EQ(reader_.WaitForInput(DeadlineIn(5)), 0);
}

// Bytes read ahead from one stream must never pass for bytes of the stream
// that replaces it (a TLS session started on a connection, for one).
TEST_F(LineReaderTest, AttachingAnotherStreamDropsWhatWasReadAhead) {
  script_.Send("one\ninjected\n");
  Open();
  EXPECT_EQ(ReadLine(100), "one\n");
  StreamScript next;
  next.Send("two\n");
  std::unique_ptr<ByteStream> stream = next.Stream();
  EXPECT_EQ(reader_.Attach(stream.get()), 9u);
  EXPECT_EQ(ReadLine(100), "two\n");
}

TEST_F(LineReaderTest, ReplyLineKeepsItsStartAndDropsTheRest) {
  script_.Send(std::string(3000, 'a') + "\r\nnext\r\n", 100);
  Open();
  std::string line;
  EXPECT_EQ(reader_.ReadReplyLine(line, 10, 64 * 1024, DeadlineIn(5)), 1);
  EXPECT_EQ(line, std::string(10, 'a'));
  EXPECT_EQ(reader_.ReadReplyLine(line, 10, 64 * 1024, DeadlineIn(5)), 1);
  EXPECT_EQ(line, "next\r\n");
}

TEST_F(LineReaderTest, ReplyLineResults) {
  struct Case {
    const char* name;
    StreamScript script;
    int expected;
  };
  Case cases[] = {
      {"silent", StreamScript().Silence(), -1},
      {"closed", StreamScript().Close(), -1},
      {"silent mid-line", StreamScript().Send("+OK wai").Silence(), -ETIMEDOUT},
      {"endless", StreamScript().Send(std::string(100000, 'x'), 4096), -EMSGSIZE},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ByteStream> stream = c.script.Stream();
    LineReader reader;
    reader.Attach(stream.get());
    std::string line;
    EXPECT_EQ(reader.ReadReplyLine(line, 1023, 64 * 1024, DeadlineIn(5)), c.expected);
  }
}

}  // namespace

}  // namespace quor
