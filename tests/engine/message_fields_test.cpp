#include "engine/message_fields.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/condition_matcher.h"
#include "engine/part_file.h"
#include "fixtures/line_feeder.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

// A sample message as the pass reads it, the parser set as the setting says.
MailMessage ParseSample(const std::string& name, bool decode) {
  MailMessage message;
  MessageParser parser;
  parser.set_decode_text(decode);
  ParseWhole(parser, message, ReadWholeFile(std::string(QUOR_FIXTURES_DIR) + "/mail/" + name));
  return message;
}

struct SampleCase {
  const char* written;
  std::string file;
  bool decode;
  std::string subject;
  std::string sender;
  std::string body;                // the Message-Body token
  std::string text_start;          // of the text that conditions and extraction read
  std::vector<std::string> names;  // of parts 1.., as Save Attachments makes them
};

class MessageFieldsSampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(MessageFieldsSampleTest, FieldsAreRawOrDecodedAsTheSettingSays) {
  const SampleCase& c = GetParam();
  const MailMessage message = ParseSample(c.file, c.decode);
  const MessageTexts texts(message, c.decode);
  const FieldMap fields = MessageFieldMap(texts, "u@pop.example");
  EXPECT_EQ(fields.at("Subject"), c.subject);
  EXPECT_EQ(fields.at("Sender"), c.sender);
  EXPECT_EQ(fields.at("Message-Body"), c.body);
  EXPECT_EQ(texts.Text().substr(0, c.text_start.size()), c.text_start);
  EXPECT_EQ(ConditionFieldText("Subject", texts, "u@pop.example"), c.subject);
  std::vector<std::string> names;
  for (int i = 1; i < message.AttachmentCount(); ++i) {
    names.push_back(SafePartName(AttachmentName(*message.Attachment(i), c.decode)));
  }
  EXPECT_EQ(names, c.names);
}

const std::string kUtf8Body =
    "Guten Tag,\n\nanbei die Rechnung f\xC3\xBCr M\xC3\xA4rz (Kundennummer 30471), "
    "f\xC3\xA4llig zum \n15. April.\n\nGr\xC3\xBC\xC3\x9F"
    "e aus K\xC3\xB6ln\nJ\xC3\xBCrgen "
    "Bo\xC3\x9F\n\n";
// The body of a sample as it is written: what stays in the text when the
// parser sees no parts.
std::string SampleBody(const std::string& name) {
  const std::string text = ReadWholeFile(std::string(QUOR_FIXTURES_DIR) + "/mail/" + name);
  return text.substr(text.find("\n\n") + 2);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, MessageFieldsSampleTest,
    ::testing::Values(
        SampleCase{"utf8 alternative raw",
                   "intl_alternative_utf8.eml",
                   false,
                   "=?UTF-8?Q?Rechnung_f=C3=BCr_M=C3=A4rz_=E2=80=93_Kundennummer?=",
                   "=?UTF-8?Q?J=C3=BCrgen_Bo=C3=9F?= <jb@example.org>",
                   SampleBody("intl_alternative_utf8.eml"),
                   "This is a multi-part message in MIME format.\n--------------0TqX",
                   {}},
        SampleCase{"utf8 alternative decoded",
                   "intl_alternative_utf8.eml",
                   true,
                   "Rechnung f\xC3\xBCr M\xC3\xA4rz \xE2\x80\x93 Kundennummer 30471",
                   "J\xC3\xBCrgen Bo\xC3\x9F <jb@example.org>",
                   kUtf8Body,
                   "This is a multi-part message in MIME format.\n",
                   {""}},
        SampleCase{"latin1 alternative raw",
                   "intl_alternative_latin1.eml",
                   false,
                   "=?iso-8859-1?B?QmVzdGVsbHVuZyBm/HIgR3L232UgNDI=?=",
                   "=?iso-8859-1?Q?Ren=E9_M=FCller?= <rene.mueller@example.com>",
                   SampleBody("intl_alternative_latin1.eml"),
                   "--_000_",
                   {}},
        SampleCase{"latin1 alternative decoded",
                   "intl_alternative_latin1.eml",
                   true,
                   "Bestellung f\xC3\xBCr Gr\xC3\xB6\xC3\x9F"
                   "e 42",
                   "Ren\xC3\xA9 M\xC3\xBCller <rene.mueller@example.com>",
                   "Sehr geehrte Damen und Herren,\n\nbitte liefern Sie 3 St\xC3\xBC"
                   "ck der "
                   "Gr\xC3\xB6\xC3\x9F"
                   "e 42.\n\nMit freundlichen Gr\xC3\xBC\xC3\x9F"
                   "en\n"
                   "Ren\xC3\xA9 M\xC3\xBCller\n\n",
                   "",
                   {""}},
        SampleCase{"latin1 plain raw",
                   "intl_plain_latin1.eml",
                   false,
                   "=?ISO-8859-1?Q?Commande_n=B0_8812_=E0_livrer?=",
                   "=?ISO-8859-1?Q?Fran=E7oise_L=E9vy?= <f.levy@example.fr>",
                   "Bonjour,\n\nNum\xE9ro de commande: 8812-\xC9t\xE9\nQuantit\xE9: 12 pi\xE8"
                   "ces, "
                   "livraison \xE0 Lyon.\n\nCordialement,\nFran\xE7oise\n",
                   "Bonjour,\n\nNum\xE9ro",
                   {}},
        SampleCase{
            "latin1 plain decoded",
            "intl_plain_latin1.eml",
            true,
            "Commande n\xC2\xB0 8812 \xC3\xA0 livrer",
            "Fran\xC3\xA7oise L\xC3\xA9vy <f.levy@example.fr>",
            "Bonjour,\n\nNum\xC3\xA9ro de commande: 8812-\xC3\x89t\xC3\xA9\nQuantit\xC3\xA9: "
            "12 pi\xC3\xA8"
            "ces, livraison \xC3\xA0 Lyon.\n\nCordialement,\nFran\xC3\xA7oise\n",
            "Bonjour,\n\nNum\xC3\xA9ro",
            {}},
        SampleCase{"attachment names raw",
                   "intl_attachment_names.eml",
                   false,
                   "=?UTF-8?B?UmVjaG51bmdlbiBNw6RyeiB1bmQgQXByaWw=?=",
                   "Buchhaltung <buchhaltung@example.com>",
                   "Anbei die Rechnungen f\xFCr M\xE4rz und April.\n\n",
                   "",
                   {"", "=?UTF-8?Q?Rechnung_April_=E2=80=93_2024.pdf?="}},
        SampleCase{"attachment names decoded",
                   "intl_attachment_names.eml",
                   true,
                   "Rechnungen M\xC3\xA4rz und April",
                   "Buchhaltung <buchhaltung@example.com>",
                   "Anbei die Rechnungen f\xC3\xBCr M\xC3\xA4rz und April.\n\n",
                   "",
                   {"Rechnung M\xC3\xA4rz 2024.pdf", "Rechnung April \xE2\x80\x93 2024.pdf"}},
        SampleCase{"odd words raw",
                   "intl_odd_words.eml",
                   false,
                   "=?UTF-8?Q?Lieferschein_f=C3=BCr?= =?UTF-8?B?broken*base64?=",
                   "=?x-klingon?Q?tlhIngan?= <worf@example.org>",
                   "Lieferung \xA4\xB1 Qapla'\n",
                   "Lieferung \xA4\xB1",
                   {}},
        // The broken word, the unknown charset of the name and of the text
        // stay as they are.
        SampleCase{"odd words decoded",
                   "intl_odd_words.eml",
                   true,
                   "Lieferschein f\xC3\xBCr =?UTF-8?B?broken*base64?=",
                   "=?x-klingon?Q?tlhIngan?= <worf@example.org>",
                   "Lieferung \xA4\xB1 Qapla'\n",
                   "Lieferung \xA4\xB1",
                   {}}),
    NameRowsBy(&SampleCase::written));

// Decoding changes what agents read, never the bytes that are saved.
TEST(MessageFields, PartBytesAreTheSameWithAndWithoutDecoding) {
  const MailMessage raw = ParseSample("intl_attachment_names.eml", false);
  const MailMessage decoded = ParseSample("intl_attachment_names.eml", true);
  ASSERT_EQ(raw.AttachmentCount(), 3);
  ASSERT_EQ(decoded.AttachmentCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(raw.Attachment(i)->data, decoded.Attachment(i)->data);
  EXPECT_EQ(raw.Attachment(1)->data.substr(0, 8), "%PDF-1.4");
}

TEST(MessageFields, ConditionsReadTheDecodedTexts) {
  const MailMessage message = ParseSample("intl_plain_latin1.eml", true);
  MailAgent agent;
  agent.conditions = {{"Subject", "contains", "Commande n\xC2\xB0 8812", ConditionJoin::kAnd},
                      {"Message-Body", "contains", "8812-\xC3\x89t\xC3\xA9", ConditionJoin::kAnd},
                      {"Sender", "contains", "Fran\xC3\xA7oise", ConditionJoin::kAnd}};
  EXPECT_TRUE(MatchesConditions(agent, MessageTexts(message, true), "u@s"));
  EXPECT_FALSE(MatchesConditions(agent, MessageTexts(message, false), "u@s"));
}

struct DecodedTextCase {
  const char* written;
  std::string bytes;
  std::string content_type;
  std::string text;
};

class DecodedTextTest : public ::testing::TestWithParam<DecodedTextCase> {};

TEST_P(DecodedTextTest, ConvertsFromTheDeclaredCharset) {
  EXPECT_EQ(DecodedText(GetParam().bytes, GetParam().content_type), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodedTextTest,
    ::testing::Values(DecodedTextCase{"latin1", "Caf\xE9\n", "text/plain; charset=\"ISO-8859-1\"",
                                      "Caf\xC3\xA9\n"},
                      DecodedTextCase{"folded type", "Caf\xE9",
                                      "text/plain;\n\tcharset=windows-1252", "Caf\xC3\xA9"},
                      DecodedTextCase{"bad utf8 byte replaced", "Caf\xE9",
                                      "text/plain; charset=utf-8", "Caf\xEF\xBF\xBD"},
                      DecodedTextCase{"no charset", "Caf\xE9", "text/plain", "Caf\xE9"},
                      DecodedTextCase{"no type", "Caf\xE9", "", "Caf\xE9"},
                      DecodedTextCase{"unknown charset", "Caf\xE9", "text/plain; charset=x-unknown",
                                      "Caf\xE9"}),
    NameRowsBy(&DecodedTextCase::written));

}  // namespace

}  // namespace quor
