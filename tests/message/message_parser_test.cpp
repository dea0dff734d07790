// Header lines and single-part bodies: what the parser keeps from each line.

#include "message/message_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "fixtures/line_feeder.h"

namespace quor {

namespace {

// ---- header lines ---------------------------------------------------------

struct SubjectCase {
  const char* line;
  std::optional<std::string> subject;
};

TEST(MessageParserHeaderTest, PrefixesIgnoreLetterCaseButNeedTheirSpace) {
  const SubjectCase cases[] = {
      {"Subject: Hello", "Hello"},        {"subject: Hello", "Hello"},
      {"SUBJECT: Hello", "Hello"},        {"Subject: ", ""},  // present but empty
      {"Subject:Hello", std::nullopt},    {"Subject:", std::nullopt},
      {"X-Subject: Hello", std::nullopt}, {" Subject: Hello", std::nullopt},
  };
  for (const SubjectCase& c : cases) {
    const MailMessage message = Parse(std::string(c.line) + "\n\nbody\n");
    EXPECT_EQ(message.subject, c.subject) << c.line;
  }
}

TEST(MessageParserHeaderTest, EmptySubjectIsNotTheNoSubjectPlaceholder) {
  EXPECT_EQ(Parse("Subject: \n\n").Subject(), "");
  EXPECT_EQ(Parse("From: a\n\n").Subject(), "[no subject]");
}

TEST(MessageParserHeaderTest, ValuesRunToTheLineEndWithoutIt) {
  const MailMessage message = Parse(
      "Date: Tue, 14 May 2024 09:30:00 +0200\nFrom: Ann <ann@example.org>\n"
      "Reply-To: orders@example.org\nSubject: spaces kept  \n\n");
  EXPECT_EQ(message.Date(), "Tue, 14 May 2024 09:30:00 +0200");
  EXPECT_EQ(message.from, "Ann <ann@example.org>");
  EXPECT_EQ(message.reply_to, "orders@example.org");
  EXPECT_EQ(message.subject, "spaces kept  ");
}

struct RecipientCase {
  const char* headers;
  std::optional<std::string> recipients;
};

TEST(MessageParserHeaderTest, JoinsToAndCcValuesWithAComma) {
  const RecipientCase cases[] = {
      {"To: ann\nCc: bob\n", "ann,bob"},
      {"TO: a\ncc: b\nTo: c\n", "a,b,c"},
      {"Cc: bob\nTo: ann\n", "bob,ann"},
      {"To: \nCc: bob\n", ",bob"},
      {"Bcc: hidden\nX-To: other\n", std::nullopt},
  };
  for (const RecipientCase& c : cases) {
    const MailMessage message = Parse(std::string(c.headers) + "\n");
    EXPECT_EQ(message.recipients, c.recipients) << c.headers;
  }
}

TEST(MessageParserHeaderTest, JoinedRecipientsAreCutAt1023Characters) {
  std::string headers;
  std::string joined;
  for (int i = 0; i < 40; ++i) {
    const std::string address =
        "recipient" + std::to_string(i) + "@a-rather-long-domain.example.org";
    headers += "To: " + address + "\n";
    joined += (i == 0 ? "" : ",") + address;
  }
  ASSERT_GT(joined.size(), MessageParser::kRecipientsLimit);
  const MailMessage message = Parse(headers + "\n");
  ASSERT_TRUE(message.recipients);
  EXPECT_EQ(*message.recipients, joined.substr(0, MessageParser::kRecipientsLimit));
}

TEST(MessageParserHeaderTest, ASingleHugeRecipientLineIsCutToo) {
  // Fed line by line as it stands (not through the 512-byte reads).
  MailMessage message;
  MessageParser parser;
  parser.BeginParse(message, 0);
  const std::string line = "To: " + std::string(5000, 'x') + "\n";
  parser.ParseLine(line.data(), line.size());
  parser.ParseLine("\n", 1);
  parser.EndParse();
  EXPECT_EQ(message.Recipient(), std::string(MessageParser::kRecipientsLimit, 'x'));
}

TEST(MessageParserHeaderTest, LaterValuesReplaceEarlierOnes) {
  const MailMessage message = Parse(
      "Subject: first\nDate: d1\nFrom: f1\nReply-To: r1\n"
      "Subject: second\nDate: d2\nFrom: f2\nReply-To: r2\n\n");
  EXPECT_EQ(message.subject, "second");
  EXPECT_EQ(message.date, "d2");
  EXPECT_EQ(message.from, "f2");
  EXPECT_EQ(message.reply_to, "r2");
}

TEST(MessageParserHeaderTest, PartHeaderBlocksPassThroughTheSameTable) {
  const MailMessage message = Parse(
      "Subject: outer\nContent-Type: multipart/mixed; boundary=b\n\n"
      "--b\nSubject: inner\nCc: part-cc\n\npart text\n--b--\n");
  EXPECT_EQ(message.subject, "inner");
  EXPECT_EQ(message.recipients, "part-cc");
}

TEST(MessageParserHeaderTest, FoldedLinesAreNotJoined) {
  const MailMessage message = Parse("Subject: first half\n second half\nTo: ann\n\tbob\n\nbody\n");
  EXPECT_EQ(message.subject, "first half");
  EXPECT_EQ(message.recipients, "ann");
  EXPECT_EQ(message.text, "body\n");
}

TEST(MessageParserHeaderTest, HeaderLinesAreNeverStored) {
  const MailMessage message =
      Parse("Subject: s\nX-Mailer: m\nMIME-Version: 1.0\n\nline 1\n\nline 3\n");
  EXPECT_EQ(message.text, "line 1\n\nline 3\n");
}

TEST(MessageParserHeaderTest, CarriageReturnLineEndsAreAccepted) {
  MailMessage message;
  MessageParser parser;
  parser.BeginParse(message, 100);
  for (const char* line : {"Subject: Hi\r\n", "\r\n", "body\r\n"}) {
    parser.ParseLine(line, std::strlen(line));
  }
  parser.EndParse();
  EXPECT_EQ(message.subject, "Hi");
  EXPECT_EQ(message.text, "body\n");
}

TEST(MessageParserHeaderTest, OnlyTheFirstPieceOfALongHeaderLineCounts) {
  const std::string long_to = "To: " + std::string(600, 'a') + "\n";
  const MailMessage message = Parse(long_to + "Subject: after\n\nbody\n");
  EXPECT_EQ(message.recipients, std::string(kPopPieceSize - 4, 'a'));
  EXPECT_EQ(message.subject, "after");
}

TEST(MessageParserHeaderTest, LineFeedEndingAFullPieceIsNotTheEndOfTheHeaders) {
  // 512 bytes of header line: its line feed arrives alone as the next piece
  // and must not be taken for the empty line that ends the block.
  const std::string header = "X-Long: " + std::string(kPopPieceSize - 8, 'h') + "\n";
  const MailMessage message = Parse(header + "Subject: after\n\nbody\n");
  EXPECT_EQ(message.subject, "after");
  EXPECT_EQ(message.text, "body\n");
}

TEST(MessageParserHeaderTest, HeaderSectionThatNeverEndsStoresNoText) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "X-Header-" + std::to_string(i) + ": value\n";
  text += "Subject: last";
  const MailMessage message = Parse(text);
  EXPECT_EQ(message.subject, "last");
  EXPECT_EQ(message.text, "");
  EXPECT_EQ(message.AttachmentCount(), 0);
}

TEST(MessageParserHeaderTest, MissingHeadersGivePlaceholdersAfterAMessageThatHadThem) {
  MailMessage message;
  MessageParser parser;
  ParseWhole(parser, message, "Date: d\nFrom: f\nTo: t\nSubject: s\n\n");
  ASSERT_EQ(message.Date(), "d");
  ParseWhole(parser, message, "X-Other: o\n\nbody\n");
  EXPECT_EQ(message.Date(), "[unknown]");
  EXPECT_EQ(message.Sender(), "[unknown]");
  EXPECT_EQ(message.ReplyAddress(), "[unknown]");
  EXPECT_EQ(message.Recipient(), "[unknown]");
  EXPECT_EQ(message.Subject(), "[no subject]");
}

// ---- single-part bodies ---------------------------------------------------

TEST(MessageParserBodyTest, BodyLinesKeepOneLineFeedEach) {
  EXPECT_EQ(Parse("Subject: s\r\n\r\na\r\n\r\nb\r\n").text, "a\n\nb\n");
  EXPECT_EQ(Parse("\nlast line without end").text, "last line without end\n");
}

TEST(MessageParserBodyTest, TransferEncodingWithoutBoundaryOpensNoAttachment) {
  const MailMessage message = Parse("Content-Transfer-Encoding: 7bit\n\nplain text\n");
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text, "plain text\n");
}

TEST(MessageParserBodyTest, QuotedPrintableBodyIsDecodedIntoTheText) {
  const MailMessage message =
      Parse("Content-Transfer-Encoding: quoted-printable\n\nCaf=E9 =3D ok=\ndone\n");
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text, "Caf\xE9 = okdone\n");
}

TEST(MessageParserBodyTest, QuotedPrintableEscapeSplitBetweenPiecesIsDecodedWhole) {
  // The 512-byte read ends in the middle of "=41".
  const std::string filler(kPopPieceSize - 2, 'a');
  const MailMessage message =
      Parse("Content-Transfer-Encoding: quoted-printable\n\n" + filler + "=41xyz\n");
  EXPECT_EQ(message.text, filler + "Axyz\n");
}

TEST(MessageParserBodyTest, QuotedPrintableSoftBreakSplitBetweenPiecesJoinsTheLines) {
  const std::string filler(kPopPieceSize - 1, 'a');
  const MailMessage message =
      Parse("Content-Transfer-Encoding: quoted-printable\n\n" + filler + "=\nnext\n");
  EXPECT_EQ(message.text, filler + "next\n");
}

TEST(MessageParserBodyTest, QuotedPrintableEscapeCutByTheEndOfTheMessageIsKept) {
  MailMessage message;
  MessageParser parser;
  parser.BeginParse(message, 1000);
  const std::string header = "Content-Transfer-Encoding: quoted-printable\n";
  parser.ParseLine(header.data(), header.size());
  parser.ParseLine("\n", 1);
  const std::string piece = std::string(kPopPieceSize - 2, 'a') + "=4";
  parser.ParseLine(piece.data(), piece.size());  // the connection drops here
  parser.EndParse();
  EXPECT_EQ(message.text, std::string(kPopPieceSize - 2, 'a') + "\x04");
}

TEST(MessageParserBodyTest, Base64BodyWithoutBoundaryBecomesTheText) {
  // "Hello\r\nWorld\r\n" as a sender would encode a text body.
  const MailMessage message = Parse("Content-Transfer-Encoding: base64\n\nSGVsbG8NCldvcmxkDQo=\n");
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text, "Hello\nWorld\n");
}

TEST(MessageParserBodyTest, LongBodyLineArrivesWholeAcrossPieces) {
  std::string line;
  for (int i = 0; i < 100 * 1024; ++i) line.push_back(static_cast<char>('a' + i % 26));
  const MailMessage message = Parse("Subject: long\n\nbefore\n" + line + "\nafter\n");
  EXPECT_EQ(message.text, "before\n" + line + "\nafter\n");
}

TEST(MessageParserBodyTest, NulBytesInTheBodyAreKept) {
  const std::string body("a\0b\n", 4);
  const MailMessage message = Parse("Subject: s\n\n" + body);
  EXPECT_EQ(message.text, body);
}

}  // namespace

}  // namespace quor
