// Multipart messages: boundaries, parts diverted into attachments, part names,
// transfer encodings, and the cases mail in the wild leaves open.

#include <gtest/gtest.h>

#include <string>

#include "fixtures/line_feeder.h"
#include "message/message_parser.h"

namespace quor {

namespace {

// A multipart/mixed message with boundary "abc" around the given parts.
std::string Mixed(const std::string& parts) {
  return "From: ann@example.org\nContent-Type: multipart/mixed; boundary=\"abc\"\n\n" + parts;
}

// ---- boundaries and parts -------------------------------------------------

TEST(MessageParserMimeTest, TextPartAndBase64PartBecomeTwoAttachments) {
  const MailMessage message =
      Parse(Mixed("This is a multi-part message in MIME format.\n"
                  "--abc\n"
                  "Content-Type: text/plain; charset=us-ascii\n"
                  "Content-Transfer-Encoding: 7bit\n"
                  "\n"
                  "Hello there\n"
                  "--abc\n"
                  "Content-Type: image/gif; name=\"a.gif\"\n"
                  "Content-Transfer-Encoding: base64\n"
                  "\n"
                  "R0lGODlh\n"
                  "--abc--\n"));
  EXPECT_EQ(message.text, "This is a multi-part message in MIME format.\n");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->data, "Hello there\n");
  EXPECT_EQ(message.Attachment(0)->name, "");
  EXPECT_EQ(message.Attachment(1)->data, "GIF89a");
  EXPECT_EQ(message.Attachment(1)->name, "a.gif");
}

TEST(MessageParserMimeTest, BoundaryMayBeQuotedOrNot) {
  const char* headers[] = {
      "Content-Type: multipart/mixed; boundary=abc\n",
      "Content-Type: multipart/mixed; boundary=\"abc\"\n",
      "content-type: MULTIPART/MIXED; BOUNDARY=abc\n",
      "Content-Type: multipart/mixed; boundary=\"abc\"; charset=x\n",
      "Content-Type: multipart/mixed; boundary=\"abc\n",  // never closed
      "Content-Type: multipart/alternative; boundary=abc\n",
  };
  for (const char* header : headers) {
    const MailMessage message =
        Parse(std::string(header) +
              "\npreamble\n--abc\nContent-Transfer-Encoding: 8bit\n\npart\n--abc--\n");
    EXPECT_EQ(message.text, "preamble\n") << header;
    ASSERT_EQ(message.AttachmentCount(), 1) << header;
    EXPECT_EQ(message.Attachment(0)->data, "part\n") << header;
  }
}

TEST(MessageParserMimeTest, DelimiterTestIsCaseSensitiveAndMatchesAnyLongerLine) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: 7bit\n\n"
                  "--ABC is not a delimiter\n"
                  " --abc neither\n"
                  "--abcdef ends the part\n"
                  "Content-Transfer-Encoding: 7bit\n\nsecond\n--abc--\n"));
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->data, "--ABC is not a delimiter\n --abc neither\n");
  EXPECT_EQ(message.Attachment(1)->data, "second\n");
}

TEST(MessageParserMimeTest, PartWithoutTransferEncodingStaysInTheText) {
  const MailMessage message =
      Parse(Mixed("--abc\n"
                  "Content-Type: text/plain; name=\"notes.txt\"\n"
                  "\n"
                  "plain part\n"
                  "--abc\n"
                  "Content-Transfer-Encoding: 7bit\n"
                  "\n"
                  "diverted\n"
                  "--abc--\n"));
  EXPECT_EQ(message.text, "plain part\n");
  ASSERT_EQ(message.AttachmentCount(), 1);
  // The name of the part that opened nothing is dropped with it.
  EXPECT_EQ(message.Attachment(0)->name, "");
}

TEST(MessageParserMimeTest, FoldedBoundaryParameterSetsNoBoundary) {
  const std::string body = "--abc\nContent-Transfer-Encoding: base64\n\nTWFu\n--abc--\n";
  const MailMessage message =
      Parse("Content-Type: multipart/mixed;\n\tboundary=\"abc\"\n\n" + body);
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text, body);
}

TEST(MessageParserMimeTest, AlternativeGivesBothVersionsAsUnnamedAttachments) {
  const MailMessage message = Parse(
      "Content-Type: multipart/alternative; boundary=alt\n\n"
      "--alt\nContent-Type: text/plain\nContent-Transfer-Encoding: 8bit\n\nplain\n"
      "--alt\nContent-Type: text/html\nContent-Transfer-Encoding: quoted-printable\n\n"
      "<p class=3D\"x\">html</p>\n--alt--\n");
  EXPECT_EQ(message.text, "");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->data, "plain\n");
  EXPECT_EQ(message.Attachment(1)->data, "<p class=\"x\">html</p>\n");
  EXPECT_EQ(message.Attachment(0)->name, "");
  EXPECT_EQ(message.Attachment(1)->name, "");
}

TEST(MessageParserMimeTest, NestedMultipartReplacesTheOuterBoundary) {
  // There is one boundary at a time: once the inner one is known, the outer
  // delimiter is an ordinary line. The outer part after the inner closing
  // delimiter is read as a header block, and its Base64 body runs on to the
  // end of the message, outer closing delimiter included.
  const MailMessage message = Parse(
      "Content-Type: multipart/mixed; boundary=outer\n\n"
      "--outer\n"
      "Content-Type: multipart/alternative; boundary=inner\n\n"
      "--inner\nContent-Transfer-Encoding: 7bit\n\nplain version\n"
      "--inner\nContent-Transfer-Encoding: quoted-printable\n\nhtml=3Dversion\n"
      "--inner--\n"
      "--outer\n"
      "Content-Type: application/octet-stream; name=x.bin\n"
      "Content-Transfer-Encoding: base64\n\n"
      "TWFu\n"
      "--outer--\n");
  ASSERT_EQ(message.AttachmentCount(), 3);
  EXPECT_EQ(message.Attachment(0)->data, "plain version\n");
  EXPECT_EQ(message.Attachment(1)->data, "html=version\n");
  EXPECT_EQ(message.Attachment(2)->name, "x.bin");
  EXPECT_EQ(message.Attachment(2)->data.substr(0, 3), "Man");
  EXPECT_EQ(message.Attachment(2)->length(), 3u + 4u);  // "outer" decodes to 4 more bytes
}

TEST(MessageParserMimeTest, LinesAfterTheClosingDelimiterFormAHeaderBlock) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: 7bit\n\npart\n--abc--\n"
                  "epilogue header-like line\n\nepilogue body\n"));
  EXPECT_EQ(message.text, "epilogue body\n");
  EXPECT_EQ(message.AttachmentCount(), 1);
}

// ---- part names -----------------------------------------------------------

struct NameCase {
  const char* headers;
  const char* name;
};

TEST(MessageParserMimeTest, PartNameComesFromTheFirstNameOrFilename) {
  const NameCase cases[] = {
      {"Content-Type: image/gif; name=\"a.gif\"\n", "a.gif"},
      {"Content-Type: image/gif; name=\"with space.gif\"\n", "with space.gif"},
      {"Content-Type: image/gif; name=plain.gif\n", "plain.gif"},
      {"Content-Type: image/gif; name=\"open.gif\n", "open.gif"},
      {"Content-Disposition: attachment; filename=\"f.pdf\"\n", "f.pdf"},
      {"Content-Type: a/b; name=\"first\"\nContent-Disposition: x; filename=\"second\"\n", "first"},
      {"Content-Disposition: x; filename=\"one\"\nContent-Type: a/b; name=\"two\"\n", "one"},
      {"Content-Type: a/b; Name=\"capital\"\n", ""},  // the key is case-sensitive
      {"X-Attachment: name=\"other header\"\n", ""},
  };
  for (const NameCase& c : cases) {
    const MailMessage message =
        Parse(Mixed(std::string("--abc\n") + c.headers +
                    "Content-Transfer-Encoding: base64\n\nTWFu\n--abc--\n"));
    ASSERT_EQ(message.AttachmentCount(), 1) << c.headers;
    EXPECT_EQ(message.Attachment(0)->name, c.name) << c.headers;
  }
}

TEST(MessageParserMimeTest, NameIsTakenOnlyWhileABoundaryIsKnown) {
  const MailMessage message = Parse(
      "Content-Type: image/gif; name=\"early.gif\"\n"
      "Content-Type: multipart/mixed; boundary=abc\n\n"
      "--abc\nContent-Transfer-Encoding: base64\n\nTWFu\n--abc--\n");
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->name, "");
}

TEST(MessageParserMimeTest, EachPartStartsWithoutAName) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Type: a/b; name=one\nContent-Transfer-Encoding: base64\n\nTWFu\n"
                  "--abc\nContent-Transfer-Encoding: base64\n\nTWFu\n--abc--\n"));
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->name, "one");
  EXPECT_EQ(message.Attachment(1)->name, "");
}

// ---- transfer encodings ---------------------------------------------------

struct EncodingCase {
  const char* header;
  const char* data;
};

TEST(MessageParserMimeTest, EveryTransferEncodingOpensAnAttachment) {
  const EncodingCase cases[] = {
      {"Content-Transfer-Encoding: quoted-printable", "a=A\n"},
      {"content-transfer-encoding: QUOTED-PRINTABLE", "a=A\n"},
      {"Content-Transfer-Encoding: 7bit", "a=3D=41\n"},
      {"Content-Transfer-Encoding: 7-bit", "a=3D=41\n"},
      {"Content-Transfer-Encoding: 8bit", "a=3D=41\n"},
      {"Content-Transfer-Encoding: 8-bit", "a=3D=41\n"},
      {"Content-Transfer-Encoding: binary", "a=3D=41\n"},
      {"Content-Transfer-Encoding: x-uuencode", "a=3D=41\n"},
      // Another encoding after quoted-printable in the same block turns decoding off.
      {"Content-Transfer-Encoding: quoted-printable\nContent-Transfer-Encoding: binary",
       "a=3D=41\n"},
  };
  for (const EncodingCase& c : cases) {
    const MailMessage message =
        Parse(Mixed(std::string("--abc\n") + c.header + "\n\na=3D=41\n--abc--\n"));
    ASSERT_EQ(message.AttachmentCount(), 1) << c.header;
    EXPECT_EQ(message.Attachment(0)->data, c.data) << c.header;
  }
}

TEST(MessageParserMimeTest, QuotedPrintableSoftLineBreakJoinsLines) {
  const MailMessage message = Parse(Mixed(
      "--abc\nContent-Transfer-Encoding: quoted-printable\n\nCaf=E9 =3D ok=\ndone\n--abc--\n"));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "Caf\xE9 = okdone\n");
}

TEST(MessageParserMimeTest, QuotedPrintableEndsWithItsPart) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: quoted-printable\n\n=41\n"
                  "--abc\nContent-Type: text/plain\n\n=41 stays\n--abc--\n"));
  EXPECT_EQ(message.text, "=41 stays\n");
}

TEST(MessageParserMimeTest, Base64SkipsShortLinesAndForeignCharacters) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: base64\n\n"
                  "TWFu\n"
                  "*** ---\n"  // nothing of the alphabet
                  "T\n"        // 2 bytes with its line feed: skipped, or it would add a byte
                  "\n"
                  "TQ==\n"
                  "--abc--\n"));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "ManM");
}

TEST(MessageParserMimeTest, Base64EndingInPaddingAtTheVeryEndOfTheMessage) {
  const MailMessage message = Parse(Mixed("--abc\nContent-Transfer-Encoding: base64\n\nTWFuTQ="));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "ManM");
}

TEST(MessageParserMimeTest, Base64LineSplitIntoPiecesDecodesWhole) {
  // One line without breaks, as some senders write it, 78 full pieces long
  // plus a last piece of one character and the line feed: short as it is,
  // that piece carries Base64 text and must not be skipped.
  std::string binary;
  for (int i = 0; i < 128 * 78 * 3; ++i) binary.push_back(static_cast<char>(i * 13 & 0xFF));
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (size_t i = 0; i + 2 < binary.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(binary[i]) << 16) |
                       (static_cast<unsigned char>(binary[i + 1]) << 8) |
                       static_cast<unsigned char>(binary[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) encoded.push_back(kAlphabet[(v >> shift) & 63]);
  }
  encoded += "Q";  // a stray last value still gives one byte: 16 << 2
  binary += "@";
  ASSERT_EQ((encoded.size() + 1) % kPopPieceSize, 2u);
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: base64\n\n" + encoded + "\n--abc--\n"));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, binary);
}

TEST(MessageParserMimeTest, Base64DecodesNulAndHighBytes) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: base64\n\nAP8A/w==\n--abc--\n"));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, std::string("\0\xff\0\xff", 4));
  EXPECT_EQ(message.Attachment(0)->length(), 4u);
}

// ---- open points ----------------------------------------------------------

TEST(MessageParserMimeTest, AttachmentOpenAtTheEndIsKeptWithWhatItHolds) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Transfer-Encoding: 7bit\n\nline 1\nline 2\n"));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "line 1\nline 2\n");
}

TEST(MessageParserMimeTest, Base64AttachmentOpenAtTheEndIsFlushedIntoIt) {
  const MailMessage message =
      Parse(Mixed("--abc\nContent-Type: a/b; name=cut.bin\nContent-Transfer-Encoding: base64\n\n"
                  "TWFu\nTQ\n"));
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "ManM");
  EXPECT_EQ(message.Attachment(0)->name, "cut.bin");
}

TEST(MessageParserMimeTest, SecondOpeningInOneHeaderBlockKeepsOneAttachment) {
  // The second alternative header opens an attachment; the transfer-encoding
  // line that follows finds one open and the part's body goes to it.
  const MailMessage message = Parse(
      "Content-Type: multipart/alternative; boundary=a\n\n"
      "--a\n"
      "Content-Type: multipart/alternative; boundary=a\n"
      "Content-Transfer-Encoding: 7bit\n"
      "\n"
      "body text\n"
      "--a--\n");
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "body text\n");
}

TEST(MessageParserMimeTest, TransferEncodingAfterTheMultipartHeaderDivertsThePreamble) {
  const MailMessage message = Parse(
      "Content-Type: multipart/mixed; boundary=abc\n"
      "Content-Transfer-Encoding: 7bit\n\n"
      "preamble\n--abc\nContent-Transfer-Encoding: 7bit\n\npart\n--abc--\n");
  EXPECT_EQ(message.text, "");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->data, "preamble\n");
  EXPECT_EQ(message.Attachment(1)->data, "part\n");
}

TEST(MessageParserMimeTest, Base64BeforeTheBoundaryIsDroppedAtTheDelimiter) {
  const MailMessage message = Parse(
      "Content-Transfer-Encoding: base64\n"
      "Content-Type: multipart/mixed; boundary=abc\n\n"
      "VGhpcyBpcyB0aGUgcHJlYW1ibGU=\n"
      "--abc\nContent-Transfer-Encoding: 7bit\n\npart\n--abc--\n");
  EXPECT_EQ(message.text, "");
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "part\n");
}

TEST(MessageParserMimeTest, BoundaryThatNeverComesLeavesEverythingInTheText) {
  const MailMessage message =
      Parse(Mixed("no delimiter at all\nContent-Transfer-Encoding: base64\n\nTWFu\n"));
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text, "no delimiter at all\nContent-Transfer-Encoding: base64\n\nTWFu\n");
}

}  // namespace

}  // namespace quor
