#include "message/automatic_mail.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fixtures/line_feeder.h"
#include "fixtures/row_name.h"

namespace quor {

namespace {

struct MarkCase {
  const char* written;
  std::string header_lines;  // of the message's own header block
  bool automatic;
};

class IsAutomaticMessageTest : public ::testing::TestWithParam<MarkCase> {};

TEST_P(IsAutomaticMessageTest, ReadsTheMarksOfTheMessagesOwnHeader) {
  MailMessage message = Parse("From: a@example.org\n" + GetParam().header_lines + "\nbody\n");
  EXPECT_EQ(IsAutomaticMessage(message), GetParam().automatic);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, IsAutomaticMessageTest,
    ::testing::Values(
        MarkCase{"no marks", "Subject: hello\n", false},
        MarkCase{"auto replied", "Auto-Submitted: auto-replied\n", true},
        MarkCase{"auto generated with comment", "Auto-Submitted: Auto-Generated (vacation)\n",
                 true},
        MarkCase{"auto submitted no", "Auto-Submitted: no\n", false},
        MarkCase{"auto submitted NO with comment", "auto-submitted:NO (person)\n", false},
        MarkCase{"precedence bulk", "Precedence: bulk\n", true},
        MarkCase{"precedence junk", "Precedence: JUNK\n", true},
        MarkCase{"precedence list", "Precedence: list\n", true},
        MarkCase{"precedence first class", "Precedence: first-class\n", false},
        MarkCase{"list id", "List-Id: Team news <news.example.org>\n", true},
        MarkCase{"empty return path", "Return-Path: <>\n", true},
        MarkCase{"empty return path with blanks", "Return-Path: < >\n", true},
        MarkCase{"return path with address", "Return-Path: <a@example.org>\n", false}),
    NameRowsBy(&MarkCase::written));

// A message forwarded inside another one carries its own marks; they say
// nothing about how the outer message was sent.
TEST(IsAutomaticMessage, MarksInAPartHeaderDoNotCount) {
  MailMessage message = Parse(
      "From: a@example.org\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: message/rfc822\n\nAuto-Submitted: auto-replied\nPrecedence: bulk\n\n"
      "old reply\n--b--\n");
  EXPECT_FALSE(IsAutomaticMessage(message));
}

struct AddressCase {
  const char* written;
  std::string header_lines;
  std::string to;
  std::string cc;
  bool addressed;
};

class AddressesSenderTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressesSenderTest, ComparesBareAddresses) {
  MailMessage message = Parse(GetParam().header_lines + "\nbody\n");
  EXPECT_EQ(AddressesSender(message, GetParam().to, GetParam().cc), GetParam().addressed);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, AddressesSenderTest,
    ::testing::Values(
        AddressCase{"sender in to", "From: Ann <ann@example.org>\n", "ann@example.org", "", true},
        AddressCase{"sender with name in to", "From: ann@example.org\n",
                    "Ann Lee <Ann@Example.ORG>", "", true},
        AddressCase{"sender in cc", "From: ann@example.org\n", "bob@example.org",
                    "x@example.org, ann@example.org", true},
        AddressCase{"reply address in to", "From: robot@example.org\nReply-To: desk@example.org\n",
                    "desk@example.org", "", true},
        AddressCase{"someone else", "From: ann@example.org\n", "bob@example.org",
                    "carl@example.org", false},
        AddressCase{"folded from", "From: =?utf-8?q?Ann?=\n <ann@example.org>\n", "ann@example.org",
                    "", true},
        AddressCase{"comment form", "From: ann@example.org (Ann)\n", " ann@example.org ", "", true},
        AddressCase{"no sender at all", "Subject: x\n", "[unknown]", "", false}),
    NameRowsBy(&AddressCase::written));

}  // namespace

}  // namespace quor
