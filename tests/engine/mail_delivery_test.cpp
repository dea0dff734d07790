// Delivery of an outgoing message: the envelope made from its address texts,
// the content composed and sent over a scripted conversation, and real
// deliveries to aiosmtpd read back with Python's email package.

#include "engine/mail_delivery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fixtures/recording_sink.h"
#include "fixtures/scratch_folder.h"
#include "fixtures/scripted_server.h"
#include "fixtures/scripted_stream.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"
#include "net/host_lookup.h"

namespace quor {

namespace {

using Lines = std::vector<std::string>;
using std::chrono::seconds;

const std::string kHelo = "HELO " + LocalHostName() + "\r\n";

OutgoingMessage Simple(std::string to, std::string body = "Hello\n") {
  OutgoingMessage message;
  message.sender = "ann@example.com";
  message.to = std::move(to);
  message.subject = "Greetings";
  message.body = std::move(body);
  return message;
}

// Greeting and HELO accepted.
StreamScript& Greeted(StreamScript& script) {
  return script.Send("220 fake ready\r\n").Expect(kHelo).Send("250 hello\r\n");
}

// ---- Over a scripted conversation ------------------------------------------

TEST(MailDeliveryTest, SendsEnvelopeHeaderBlockAndBody) {
  StreamScript script;
  Greeted(script)
      .Expect("MAIL FROM: <ann@example.com>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <ann>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: < bob>\r\n")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <carl>\r\n")
      .Send("250 ok\r\n")
      .Expect("DATA\r\n")
      .Send("354 go ahead\r\n")
      .ExpectAnythingUntil("\r\n.\r\n")
      .Send("250 queued\r\n")
      .Expect("QUIT\r\n")
      .Send("221 bye\r\n");
  RecordingSink log;
  {
    SmtpClient client(&log, 5);
    ASSERT_EQ(client.Open(script.Stream()), 1);
    OutgoingMessage message = Simple("Ann <ann>, bob", ".hidden\nline\n");
    message.cc = "carl,";
    EXPECT_EQ(DeliverMessage(client, message), 1);
    EXPECT_EQ(client.LastReply(), "250 queued\r\n");
  }
  EXPECT_EQ(script.Errors(), Lines{});
  EXPECT_TRUE(script.Finished());
  // HELO, MAIL, three RCPT, DATA; To, To, Cc, From, Subject, Date,
  // Message-ID, Auto-Submitted, MIME-Version, Content-Type, encoding, length,
  // empty line, two body lines, the closing empty line, the dot; QUIT.
  Lines lines = script.WrittenLines();
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[0], "HELO " + LocalHostName());
  EXPECT_EQ(lines[6], "To: Ann <ann>");
  EXPECT_EQ(lines[7], "To:  bob");
  EXPECT_EQ(lines[8], "Cc: carl");
  // The message's id names this host.
  EXPECT_THAT(lines[12],
              ::testing::MatchesRegex("Message-ID: <[0-9]+\\.[0-9A-F]+@" + LocalHostName() + ">"));
  EXPECT_EQ(lines[13], "Auto-Submitted: auto-generated");
  EXPECT_EQ(lines[18], "");
  EXPECT_EQ(lines[19], "..hidden");  // the transparency dot
  EXPECT_EQ(lines[20], "line");
  EXPECT_EQ(lines[22], ".");
  EXPECT_EQ(log.lines, (Lines{"[SMTP] From: <ann@example.com>", "[SMTP] To: <ann>",
                              "[SMTP] To: < bob>", "[SMTP] To: <carl>"}));
}

TEST(MailDeliveryTest, MissingSenderOrRecipientSendsNothing) {
  StreamScript script;
  Greeted(script);
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Open(script.Stream()), 1);
  OutgoingMessage no_sender = Simple("bob");
  no_sender.sender.clear();
  EXPECT_EQ(DeliverMessage(client, no_sender), -1);
  EXPECT_EQ(DeliverMessage(client, Simple("")), -1);
  // A Cc alone is no recipient list.
  OutgoingMessage only_cc = Simple("");
  only_cc.cc = "carl";
  EXPECT_EQ(DeliverMessage(client, only_cc), -1);
  EXPECT_EQ(script.Written(), kHelo);
}

// An address text with a line break would become a command of its own, even
// where the bare address taken from it has none.
TEST(MailDeliveryTest, AddressWithLineBreakIsRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* field;
    std::string value;
  } cases[] = {
      {"sender", "ann@example.com>\r\nRCPT TO:<evil@example.com"},
      {"to", "bob\r\nRSET"},
      {"to", "bob\nRCPT TO:<evil@example.com>"},
      {"to", "Evil\r\nDATA <bob>"},
      {"cc", "carl\rDATA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    StreamScript script;
    Greeted(script);
    SmtpClient client(nullptr, 5);
    ASSERT_EQ(client.Open(script.Stream()), 1);
    OutgoingMessage message = Simple("bob");
    if (std::string(c.field) == "sender") message.sender = c.value;
    if (std::string(c.field) == "to") message.to = c.value;
    if (std::string(c.field) == "cc") message.cc = c.value;
    EXPECT_EQ(DeliverMessage(client, message), -1);
    EXPECT_EQ(script.Written(), kHelo);
  }
}

TEST(MailDeliveryTest, OnlyExistingFilesCountAsAttachments) {
  TempDir folder;
  WriteWholeFile(folder.File("there.txt"), "x");
  EXPECT_TRUE(AttachmentExists(folder.File("there.txt")));
  EXPECT_FALSE(AttachmentExists(folder.File("missing.txt")));
  EXPECT_FALSE(AttachmentExists(""));
}

// The scratch file of a multipart message never outlives the send.
TEST(MailDeliveryTest, ScratchFileIsGoneInEveryOutcome) {
  TempDir files;
  WriteWholeFile(files.File("data.bin"), std::string(100000, '\x7f'));
  ScratchFolder scratch;
  OutgoingMessage message = Simple("bob");
  message.attachments = {files.File("data.bin")};
  auto send = [&](std::unique_ptr<ByteStream> stream) {
    SmtpClient client(nullptr, 5);
    int opened = client.Open(std::move(stream));
    return opened == 1 ? DeliverMessage(client, message) : opened;
  };
  auto ready_for_data = [](StreamScript& script) -> StreamScript& {
    return Greeted(script)
        .Expect("MAIL FROM: <ann@example.com>\r\n")
        .Send("250 ok\r\n")
        .Expect("RCPT TO: <bob>\r\n")
        .Send("250 ok\r\n")
        .Expect("DATA\r\n")
        .Send("354 go\r\n");
  };

  {
    SmtpServer sink;
    SmtpClient client(nullptr, 5);
    ASSERT_EQ(client.Connect(sink.host_text(), "smtp"), 1);
    EXPECT_EQ(DeliverMessage(client, message), 1);
  }
  EXPECT_TRUE(scratch.Empty());
  EXPECT_EQ(scratch.OpenFiles(), 0);

  // Takes the whole message, then never answers.
  StreamScript silent;
  ready_for_data(silent).ExpectAnythingUntil("\r\n.\r\n").Silence();
  EXPECT_EQ(send(silent.Stream()), -1);
  EXPECT_TRUE(scratch.Empty());
  EXPECT_EQ(scratch.OpenFiles(), 0);

  StreamScript dropping;
  ready_for_data(dropping).Close();
  EXPECT_LT(send(dropping.Stream()), 0);
  EXPECT_TRUE(scratch.Empty());
  EXPECT_EQ(scratch.OpenFiles(), 0);
}

TEST(MailDeliveryTest, UnusableScratchFolderDropsTheHalfMessage) {
  TempDir files;
  WriteWholeFile(files.File("data.bin"), "abc");
  SmtpServer sink;
  ScratchFolder scratch;
  setenv("TMPDIR", (scratch.path() + "/missing").c_str(), 1);
  SmtpClient client(nullptr, 5);
  OutgoingMessage message = Simple("bob");
  message.attachments = {files.File("data.bin")};
  ASSERT_EQ(client.Connect(sink.host_text(), "smtp"), 1);
  EXPECT_EQ(DeliverMessage(client, message), -ENOENT);
  EXPECT_FALSE(client.connected());
  EXPECT_EQ(sink.MessageCount(), 0u);
}

// --- Against a real SMTP server, judged by Python's email package ----------

class SmtpClientDelivery : public ::testing::Test {
 protected:
  // One server for the suite: starting Python costs more than the tests.
  static void SetUpTestSuite() { server_ = new SmtpServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  // Sends and returns the message the server stored for it.
  StoredMessage Deliver(const OutgoingMessage& message,
                        const std::vector<std::string>& attachments = {}) {
    size_t before = server_->MessageCount();
    SmtpClient client(&log_, 10);
    OutgoingMessage with_files = message;
    for (const std::string& path : attachments) {
      if (AttachmentExists(path)) with_files.attachments.push_back(path);
    }
    EXPECT_EQ(client.Connect(server_->host_text(), "smtp"), 1);
    EXPECT_EQ(DeliverMessage(client, with_files), 1) << client.LastReply() << server_->LogText();
    EXPECT_TRUE(server_->WaitForMessages(before + 1));
    std::vector<StoredMessage> messages = server_->Messages();
    return messages.size() > before ? messages[before] : StoredMessage{};
  }
  std::string MakeFile(const std::string& name, const std::string& content) {
    std::string path = files_.File(name);
    WriteWholeFile(path, content);
    return path;
  }

  static SmtpServer* server_;
  TempDir files_;
  RecordingSink log_;
};

SmtpServer* SmtpClientDelivery::server_ = nullptr;

bool AllLineEndsAreCrLf(const std::string& data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r')) return false;
    if (data[i] == '\r' && (i + 1 == data.size() || data[i + 1] != '\n')) return false;
  }
  return true;
}

TEST_F(SmtpClientDelivery, EnvelopeFollowsTheSplittingRules) {
  OutgoingMessage message = Simple("Ann <ann>, bob");
  message.sender = "ann@example.com (Ann Smith)";
  message.cc = "carl@example.com,";
  StoredMessage stored = Deliver(message);
  EXPECT_EQ(stored.mail_from, "ann@example.com");
  // "RCPT TO: < bob>" keeps the blank inside the brackets; this server drops it.
  EXPECT_EQ(stored.rcpt_tos, (std::vector<std::string>{"ann", "bob", "carl@example.com"}));
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("To"), (std::vector<std::string>{"Ann <ann>", "bob"}));
  EXPECT_EQ(mime.Header("From"), std::vector<std::string>{"ann@example.com (Ann Smith)"});
}

TEST_F(SmtpClientDelivery, SinglePartMessageReadsBackAsSent) {
  OutgoingMessage message = Simple("bob@example.com", "First line\nsecond line\n");
  message.reply_to = "orders@example.com";
  message.sender_name = "Ann Smith";
  message.organization = "Example Ltd";
  StoredMessage stored = Deliver(message);
  EXPECT_TRUE(AllLineEndsAreCrLf(stored.data));
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  std::vector<std::string> names;
  for (const auto& header : mime.headers) names.push_back(header.first);
  EXPECT_EQ(names, (std::vector<std::string>{"To", "From", "Reply-To", "Subject", "Organization",
                                             "Date", "Message-ID", "Auto-Submitted", "MIME-Version",
                                             "Content-Type", "Content-Transfer-Encoding",
                                             "Content-Length"}));
  EXPECT_EQ(mime.Header("From")[0], "Ann Smith <ann@example.com>");
  EXPECT_EQ(mime.content_type, "text/plain");
  EXPECT_EQ(mime.text, "First line\r\nsecond line\r\n\r\n");
  EXPECT_TRUE(mime.attachments.empty());
}

TEST_F(SmtpClientDelivery, DotLinesArriveUnchanged) {
  StoredMessage stored = Deliver(Simple("bob", ".hidden\n.\n..\nafter the dot\n"));
  EXPECT_NE(stored.data.find("\r\n.hidden\r\n.\r\n..\r\nafter the dot\r\n"), std::string::npos);
}

TEST_F(SmtpClientDelivery, BareLineFeedsAndCarriageReturnsArriveAsLines) {
  StoredMessage stored = Deliver(Simple("bob", "one\ntwo\rthree\r\nfour"));
  EXPECT_TRUE(AllLineEndsAreCrLf(stored.data));
  EXPECT_NE(stored.data.find("\r\n\r\none\r\ntwo\r\nthree\r\nfour\r\n"), std::string::npos);
}

TEST_F(SmtpClientDelivery, LineBreaksInHeaderValuesAddNoHeaders) {
  OutgoingMessage message = Simple("bob@example.com");
  message.subject = "Hello\r\nBcc: evil@example.com";
  message.organization = "Org\nX-Injected: yes";
  message.sender_name = "Ann\r\n\r\nbody starts early";
  StoredMessage stored = Deliver(message);
  EXPECT_EQ(stored.rcpt_tos, std::vector<std::string>{"bob@example.com"});
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_TRUE(mime.Header("Bcc").empty());
  EXPECT_TRUE(mime.Header("X-Injected").empty());
  EXPECT_EQ(mime.Header("Subject"), std::vector<std::string>{"HelloBcc: evil@example.com"});
  EXPECT_EQ(mime.Header("From"),
            std::vector<std::string>{"Annbody starts early <ann@example.com>"});
  EXPECT_EQ(mime.text, "Hello\r\n\r\n");
}

TEST_F(SmtpClientDelivery, LongHeaderLinesAndAddressesArriveWhole) {
  std::string local(1500, 'r');
  OutgoingMessage message = Simple(local + "@example.com");
  message.subject = std::string(5000, 's');
  StoredMessage stored = Deliver(message);
  EXPECT_EQ(stored.rcpt_tos, std::vector<std::string>{local + "@example.com"});
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("Subject"), std::vector<std::string>{std::string(5000, 's')});
}

TEST_F(SmtpClientDelivery, EveryAttachmentDecodesToItsFileBytes) {
  std::mt19937 random(42);
  std::string megabyte(1 << 20, '\0');
  for (char& c : megabyte) c = static_cast<char>(random());
  std::string binary54;
  for (int i = 0; i < 54; ++i) binary54 += static_cast<char>(i * 5);
  std::vector<std::string> paths = {
      MakeFile("one.bin", "\xff"),
      MakeFile("fifty-four.dat", binary54),
      MakeFile("random.zip", megabyte),
      MakeFile("notes.txt", "first\r\nsecond\r\n.dotted\r\nlast"),
      MakeFile("page.html", "<html>\r\n<body>hi</body>\r\n</html>\r\n"),
      MakeFile("name with blanks.png", "\x89PNG\r\n\x1a\n"),
  };
  StoredMessage stored = Deliver(Simple("bob", "See the files.\n"), paths);
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_TRUE(mime.defects.empty()) << mime.defects[0];
  EXPECT_EQ(mime.content_type, "multipart/mixed");
  EXPECT_EQ(mime.boundary.rfind("NEXT_PART_", 0), 0u);
  EXPECT_EQ(mime.text, "See the files.\r\n\r\n");
  ASSERT_EQ(mime.attachments.size(), paths.size());
  const char* types[] = {"application/octet-stream",
                         "application/octet-stream",
                         "application/x-zip-compressed",
                         "text/plain",
                         "text/html",
                         "image/png"};
  std::vector<std::string> hashes = FileSha256(paths);
  ASSERT_EQ(hashes.size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    const MimeAttachment& part = mime.attachments[i];
    EXPECT_EQ(part.filename, std::filesystem::path(paths[i]).filename().string());
    EXPECT_EQ(part.content_type, types[i]);
    EXPECT_EQ(part.size, ReadWholeFile(paths[i]).size());
    EXPECT_EQ(part.sha256, hashes[i]);
  }
  EXPECT_TRUE(AllLineEndsAreCrLf(stored.data));
}

TEST_F(SmtpClientDelivery, TextAttachmentWithBareLineFeedsArrivesWithCrLf) {
  std::string path = MakeFile("unix.txt", "a\nb\n");
  StoredMessage stored = Deliver(Simple("bob"), {path});
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  ASSERT_EQ(mime.attachments.size(), 1u);
  EXPECT_EQ(mime.attachments[0].size, 6u);  // "a\r\nb\r\n"
}

}  // namespace

}  // namespace quor
