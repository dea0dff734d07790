#include "message/mail_message.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quor {

namespace {

struct AddressCase {
  std::optional<std::string> from;
  std::optional<std::string> reply_to;
  const char* sender;
  const char* reply_address;
};

TEST(MailMessageTest, SenderAndReplyAddressFallBackOnEachOther) {
  const AddressCase cases[] = {
      {std::nullopt, std::nullopt, "[unknown]", "[unknown]"},
      {"from@x", std::nullopt, "from@x", "from@x"},
      {std::nullopt, "reply@x", "reply@x", "reply@x"},
      {"from@x", "reply@x", "from@x", "reply@x"},
      {"", "reply@x", "", "reply@x"},  // present but empty still counts
  };
  for (const AddressCase& c : cases) {
    MailMessage message;
    message.from = c.from;
    message.reply_to = c.reply_to;
    EXPECT_EQ(message.Sender(), c.sender);
    EXPECT_EQ(message.ReplyAddress(), c.reply_address);
  }
}

TEST(MailMessageTest, MissingFieldsGivePlaceholders) {
  MailMessage message;
  EXPECT_EQ(message.Subject(), "[no subject]");
  EXPECT_EQ(message.Recipient(), "[unknown]");
  EXPECT_EQ(message.Date(), "[unknown]");
  EXPECT_EQ(message.Text(), "");
  message.subject = "";
  message.date = "";
  message.recipients = "";
  EXPECT_EQ(message.Subject(), "");
  EXPECT_EQ(message.Date(), "");
  EXPECT_EQ(message.Recipient(), "");
}

TEST(MailMessageTest, AttachmentOutsideTheListIsNone) {
  MailMessage message;
  message.attachments.push_back({std::string("\0bin", 4), "a.bin"});
  EXPECT_EQ(message.AttachmentCount(), 1);
  ASSERT_NE(message.Attachment(0), nullptr);
  EXPECT_EQ(message.Attachment(0)->length(), 4u);
  EXPECT_EQ(message.Attachment(0)->name, "a.bin");
  EXPECT_EQ(message.Attachment(-1), nullptr);
  EXPECT_EQ(message.Attachment(1), nullptr);
}

TEST(MailMessageTest, ClearForgetsEverything) {
  MailMessage message;
  message.subject = "s";
  message.recipients = "r";
  message.date = "d";
  message.from = "f";
  message.reply_to = "t";
  message.text = "text\n";
  message.attachments.push_back({"data", "name"});
  message.Clear();
  EXPECT_FALSE(message.subject || message.recipients || message.date || message.from ||
               message.reply_to);
  EXPECT_EQ(message.text, "");
  EXPECT_EQ(message.AttachmentCount(), 0);
}

}  // namespace

}  // namespace quor
