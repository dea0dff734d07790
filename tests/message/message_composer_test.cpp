#include "message/message_composer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "fixtures/row_name.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"
#include "message/encoded_words.h"

namespace quor {

namespace {

// Sets TZ for the life of the object.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    if (old) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

constexpr const char* kMessageId = "<1.2@host.test>";

std::string HeaderBlock(const OutgoingMessage& message, std::time_t now = 0) {
  std::string wire;
  StringOutput out(wire);
  TimeZone utc("UTC0");
  MessageComposer(out).SendHeaderBlock(message, now, kMessageId);
  return wire;
}

OutgoingMessage Basic() {
  OutgoingMessage message;
  message.sender = "ann@example.com";
  message.to = "bob@example.com";
  return message;
}

constexpr const char* kDate = "Date: Thu, 01 Jan 1970 00:00:00 +0000\r\n";
// After the date: the message's id, the mark of automatic mail, the MIME version.
constexpr const char* kMime =
    "Message-ID: <1.2@host.test>\r\nAuto-Submitted: auto-generated\r\nMIME-Version: 1.0\r\n";

TEST(MessageComposerHeader, EveryLineInItsPlace) {
  OutgoingMessage message;
  message.sender = "ann (home)";
  message.sender_name = "Ann";
  message.reply_to = "Orders <orders@example.com>";
  message.to = "Bob <bob@example.com>, carl";
  message.cc = "dora,eve,";
  message.subject = "Order 42";
  message.organization = "Example Ltd";
  EXPECT_EQ(HeaderBlock(message), std::string("To: Bob <bob@example.com>\r\n"
                                              "To:  carl\r\n"
                                              "Cc: dora\r\n"
                                              "Cc: eve\r\n"
                                              "From: Ann <ann>\r\n"
                                              "Reply-To: orders@example.com\r\n"
                                              "Subject: Order 42\r\n"
                                              "Organization: Example Ltd\r\n") +
                                      kDate + kMime);
}

TEST(MessageComposerHeader, OptionalLinesAreLeftOut) {
  OutgoingMessage message = Basic();
  message.sender = "Ann <ann@example.com>";
  EXPECT_EQ(HeaderBlock(message), std::string("To: bob@example.com\r\n"
                                              "From: Ann <ann@example.com>\r\n") +
                                      kDate + kMime);
}

TEST(MessageComposerHeader, ReplyToOnlyWhenItDiffersExactly) {
  OutgoingMessage message = Basic();
  message.reply_to = "ann@example.com";
  EXPECT_EQ(HeaderBlock(message).find("Reply-To"), std::string::npos);
  message.reply_to = "Ann@example.com";
  EXPECT_NE(HeaderBlock(message).find("Reply-To: Ann@example.com\r\n"), std::string::npos);
}

TEST(MessageComposerHeader, LineBreaksInValuesAreDropped) {
  OutgoingMessage message = Basic();
  message.subject = "Hi\r\nBcc: evil@example.com";
  message.organization = "\nX: y";
  message.sender_name = "Ann\r";
  message.to = "bob\r\nSubject: second";  // the client refuses such a list; still one line
  std::string block = HeaderBlock(message);
  EXPECT_NE(block.find("Subject: HiBcc: evil@example.com\r\n"), std::string::npos);
  EXPECT_NE(block.find("Organization: X: y\r\n"), std::string::npos);
  EXPECT_NE(block.find("From: Ann <ann@example.com>\r\n"), std::string::npos);
  EXPECT_NE(block.find("To: bobSubject: second\r\n"), std::string::npos);
  // Every CR is followed by LF and every line is a header line we wrote.
  EXPECT_EQ(std::count(block.begin(), block.end(), '\n'), 8);
}

TEST(MessageComposerHeader, LongValuesAreKeptWhole) {
  OutgoingMessage message = Basic();
  message.subject = std::string(4000, 's');
  EXPECT_NE(HeaderBlock(message).find("Subject: " + std::string(4000, 's') + "\r\n"),
            std::string::npos);
}

const std::string kJuergen = "J\xC3\xBCrgen Bo\xC3\x9F";  // "Jürgen Boß"

// The lines of one header field in a header block: its first line and the
// folded lines after it.
std::string FieldLines(const std::string& block, const std::string& name) {
  size_t start = block.rfind(name + ": ", 0) == 0 ? 0 : block.find("\r\n" + name + ": ");
  if (start == std::string::npos) return "(no " + name + ")";
  if (start != 0) start += 2;
  size_t end = block.find("\r\n", start);
  while (end != std::string::npos && end + 2 < block.size() && block[end + 2] == ' ') {
    end = block.find("\r\n", end + 2);
  }
  return block.substr(start, end + 2 - start);
}

struct HeaderCase {
  const char* written;
  std::string field;  // "Subject", "Organization", "To", "Cc" or "From" (the sender name)
  std::string value;
  std::string lines;
};

class EncodedHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(EncodedHeaderTest, NonAsciiTextBecomesEncodedWords) {
  OutgoingMessage message = Basic();
  message.sender = "jb@example.org";
  const HeaderCase& c = GetParam();
  if (c.field == "Subject") message.subject = c.value;
  if (c.field == "Organization") message.organization = c.value;
  if (c.field == "To") message.to = c.value;
  if (c.field == "Cc") message.cc = c.value;
  if (c.field == "From") message.sender_name = c.value;
  EXPECT_EQ(FieldLines(HeaderBlock(message), c.field), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, EncodedHeaderTest,
    ::testing::Values(
        HeaderCase{"ascii subject as ever", "Subject", "Re: Order  4711",
                   "Subject: Re: Order  4711\r\n"},
        HeaderCase{"subject from the first encoded word", "Subject",
                   "Re: Gr\xC3\xBC\xC3\x9F"
                   "e aus K\xC3\xB6ln",
                   "Subject: Re: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\r\n"},
        HeaderCase{"mostly ascii subject in q", "Subject",
                   "Re: Order 4711 f\xC3\xBCr die Filiale in Bonn",
                   "Subject: Re: Order 4711 =?UTF-8?Q?f=C3=BCr_die_Filiale_in_Bonn?=\r\n"},
        HeaderCase{"word that looks encoded is encoded", "Subject", "=?x?q?y?= \xC3\xA4",
                   "Subject: =?UTF-8?B?PT94P3E/eT89IMOk?=\r\n"},
        HeaderCase{"organization", "Organization", "M\xC3\xBCller Handel",
                   "Organization: =?UTF-8?Q?M=C3=BCller_Handel?=\r\n"},
        HeaderCase{"display name, address kept", "To", kJuergen + " <jb@example.org>",
                   "To: =?UTF-8?B?SsO8cmdlbiBCb8Of?= <jb@example.org>\r\n"},
        HeaderCase{"quoted display name", "To", "\"" + kJuergen + "\" <jb@example.org>",
                   "To: =?UTF-8?B?SsO8cmdlbiBCb8Of?= <jb@example.org>\r\n"},
        HeaderCase{"comment form becomes a display name", "Cc", "jb@example.org (" + kJuergen + ")",
                   "Cc: =?UTF-8?B?SsO8cmdlbiBCb8Of?= <jb@example.org>\r\n"},
        HeaderCase{"ascii piece as ever", "Cc", " Bob <bob@example.org>",
                   "Cc:  Bob <bob@example.org>\r\n"},
        HeaderCase{"sender name", "From", kJuergen,
                   "From: =?UTF-8?B?SsO8cmdlbiBCb8Of?= <jb@example.org>\r\n"},
        // An address itself is never changed, non-ASCII or not.
        HeaderCase{"non ascii address stays", "To", "j\xC3\xBC@example.org",
                   "To: j\xC3\xBC@example.org\r\n"}),
    NameRowsBy(&HeaderCase::written));

TEST(MessageComposerHeader, LongEncodedTextsAreFoldedAt78) {
  OutgoingMessage message = Basic();
  std::string subject = "Rechnung";
  for (int i = 0; i < 30; ++i) subject += " f\xC3\xBCr M\xC3\xA4rz";
  message.subject = subject;
  message.sender_name = std::string(60, 'a') + " \xC3\xA4 " + std::string(60, 'b');
  message.organization =
      "Gr\xC3\xB6\xC3\x9F"
      "ter Handel der Welt " +
      std::string(100, 'x');
  const std::string block = HeaderBlock(message);
  for (const char* field : {"Subject", "From", "Organization"}) {
    SCOPED_TRACE(field);
    const std::string lines = FieldLines(block, field);
    EXPECT_GT(std::count(lines.begin(), lines.end(), '\n'), 1);
    std::string unfolded;
    size_t start = 0;
    for (size_t end; (end = lines.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = lines.substr(start, end - start);
      EXPECT_LE(line.size(), 78u) << line;
      if (start > 0) {
        EXPECT_EQ(line[0], ' ') << line;
      }
      unfolded += line;
    }
    const std::string value = DecodeEncodedWords(unfolded.substr(unfolded.find(": ") + 2));
    const std::string expected = std::string(field) == "Subject" ? subject
                                 : std::string(field) == "From"
                                     ? message.sender_name + " <ann@example.com>"
                                     : message.organization;
    EXPECT_EQ(value, expected);
  }
}

TEST(DateText, ShowsTheZoneOfTheLocalTime) {
  struct Case {
    const char* zone;
    std::time_t when;
    const char* text;
  } cases[] = {
      {"UTC0", 0, "Thu, 01 Jan 1970 00:00:00 +0000"},
      {"<-05>5", 86400 * 40, "Mon, 09 Feb 1970 19:00:00 -0500"},
      {"<+0530>-5:30", 1700000000, "Wed, 15 Nov 2023 03:43:20 +0530"},
      // Daylight saving: -0400 in July, -0500 in January.
      {"EST5EDT,M3.2.0,M11.1.0", 1720000000, "Wed, 03 Jul 2024 05:46:40 -0400"},
      {"EST5EDT,M3.2.0,M11.1.0", 1705000000, "Thu, 11 Jan 2024 14:06:40 -0500"},
      {"<-0930>9:30", 1000000000, "Sat, 08 Sep 2001 16:16:40 -0930"},
  };
  for (const Case& c : cases) {
    TimeZone zone(c.zone);
    EXPECT_EQ(DateText(c.when), c.text) << c.zone;
  }
}

TEST(AttachmentContentType, ByCaseSensitiveExtension) {
  struct Case {
    const char* name;
    const char* type;
  } cases[] = {
      {"index.html", "text/html"},
      {"page.htm", "text/html"},
      {"a.htmx", "text/html"},
      {"notes.txt", "text/plain"},
      {"a.gif", "image/gif"},
      {"a.jpg", "image/jpeg"},
      {"a.png", "image/png"},
      {"a.zip", "application/x-zip-compressed"},
      {"report.TXT", "application/octet-stream"},
      {"photo.jpeg", "application/octet-stream"},
      {"A.GIF", "application/octet-stream"},
      {"archive.txt.gz", "application/octet-stream"},
      {"no_extension", "application/octet-stream"},
      {"", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_EQ(AttachmentContentType(c.name), c.type) << c.name;
}

// "=_" never occurs in quoted-printable or Base64 text; the rest is random.
TEST(MultipartBoundary, IsRandomAndCannotOccurInEncodedText) {
  const std::string first = MultipartBoundary();
  EXPECT_TRUE(std::regex_match(first, std::regex("NEXT_PART_=_[0-9A-F]{32}"))) << first;
  EXPECT_NE(MultipartBoundary(), first);
}

TEST(NewMessageId, IsUniqueAndNamesTheHost) {
  const std::string first = NewMessageId("mail.example.org");
  EXPECT_TRUE(std::regex_match(first, std::regex("<[0-9]+\\.[0-9A-F]{24}@mail\\.example\\.org>")))
      << first;
  EXPECT_NE(NewMessageId("mail.example.org"), first);
  // A host name that would break the header gives a harmless one.
  for (const char* host : {"", "bad host", "x>y", "a\r\nb"}) {
    EXPECT_TRUE(
        std::regex_match(NewMessageId(host), std::regex("<[0-9]+\\.[0-9A-F]{24}@localhost>")))
        << host;
  }
}

std::string SinglePart(const std::string& body) {
  std::string wire;
  StringOutput out(wire);
  MessageComposer(out).SendSinglePartBody(body);
  return wire;
}

TEST(MessageComposerSinglePart, EmptyBodyEndsWithTheEncodingLine) {
  EXPECT_EQ(SinglePart(""),
            "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n");
}

TEST(MessageComposerSinglePart, LengthIsTheBodySizePlusFive) {
  std::string body(100, 'b');
  EXPECT_EQ(SinglePart(body),
            "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n"
            "Content-Length: 105\r\n\r\n" +
                body);
}

// Bytes above 127 never go out as they are: quoted-printable, with the
// charset they are valid in, and the length of what is sent.
TEST(MessageComposerSinglePart, EightBitBodiesAreQuotedPrintable) {
  struct Case {
    std::string body;
    std::string charset;
    std::string sent;
  } cases[] = {
      {"Gr\xC3\xBC\xC3\x9F"
       "e\n",
       "utf-8", "Gr=C3=BC=C3=9Fe\n"},
      {"Gr\xFC\xDF"
       "e\n",
       "unknown-8bit", "Gr=FC=DFe\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SinglePart(c.body), "Content-Type: text/plain; charset=" + c.charset +
                                      "\r\nContent-Transfer-Encoding: quoted-printable\r\n"
                                      "Content-Length: " +
                                      std::to_string(c.sent.size() + 5) + "\r\n\r\n" + c.sent)
        << c.charset;
  }
}

class MessageComposerMultipart : public ::testing::Test {
 protected:
  MessageComposerMultipart() : file_(std::tmpfile()) {}
  ~MessageComposerMultipart() override { std::fclose(file_); }

  int Compose(const std::string& body, const std::vector<std::string>& attachments) {
    StringOutput out(header_);
    return MessageComposer(out).ComposeMultipart(file_, body, attachments, "B");
  }
  std::string FileText() {
    std::rewind(file_);
    std::string text;
    char block[4096];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, file_)) > 0) text.append(block, count);
    return text;
  }
  std::string Make(const std::string& name, const std::string& content) {
    WriteWholeFile(folder_.File(name), content);
    return folder_.File(name);
  }
  std::string HeaderFor(size_t length) {
    return "Content-Type: multipart/mixed; boundary=\"B\"\r\nContent-Length: " +
           std::to_string(length + 5) + "\r\n\r\n";
  }

  TempDir folder_;
  std::FILE* file_;
  std::string header_;
};

constexpr const char* kTextPart =
    "\r\n--B\r\nContent-Type: text/plain; charset=us-ascii\r\n"
    "Content-Transfer-Encoding: 7bit\r\n\r\n";

TEST_F(MessageComposerMultipart, TextAndBase64PartsInOrder) {
  std::string text_path = Make("notes.txt", "line1\nline2");
  std::string binary_path = Make("data.bin", "Man");
  ASSERT_EQ(Compose("Hi\n", {text_path, binary_path}), 1);
  std::string expected = std::string(kTextPart) + "Hi\n\r\n" +
                         "\r\n--B\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
                         "Content-Transfer-Encoding: 7bit\r\n"
                         "Content-Disposition: inline; filename=\"notes.txt\"\r\n\r\n"
                         "line1\nline2"
                         "\r\n--B\r\nContent-Type: application/octet-stream; name=\"data.bin\"\r\n"
                         "Content-Transfer-Encoding: base64\r\n"
                         "Content-Disposition: inline; filename=\"data.bin\"\r\n\r\n"
                         "TWFu\n"
                         "\r\n--B--";
  EXPECT_EQ(FileText(), expected);
  EXPECT_EQ(header_, HeaderFor(expected.size()));
}

TEST_F(MessageComposerMultipart, Base64LinesAre72Characters) {
  std::string path = Make("block.bin", std::string(54 * 3 + 1, '\x01'));
  ASSERT_EQ(Compose("", {path}), 1);
  std::string text = FileText();
  size_t start = text.find("\r\n\r\n", text.find("block.bin")) + 4;
  std::string encoded = text.substr(start, text.find("\r\n--B--") - start);
  ASSERT_EQ(encoded.size(), 3 * 73 + 5u);
  for (int line = 0; line < 3; ++line) EXPECT_EQ(encoded[line * 73 + 72], '\n');
  EXPECT_EQ(encoded.substr(3 * 73), "AQ==\n");
}

TEST_F(MessageComposerMultipart, EmptyOrVanishedAttachmentGivesAnEmptyPart) {
  std::string empty = Make("empty.bin", "");
  std::string vanished = Make("gone.bin", "soon gone");
  unlink(vanished.c_str());
  ASSERT_EQ(Compose("", {empty, vanished}), 1);
  std::string text = FileText();
  EXPECT_NE(text.find("filename=\"empty.bin\"\r\n\r\n\r\n--B\r\n"), std::string::npos);
  EXPECT_NE(text.find("filename=\"gone.bin\"\r\n\r\n\r\n--B--"), std::string::npos);
}

// A pipe without a writer would block an ordinary open for good.
TEST_F(MessageComposerMultipart, PipeOrFolderDoesNotStallTheComposition) {
  std::string pipe_path = folder_.File("pipe.bin");
  ASSERT_EQ(mkfifo(pipe_path.c_str(), 0600), 0);
  ASSERT_EQ(Compose("", {pipe_path, folder_.path()}), 1);
  std::string text = FileText();
  EXPECT_NE(text.find("filename=\"pipe.bin\"\r\n\r\n\r\n--B\r\n"), std::string::npos);
}

TEST_F(MessageComposerMultipart, QuotesInFileNamesCannotEndTheParameter) {
  std::string path = Make("a\"b\\c.txt", "x");
  ASSERT_EQ(Compose("", {path}), 1);
  EXPECT_NE(FileText().find("name=\"a\\\"b\\\\c.txt\"\r\n"), std::string::npos);
}

TEST_F(MessageComposerMultipart, LargeFileIsCopiedCompletely) {
  std::string content;
  for (int i = 0; i < 100000; ++i) content += static_cast<char>('a' + i % 26);
  std::string path = Make("big.txt", content);
  ASSERT_EQ(Compose("", {path}), 1);
  EXPECT_NE(FileText().find("\r\n\r\n" + content + "\r\n--B--"), std::string::npos);
}

// Text with bytes above 127 goes quoted-printable, labelled with the charset
// it is valid in; ASCII text goes as it always did.
TEST_F(MessageComposerMultipart, EightBitTextPartsAreQuotedPrintable) {
  std::string utf8 = Make("notes.txt",
                          "Gr\xC3\xBC\xC3\x9F"
                          "e\n");
  std::string latin1 = Make("page.htm",
                            "<p>Gr\xFC\xDF"
                            "e</p>");
  std::string ascii = Make("plain.txt", "plain\n");
  ASSERT_EQ(Compose("K\xC3\xB6ln\n", {utf8, latin1, ascii}), 1);
  std::string expected =
      "\r\n--B\r\nContent-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n\r\nK=C3=B6ln\n\r\n"
      "\r\n--B\r\nContent-Type: text/plain; charset=utf-8; name=\"notes.txt\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "Content-Disposition: inline; filename=\"notes.txt\"\r\n\r\n"
      "Gr=C3=BC=C3=9Fe\n"
      "\r\n--B\r\nContent-Type: text/html; charset=unknown-8bit; name=\"page.htm\"\r\n"
      "Content-Transfer-Encoding: quoted-printable\r\n"
      "Content-Disposition: inline; filename=\"page.htm\"\r\n\r\n"
      "<p>Gr=FC=DFe</p>"
      "\r\n--B\r\nContent-Type: text/plain; name=\"plain.txt\"\r\n"
      "Content-Transfer-Encoding: 7bit\r\n"
      "Content-Disposition: inline; filename=\"plain.txt\"\r\n\r\n"
      "plain\n"
      "\r\n--B--";
  EXPECT_EQ(FileText(), expected);
}

// A name with non-ASCII characters is written in the parameter form that
// carries its charset, in sections on folded lines.
TEST_F(MessageComposerMultipart, NonAsciiFileNamesCarryTheirCharset) {
  std::string path = Make("Rechnung M\xC3\xA4rz.bin", "x");
  std::string long_path =
      Make(std::string(30, 'a') + "\xC3\xA4" + std::string(30, 'b') + ".bin", "y");
  ASSERT_EQ(Compose("", {path, long_path}), 1);
  const std::string text = FileText();
  EXPECT_NE(text.find("Content-Type: application/octet-stream;\r\n"
                      " name*=UTF-8''Rechnung%20M%C3%A4rz.bin\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(
      text.find("Content-Disposition: inline;\r\n filename*=UTF-8''Rechnung%20M%C3%A4rz.bin\r\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("Content-Disposition: inline;\r\n filename*0*=UTF-8''" +
                      std::string(30, 'a') + "%C3%A4" + std::string(17, 'b') +
                      ";\r\n filename*1*=" + std::string(13, 'b') + ".bin\r\n"),
            std::string::npos)
      << text;
}

struct BoundaryCase {
  const char* written;
  std::string body;
  std::string attachment;  // a text attachment's content
};

class BoundaryInTextTest : public MessageComposerMultipart,
                           public ::testing::WithParamInterface<BoundaryCase> {};

// The boundary the composition starts with occurs in a text part: a new
// random one replaces it, and every part arrives whole.
TEST_P(BoundaryInTextTest, IsReplacedByANewOne) {
  std::string path = Make("letter.txt", GetParam().attachment);
  ASSERT_EQ(Compose(GetParam().body, {path}), 1);
  std::smatch found;
  ASSERT_TRUE(
      std::regex_search(header_, found, std::regex("boundary=\"(NEXT_PART_=_[0-9A-F]{32})\"")))
      << header_;
  const std::string delimiter = "--" + found[1].str();
  const std::string text = FileText();
  EXPECT_EQ(header_, "Content-Type: multipart/mixed; boundary=\"" + found[1].str() +
                         "\"\r\nContent-Length: " + std::to_string(text.size() + 5) + "\r\n\r\n");
  EXPECT_EQ(text.substr(0, delimiter.size() + 2), "\r\n" + delimiter);
  EXPECT_NE(text.find(GetParam().attachment + "\r\n" + delimiter + "--"), std::string::npos);
  size_t delimiters = 0;
  for (size_t at = text.find(delimiter); at != std::string::npos;
       at = text.find(delimiter, at + 1)) {
    ++delimiters;
  }
  EXPECT_EQ(delimiters, 3u);  // the text part, the attachment, the end
}

INSTANTIATE_TEST_SUITE_P(
    Parts, BoundaryInTextTest,
    ::testing::Values(BoundaryCase{"in the body",
                                   "before\n--B\nContent-Type: text/html\n\nforged\n", "x"},
                      BoundaryCase{"in an 8 bit body", "K\xC3\xB6ln\n--B--\n", "x"},
                      BoundaryCase{"in a text attachment", "hello", "a\n--B\nforged part\n"},
                      BoundaryCase{"split between blocks", "hello",
                                   std::string(MessageComposer::kBlockSize - 1, 'x') + "--B tail"}),
    NameRowsBy(&BoundaryCase::written));

TEST(MessageComposerMultipartFailure, FullDiskIsReportedAndNothingIsSent) {
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::string header;
  StringOutput out(header);
  std::string big(100000, 'x');
  EXPECT_EQ(MessageComposer(out).ComposeMultipart(full, big, {}, "B"), -ENOSPC);
  EXPECT_EQ(header, "");
  std::fclose(full);
}

// Read back by Python's email package with policy.default, as a mail program
// of today reads it: the header texts, body and file names come back as they
// were given, nothing is a defect and not one byte is above 127.
struct ReadBackCase {
  const char* written;
  OutgoingMessage message;
  std::vector<std::pair<std::string, std::string>> files;  // name, content
  std::string to;                                          // as the reader gives it
  std::string cc;
  std::string from;
  std::string text_charset;  // of the text part
};

class ComposedMessageReadBackTest : public ::testing::TestWithParam<ReadBackCase> {
 protected:
  // What the SMTP side makes of the line ends: every one CR LF.
  static std::string OnTheWire(const std::string& composed) {
    std::string wire;
    for (size_t i = 0; i < composed.size(); ++i) {
      const char c = composed[i];
      if (c == '\r' && i + 1 < composed.size() && composed[i + 1] == '\n') continue;
      if (c == '\r' || c == '\n') {
        wire += "\r\n";
      } else {
        wire.push_back(c);
      }
    }
    return wire;
  }
  static std::string AsSentText(const std::string& text) { return OnTheWire(text); }
  // A file holding `content`, for Python's hash of it.
  std::string WriteAndName(const std::string& content) {
    const std::string path = folder_.File("expected" + std::to_string(++written_));
    WriteWholeFile(path, content);
    return path;
  }

  TempDir folder_;
  int written_ = 0;
};

TEST_P(ComposedMessageReadBackTest, ReadsBackAsGiven) {
  const ReadBackCase& c = GetParam();
  OutgoingMessage message = c.message;
  for (const auto& [name, content] : c.files) {
    WriteWholeFile(folder_.File(name), content);
    message.attachments.push_back(folder_.File(name));
  }
  std::string composed;
  StringOutput out(composed);
  ASSERT_EQ(MessageComposer(out).ComposeMessage(message, 1700000000, "host.test"), 1);
  const std::string path = folder_.File("message.eml");
  WriteWholeFile(path, OnTheWire(composed));

  DecodedMime mime = CheckDecodedMime(path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.strict_error, "");
  EXPECT_THAT(mime.defects, ::testing::IsEmpty());
  EXPECT_FALSE(mime.eight_bit);
  EXPECT_THAT(mime.Header("Subject"), ::testing::ElementsAre(message.subject));
  if (!message.organization.empty()) {
    EXPECT_THAT(mime.Header("Organization"), ::testing::ElementsAre(message.organization));
  }
  EXPECT_THAT(mime.Header("To"), ::testing::ElementsAre(c.to));
  if (!c.cc.empty()) {
    EXPECT_THAT(mime.Header("Cc"), ::testing::ElementsAre(c.cc));
  }
  EXPECT_THAT(mime.Header("From"), ::testing::ElementsAre(c.from));
  EXPECT_THAT(mime.Header("Auto-Submitted"), ::testing::ElementsAre("auto-generated"));
  ASSERT_EQ(mime.Header("Message-ID").size(), 1u);
  EXPECT_TRUE(std::regex_match(mime.Header("Message-ID")[0],
                               std::regex("<[0-9]+\\.[0-9A-F]{24}@host\\.test>")));

  ASSERT_EQ(mime.parts.size(), 1 + c.files.size());
  EXPECT_EQ(mime.parts[0].charset, c.text_charset);
  const std::string sent_body = AsSentText(message.body) + (c.files.empty() ? "" : "\r\n");
  if (c.text_charset == "unknown-8bit") {
    // No reader knows that charset: the bytes are what arrives.
    EXPECT_EQ(mime.parts[0].sha256, FileSha256({WriteAndName(sent_body)})[0]);
  } else {
    EXPECT_EQ(mime.parts[0].text, sent_body);
  }
  for (size_t i = 0; i < c.files.size(); ++i) {
    SCOPED_TRACE(c.files[i].first);
    const DecodedPart& part = mime.parts[i + 1];
    EXPECT_EQ(part.filename, c.files[i].first);
    const bool text = part.content_type.rfind("text/", 0) == 0;
    const std::string sent = text ? AsSentText(c.files[i].second) : c.files[i].second;
    EXPECT_EQ(part.sha256, FileSha256({WriteAndName(sent)})[0]);
  }
}

OutgoingMessage Outgoing(std::string subject, std::string sender_name, std::string to,
                         std::string cc, std::string organization, std::string body) {
  OutgoingMessage message;
  message.sender = "agent@example.com";
  message.subject = std::move(subject);
  message.sender_name = std::move(sender_name);
  message.to = std::move(to);
  message.cc = std::move(cc);
  message.organization = std::move(organization);
  message.body = std::move(body);
  return message;
}

const std::string kLongSubject =
    "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xAE\xE6\x94\xAF\xE5\xBA\x97\xE3\x81\xB8 "
    "\xF0\x9F\x93\xA6 Lieferung f\xC3\xBCr K\xC3\xB6ln, Z\xC3\xBCrich und "
    "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xE2\x80\x93 "
    "Rechnungsnummer 2024-0331-\xC3\x84\xC3\x96\xC3\x9C \xE2\x82\xAC 1.190,00";

INSTANTIATE_TEST_SUITE_P(
    Messages, ComposedMessageReadBackTest,
    ::testing::Values(
        ReadBackCase{"ascii only",
                     Outgoing("Order 4711", "Mail Agent", "Ann <ann@example.org>", "",
                              "Example Ltd", "Hello Ann,\nyour order ships.\n"),
                     {},
                     "Ann <ann@example.org>",
                     "",
                     "Mail Agent <agent@example.com>",
                     "us-ascii"},
        ReadBackCase{"german in every field",
                     Outgoing("Re: Gr\xC3\xBC\xC3\x9F"
                              "e aus K\xC3\xB6ln",
                              kJuergen, kJuergen + " <jb@example.org>",
                              "bob@example.org (Bob M\xC3\xBCller)", "M\xC3\xBCller & S\xC3\xB6hne",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e,\nIhre Bestellung ist unterwegs.\n"),
                     {},
                     kJuergen + " <jb@example.org>",
                     "Bob M\xC3\xBCller <bob@example.org>",
                     kJuergen + " <agent@example.com>",
                     "utf-8"},
        ReadBackCase{"long subject in many scripts",
                     Outgoing(kLongSubject, "", "ann@example.org", "", "", "x\n"),
                     {},
                     "ann@example.org",
                     "",
                     "agent@example.com",
                     "us-ascii"},
        ReadBackCase{"latin1 body",
                     Outgoing("Caf\xC3\xA9", "", "ann@example.org", "", "", "Caf\xE9 au lait\n"),
                     {},
                     "ann@example.org",
                     "",
                     "agent@example.com",
                     "unknown-8bit"},
        ReadBackCase{"attachments of every kind",
                     Outgoing("Files", "", "ann@example.org", "", "",
                              "Stra\xC3\x9F"
                              "e\n.\n--NEXT_PART_=_\n"),
                     {{"notes.txt",
                       "Gr\xC3\xBC\xC3\x9F"
                       "e \n.\nline\r\nend"},
                      {"page.htm",
                       "<p>Gr\xFC\xDF"
                       "e</p>\n"},
                      {"plain.txt", "plain\n"},
                      {"Rechnung M\xC3\xA4rz 2024 \xE2\x80\x93 Kopie f\xC3\xBCr die "
                       "Buchhaltung und das Archiv.bin",
                       std::string("\0\xFF\r\n.\r\n", 7)}},
                     "ann@example.org",
                     "",
                     "agent@example.com",
                     "utf-8"}),
    NameRowsBy(&ReadBackCase::written));

}  // namespace

}  // namespace quor
