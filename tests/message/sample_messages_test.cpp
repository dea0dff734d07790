// The sample messages under tests/fixtures/mail, parsed as the POP client
// would hand them over.

#include <gtest/gtest.h>

#include <string>

#include "fixtures/line_feeder.h"
#include "fixtures/test_files.h"
#include "message/message_parser.h"

namespace quor {

namespace {

std::string Sample(const std::string& name) {
  return ReadWholeFile(std::string(QUOR_FIXTURES_DIR) + "/mail/" + name);
}

MailMessage ParseSample(const std::string& name) {
  const std::string text = Sample(name);
  EXPECT_FALSE(text.empty()) << name;
  MailMessage message;
  MessageParser parser;
  ParseWhole(parser, message, text);
  return message;
}

TEST(SampleMessagesTest, PlainMessage) {
  const MailMessage message = ParseSample("plain.eml");
  EXPECT_EQ(message.Subject(), "Order 4711 shipped");
  EXPECT_EQ(message.Recipient(), "Bob Example <bob@example.net>,carol@example.net");
  EXPECT_EQ(message.Sender(), "Ann Example <ann@example.org>");
  EXPECT_EQ(message.ReplyAddress(), "Ann Example <ann@example.org>");
  EXPECT_EQ(message.Date(), "Tue, 14 May 2024 09:30:00 +0200");
  EXPECT_EQ(message.Text(),
            "Hello Bob,\n\nyour order 4711 has been shipped today.\n"
            "Tracking number: ZX-99-1234\n\nRegards,\nAnn\n");
  EXPECT_EQ(message.AttachmentCount(), 0);
}

TEST(SampleMessagesTest, MixedWithGifAttachment) {
  const MailMessage message = ParseSample("mixed_gif.eml");
  EXPECT_EQ(message.Sender(), "Ann Example <ann@example.org>");
  EXPECT_EQ(message.ReplyAddress(), "orders@example.org");
  EXPECT_EQ(message.Text(), "This is a multi-part message in MIME format.\n\n");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->name, "");
  EXPECT_EQ(message.Attachment(0)->data, "Here is the picture you asked for.\n\n");
  EXPECT_EQ(message.Attachment(1)->name, "a.gif");
  EXPECT_EQ(message.Attachment(1)->data, Sample("a.gif"));
}

TEST(SampleMessagesTest, AlternativeGivesPlainAndHtmlVersions) {
  const MailMessage message = ParseSample("alternative.eml");
  EXPECT_EQ(message.Text(), "");
  ASSERT_EQ(message.AttachmentCount(), 2);
  EXPECT_EQ(message.Attachment(0)->data, "Weekly news: the office is closed on Friday.\n\n");
  EXPECT_EQ(message.Attachment(1)->data,
            "<html><body><p style=\"color:red\">Weekly news: the office is closed on "
            "Friday.</p></body></html>\n\n");
}

TEST(SampleMessagesTest, QuotedPrintableSinglePart) {
  const MailMessage message = ParseSample("quoted_printable.eml");
  // Encoded words in headers are kept as written.
  EXPECT_EQ(message.Subject(), "=?iso-8859-1?Q?Caf=E9?= menu");
  EXPECT_EQ(message.Text(),
            "Caf\xE9 = okdone\n"
            "A very long line that the sender folded with a soft line break so that no line "
            "is longer than seventy-six characters.\n");
}

TEST(SampleMessagesTest, LinesBeginningWithDotsAreKept) {
  const MailMessage message = ParseSample("dot_lines.eml");
  EXPECT_EQ(message.Text(),
            "The next lines begin with dots.\n.hidden\n..two dots\n.\n"
            "The line above held a single dot.\n");
}

}  // namespace

}  // namespace quor
