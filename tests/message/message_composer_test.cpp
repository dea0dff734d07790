#include "message/message_composer.h"

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

#include "fixtures/test_files.h"

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

}  // namespace

}  // namespace quor
