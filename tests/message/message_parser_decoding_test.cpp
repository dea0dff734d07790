// What the parser keeps for decoding and for the loop check, beside the
// fields agents have always read: whole folded fields, the content types of
// the text and of each part, the marks of automatic mail, and (with decoding
// on) boundaries that stand on a folded line.

#include <gtest/gtest.h>

#include <string>

#include "fixtures/line_feeder.h"
#include "message/message_parser.h"

namespace quor {

namespace {

MailMessage ParseDecoding(std::string_view text) {
  MailMessage message;
  MessageParser parser;
  parser.set_decode_text(true);
  ParseWhole(parser, message, text);
  return message;
}

TEST(MessageParserDecodingTest, FoldedLinesJoinTheWholeFieldsOnly) {
  const MailMessage message = Parse(
      "Subject: =?utf-8?q?Rechnung?=\n =?utf-8?q?_M=C3=A4rz?=\n"
      "From: =?utf-8?q?Ann?=\n\t<ann@example.org>\n"
      "To: a@example.org,\n b@example.org\nCC: c@example.org\n"
      "Reply-To: r@example.org\nDate: Mon,\n 1 Apr 2024\nX-Other: x\n continued\n\nbody\n");
  // The fields agents have always read keep their first line.
  EXPECT_EQ(message.Subject(), "=?utf-8?q?Rechnung?=");
  EXPECT_EQ(message.Sender(), "=?utf-8?q?Ann?=");
  EXPECT_EQ(message.Recipient(), "a@example.org,,c@example.org");
  EXPECT_EQ(message.Date(), "Mon,");
  // The whole fields keep every line, each folded line with its blanks.
  EXPECT_EQ(message.Subject(HeaderLines::kUnfolded), "=?utf-8?q?Rechnung?= =?utf-8?q?_M=C3=A4rz?=");
  EXPECT_EQ(message.Sender(HeaderLines::kUnfolded), "=?utf-8?q?Ann?=\t<ann@example.org>");
  EXPECT_EQ(message.Recipient(HeaderLines::kUnfolded),
            "a@example.org, b@example.org,c@example.org");
  EXPECT_EQ(message.ReplyAddress(HeaderLines::kUnfolded), "r@example.org");
  EXPECT_EQ(message.Date(HeaderLines::kUnfolded), "Mon, 1 Apr 2024");
  EXPECT_EQ(message.text, "body\n");
}

TEST(MessageParserDecodingTest, WholeFieldsAreBounded) {
  std::string text = "Subject: start\n";
  for (int i = 0; i < 2000; ++i) text += " more folded text\n";
  const MailMessage message = Parse(text + "\nbody\n");
  EXPECT_EQ(message.Subject(HeaderLines::kUnfolded).size(), MessageParser::kUnfoldedLimit);
  EXPECT_EQ(message.Subject(), "start");
}

TEST(MessageParserDecodingTest, TheTextTakesTheTypeOfTheBlockItCameFrom) {
  EXPECT_EQ(Parse("Content-Type: text/plain;\n\tcharset=\"iso-8859-1\"\n\nx\n").text_content_type,
            "text/plain;\tcharset=\"iso-8859-1\"");
  EXPECT_EQ(Parse("Subject: none\n\nx\n").text_content_type, "");
  // A multipart type names no charset: a part whose body stays in the text
  // gives its own.
  const MailMessage mixed = Parse(
      "Content-Type: multipart/mixed; boundary=b\n\npreamble\n--b\n"
      "Content-Type: text/plain; charset=koi8-r\n\nstays in the text\n--b--\n");
  EXPECT_EQ(mixed.text_content_type, "text/plain; charset=koi8-r");
  EXPECT_EQ(mixed.text, "preamble\nstays in the text\n");
}

TEST(MessageParserDecodingTest, EachPartKeepsItsTypeAndDisposition) {
  const MailMessage message = Parse(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: text/plain; charset=ISO-8859-1\nContent-Transfer-Encoding: 8bit\n\nhi\n"
      "--b\nContent-Type: application/pdf;\n name*0*=UTF-8''a%C3%A4;\n name*1*=b.pdf\n"
      "Content-Transfer-Encoding: base64\nContent-Disposition: attachment;\n"
      " filename*=UTF-8''a%C3%A4b.pdf\n\nTWFu\n--b--\n");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->content_type, "text/plain; charset=ISO-8859-1");
  EXPECT_EQ(message.Attachment(0)->disposition, "");
  EXPECT_EQ(message.Attachment(1)->content_type,
            "application/pdf; name*0*=UTF-8''a%C3%A4; name*1*=b.pdf");
  EXPECT_EQ(message.Attachment(1)->disposition, "attachment; filename*=UTF-8''a%C3%A4b.pdf");
  // The name the table finds is what it always was: nothing on the first line.
  EXPECT_EQ(message.Attachment(1)->name, "");
}

TEST(MessageParserDecodingTest, MarksOfAutomaticMailComeFromTheOwnHeaderOnly) {
  const MailMessage message = Parse(
      "Auto-Submitted:  auto-replied \nprecedence:bulk\nList-Id: <news.example.org>\n"
      "Return-Path: <>\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Auto-Submitted: no\nPrecedence: first-class\nContent-Transfer-Encoding: 7bit\n\nx\n--b--\n");
  EXPECT_EQ(message.auto_submitted, "auto-replied");
  EXPECT_EQ(message.precedence, "bulk");
  EXPECT_EQ(message.list_id, "<news.example.org>");
  EXPECT_EQ(message.return_path, "<>");
  const MailMessage plain = Parse("From: a@example.org\n\nAuto-Submitted: auto-replied\n");
  EXPECT_FALSE(plain.auto_submitted.has_value());
}

const char kFoldedAlternative[] =
    "Content-Type: multipart/alternative;\n boundary=\"----=_Part_1\"\n\npreamble\n"
    "------=_Part_1\nContent-Type: text/plain; charset=UTF-8\n"
    "Content-Transfer-Encoding: quoted-printable\n\nGr=C3=BC=C3=9Fe\n"
    "------=_Part_1\nContent-Type: text/html; charset=UTF-8\n"
    "Content-Transfer-Encoding: quoted-printable\n\n<p>Gr=C3=BC=C3=9Fe</p>\n"
    "------=_Part_1--\n";

TEST(MessageParserDecodingTest, WithDecodingAFoldedBoundaryIsTaken) {
  const MailMessage message = ParseDecoding(kFoldedAlternative);
  EXPECT_EQ(message.text, "preamble\n");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->data,
            "Gr\xC3\xBC\xC3\x9F"
            "e\n");
  EXPECT_EQ(message.Attachment(1)->data,
            "<p>Gr\xC3\xBC\xC3\x9F"
            "e</p>\n");
}

TEST(MessageParserDecodingTest, WithoutDecodingAFoldedBoundaryIsNotTaken) {
  const MailMessage message = Parse(kFoldedAlternative);
  EXPECT_EQ(message.AttachmentCount(), 0);
  EXPECT_EQ(message.text.substr(0, 9), "preamble\n");
}

// A boundary is taken as written, even one that looks like an encoded word.
TEST(MessageParserDecodingTest, FoldedBoundaryIsTakenAsWritten) {
  const MailMessage message = ParseDecoding(
      "Content-Type: multipart/mixed;\n boundary=\"=?utf-8?q?b?=\"\n\n--=?utf-8?q?b?=\n"
      "Content-Transfer-Encoding: base64\n\nTWFu\n--=?utf-8?q?b?=--\n");
  ASSERT_EQ(message.AttachmentCount(), 1);
  EXPECT_EQ(message.Attachment(0)->data, "Man");
}

// Only the two multipart types the parser knows; a one-line boundary is
// taken once, as it always was.
TEST(MessageParserDecodingTest, FoldedBoundaryOfOtherTypesIsNotTaken) {
  const std::string body = "--r\nContent-Transfer-Encoding: base64\n\nTWFu\n--r--\n";
  EXPECT_EQ(
      ParseDecoding("Content-Type: multipart/related;\n boundary=r\n\n" + body).AttachmentCount(),
      0);
  const MailMessage one_line =
      ParseDecoding("Content-Type: multipart/mixed; boundary=r\n\n" + body);
  ASSERT_EQ(one_line.AttachmentCount(), 1);
  EXPECT_EQ(one_line.Attachment(0)->data, "Man");
}

}  // namespace

}  // namespace quor
