// Malformed input of every kind: the parser never crashes, never hangs, and
// keeps no more than the message brings.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/line_feeder.h"
#include "message/message_parser.h"

namespace quor {

namespace {

size_t StoredBytes(const MailMessage& message) {
  size_t total = message.text.size();
  for (const MailAttachment& attachment : message.attachments) total += attachment.data.size();
  return total;
}

size_t ReservedBytes(const MailMessage& message) {
  size_t total = message.text.capacity();
  for (const MailAttachment& attachment : message.attachments) total += attachment.data.capacity();
  return total;
}

// A small deterministic generator, so a failing case can be replayed.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  size_t Below(size_t limit) { return Next() % limit; }

 private:
  uint32_t state_;
};

TEST(MessageParserRobustnessTest, CallsOutsideAParseAreHarmless) {
  MessageParser parser;
  parser.ParseLine("Subject: nobody listens\n", 24);
  parser.EndParse();
  MailMessage message;
  parser.BeginParse(message, 10);
  parser.ParseLine("", 0);
  parser.ParseLine("Subject: s\n", 11);
  parser.EndParse();
  parser.EndParse();
  parser.ParseLine("Subject: too late\n", 18);
  EXPECT_EQ(message.subject, "s");
}

TEST(MessageParserRobustnessTest, NothingCarriesOverToTheNextMessage) {
  MailMessage message;
  MessageParser parser;
  ParseWhole(parser, message,
             "Content-Type: multipart/alternative; boundary=abc\n\n"
             "--abc\nContent-Transfer-Encoding: quoted-printable\n\n=41\n");
  ASSERT_EQ(message.AttachmentCount(), 1);
  // No boundary, no quoted-printable and no alternative seen any more.
  ParseWhole(parser, message,
             "Subject: second\n\n=41\n--abc\nContent-Transfer-Encoding: 7bit\n\nrest\n");
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text, "=41\n--abc\nContent-Transfer-Encoding: 7bit\n\nrest\n");
  ParseWhole(parser, message,
             "Content-Type: multipart/alternative; boundary=x\n\npreamble\n--x--\n");
  EXPECT_EQ(message.text, "preamble\n");
  EXPECT_EQ(message.AttachmentCount(), 0);
}

TEST(MessageParserRobustnessTest, AnnouncedSizeIsOnlyAHint) {
  const std::string text = "Subject: s\n\nbody\n";
  for (size_t announced : {size_t{0}, size_t{3}, text.size(), size_t{1} << 40, SIZE_MAX}) {
    MailMessage message;
    MessageParser parser;
    parser.BeginParse(message, announced);
    EXPECT_LE(message.text.capacity(), MessageParser::kReserveLimit + 64) << announced;
    FeedLines(parser, text);
    parser.EndParse();
    EXPECT_EQ(message.text, "body\n") << announced;
    EXPECT_LT(message.text.capacity(), 8192u) << announced;
  }
}

TEST(MessageParserRobustnessTest, ManySmallPartsDoNotEachReserveTheMessage) {
  std::string text = "Content-Type: multipart/mixed; boundary=b\n\n";
  for (int i = 0; i < 2000; ++i) {
    text += "--b\nContent-Transfer-Encoding: base64\n\nTWFu\n";
    text += "--b\nContent-Transfer-Encoding: 7bit\n\nx\n";
  }
  text += "--b--\n";
  MailMessage message;
  MessageParser parser;
  parser.BeginParse(message, size_t{60} << 20);  // a server that overstates wildly
  FeedLines(parser, text);
  parser.EndParse();
  ASSERT_EQ(message.AttachmentCount(), 4000);
  EXPECT_EQ(message.Attachment(3998)->data, "Man");
  EXPECT_EQ(message.Attachment(3999)->data, "x\n");
  EXPECT_LT(ReservedBytes(message), 4000u * 64 + 8192);
}

TEST(MessageParserRobustnessTest, LargeBase64AttachmentKeepsLittleSpareRoom) {
  std::string encoded_line(76, 'A');  // decodes to zero bytes, 57 per line
  std::string text =
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: application/octet-stream; name=big.bin\n"
      "Content-Transfer-Encoding: base64\n\n";
  const int lines = 40000;  // about 2.2 MB decoded
  text.reserve(text.size() + lines * 77 + 16);
  for (int i = 0; i < lines; ++i) text += encoded_line + "\n";
  text += "--b--\n";
  for (size_t announced : {text.size(), size_t{0}, text.size() / 2}) {
    MailMessage message;
    MessageParser parser;
    parser.BeginParse(message, announced);
    FeedLines(parser, text);
    parser.EndParse();
    ASSERT_EQ(message.AttachmentCount(), 1);
    const MailAttachment& attachment = *message.Attachment(0);
    EXPECT_EQ(attachment.length(), size_t{lines} * 57) << announced;
    EXPECT_LE(attachment.data.capacity(), attachment.length() * 2) << announced;
    EXPECT_LT(message.text.capacity(), 8192u) << announced;
  }
}

TEST(MessageParserRobustnessTest, HugeLinesInEveryModeAreSafe) {
  const std::string huge(100 * 1024, 'Q');
  const std::string with_equals = std::string(50 * 1024, '=') + huge;
  const std::string starts = "Content-Type: multipart/mixed; boundary=b\n\n";
  const std::string messages[] = {
      huge + "\n\n" + huge + "\n",                                                 // header, body
      starts + "--b\nContent-Transfer-Encoding: base64\n\n" + huge + "\n--b--\n",  // Base64
      starts + "--b\nContent-Transfer-Encoding: quoted-printable\n\n" + with_equals + "\n",  // QP
      "Content-Type: multipart/mixed; boundary=" + huge + "\n\n--" + huge + "\nbody\n",  // boundary
      starts + "--b\nContent-Type: a/b; name=" + huge + "\nContent-Transfer-Encoding: 7bit\n\nx\n",
  };
  size_t index = 0;
  for (const std::string& text : messages) {
    MailMessage message;
    MessageParser parser;
    ParseWhole(parser, message, text);
    EXPECT_LE(StoredBytes(message), text.size()) << "message " << index;
    ++index;
  }
}

TEST(MessageParserRobustnessTest, BoundaryLongerThanAPieceOnlyMatchesWholeLines) {
  // The boundary header is cut at the first piece, so the boundary is what
  // fits there; a delimiter line still has to start a line to count.
  const std::string word(600, 'w');
  const std::string text = "Content-Type: multipart/mixed; boundary=" + word + "\n\n" + "x" +
                           std::string(511, 'y') + "--" + word + "\nbody\n";
  MailMessage message;
  MessageParser parser;
  ParseWhole(parser, message, text);
  EXPECT_EQ(message.text, "x" + std::string(511, 'y') + "--" + word + "\nbody\n");
}

TEST(MessageParserRobustnessTest, RandomMimeSoupStaysWithinTheMessageSize) {
  // Lines drawn from the shapes that steer the parser, mixed with binary junk,
  // then fed both whole and in tiny pieces.
  const std::vector<std::string> shapes = {
      "\n",
      "\r\n",
      "Content-Type: multipart/mixed; boundary=\"b\"\n",
      "Content-Type: multipart/alternative; boundary=b\n",
      "Content-Type: multipart/alternative; boundary=c\n",
      "Content-Type: text/plain; name=\"n\n",
      "Content-Disposition: attachment; filename=f\n",
      "Content-Transfer-Encoding: base64\n",
      "Content-Transfer-Encoding: quoted-printable\n",
      "Content-Transfer-Encoding: 7bit\n",
      "Content-Transfer-Encoding: x\n",
      "--b\n",
      "--b--\n",
      "--c\n",
      "TWFuTWFu\n",
      "=\n",
      "a=4=\n",
      "=4",
      "To: someone\n",
      "Subject: s\n",
  };
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    Random random(seed);
    std::string text;
    const size_t line_count = 1 + random.Below(200);
    for (size_t i = 0; i < line_count; ++i) {
      if (random.Below(5) == 0) {
        const size_t length = random.Below(1200);
        for (size_t j = 0; j < length; ++j) text.push_back(static_cast<char>(random.Next()));
        text.push_back('\n');
      } else {
        text += shapes[random.Below(shapes.size())];
      }
    }
    for (size_t piece : {kPopPieceSize, size_t{3}}) {
      MailMessage message;
      MessageParser parser;
      ParseWhole(parser, message, text, piece);
      // Each piece may gain a line feed it did not have; nothing else is added.
      const size_t pieces = text.size() / piece + line_count + 2;
      ASSERT_LE(StoredBytes(message), text.size() + pieces) << "seed " << seed;
      ASSERT_LE(message.recipients.value_or("").size(), MessageParser::kRecipientsLimit);
    }
  }
}

}  // namespace

}  // namespace quor
