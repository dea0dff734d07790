#include "net/smtp_client.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "fixtures/scripted_server.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"
#include "net/temporary_file.h"

namespace quor {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class LinesLog : public LogTarget {
 public:
  void Log(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

OutgoingMessage Simple(std::string to, std::string body = "Hello\n") {
  OutgoingMessage message;
  message.sender = "ann@example.com";
  message.to = std::move(to);
  message.subject = "Greetings";
  message.body = std::move(body);
  return message;
}

// Greeting and HELO accepted.
ScriptedServer& Greet(ScriptedServer& server) {
  return server.Send("220 fake ready\r\n").Expect("HELO ").Send("250 hello\r\n");
}

ScriptedServer& ExpectLines(ScriptedServer& server, int count) {
  for (int i = 0; i < count; ++i) server.Expect();
  return server;
}

// Points TMPDIR at a private folder for the life of the object.
class ScratchFolder {
 public:
  ScratchFolder() {
    const char* old = std::getenv("TMPDIR");
    if (old) old_ = old;
    setenv("TMPDIR", folder_.path().c_str(), 1);
  }
  ~ScratchFolder() {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  const std::string& path() const { return folder_.path(); }
  bool Empty() const { return std::filesystem::is_empty(folder_.path()); }
  // Descriptors of this process that still point into the folder.
  int OpenFiles() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      auto target = std::filesystem::read_symlink(entry.path(), error);
      if (!error && target.string().rfind(folder_.path() + "/", 0) == 0) ++count;
    }
    return count;
  }

 private:
  TempDir folder_;
  std::optional<std::string> old_;
};

// --- Pure helpers --------------------------------------------------------

TEST(MailboxAddress, TakesTheBareAddress) {
  struct Case {
    const char* text;
    const char* address;
  } cases[] = {
      {"Ann <ann@example.com>", "ann@example.com"},
      {"ann (Ann Smith)", "ann"},
      {"ann   (Ann)", "ann"},
      {"bob", "bob"},
      {" bob", " bob"},  // a leading blank stays
      {"<ann", "<ann"},
      {"x>y<z", "x>y<z"},
      {"(only comment)", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MailboxAddress(c.text), c.address) << c.text;
}

TEST(SplitRecipients, KeepsBlanksAndIgnoresATrailingComma) {
  using List = std::vector<std::string>;
  EXPECT_EQ(SplitRecipients(""), List{});
  EXPECT_EQ(SplitRecipients("ann"), List{"ann"});
  EXPECT_EQ(SplitRecipients("Ann <ann>, bob"), (List{"Ann <ann>", " bob"}));
  EXPECT_EQ(SplitRecipients("ann,"), List{"ann"});
  EXPECT_EQ(SplitRecipients("ann,,bob"), (List{"ann", "", "bob"}));
  EXPECT_EQ(SplitRecipients(","), List{""});
  std::string long_piece(3000, 'a');  // far beyond any fixed buffer
  EXPECT_EQ(SplitRecipients(long_piece + ",b"), (List{long_piece, "b"}));
}

std::string Stuffed(const std::vector<std::string>& writes) {
  std::string wire;
  StringOutput out(wire);
  DotStuffingOutput data(out);
  for (const std::string& piece : writes) data.Write(piece.data(), piece.size());
  data.Finish();
  return wire;
}

TEST(DotStuffingOutput, MakesEveryLineEndCrLfAndDoublesLeadingDots) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"a\nb", "a\r\nb"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {".hidden\n", "..hidden\r\n"},
      {"x\n.\ny", "x\r\n..\r\ny"},
      {"x\r.\r\n", "x\r\n..\r\n"},  // a bare CR ends a line too
      {"\n.\n", "\r\n..\r\n"},
      {"a.b\n..c", "a.b\r\n...c"},
      {"end\r", "end\r\n"},
      {std::string("nul\0.x\n", 7), std::string("nul\0.x\r\n", 8)},
  };
  for (const Case& c : cases) EXPECT_EQ(Stuffed({c.in}), c.out) << c.in;
}

TEST(DotStuffingOutput, GivesTheSameBytesWhateverTheWriteSizes) {
  const std::string text = "To: a\r\n.x\n\r.y\r\r\n..\nplain line\r\n.";
  std::vector<std::string> single_bytes;
  for (char c : text) single_bytes.emplace_back(1, c);
  EXPECT_EQ(Stuffed(single_bytes), Stuffed({text}));
  EXPECT_EQ(Stuffed({"a\r", "\n.b"}), "a\r\n..b");
}

TEST(TemporaryFile, IsCreatedInTmpdirPrivateAndAlreadyUnlinked) {
  ScratchFolder scratch;
  TemporaryFile file;
  ASSERT_EQ(file.Create(), 1);
  std::string link =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fileno(file.stream())));
  EXPECT_EQ(link.rfind(scratch.path() + "/quor-mail-", 0), 0u) << link;
  EXPECT_NE(link.find("(deleted)"), std::string::npos) << link;
  struct stat status;
  ASSERT_EQ(fstat(fileno(file.stream()), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_TRUE(scratch.Empty());
}

TEST(TemporaryFile, ReportsAFolderThatCannotBeUsed) {
  ScratchFolder scratch;
  setenv("TMPDIR", (scratch.path() + "/missing").c_str(), 1);
  TemporaryFile file;
  EXPECT_EQ(file.Create(), -ENOENT);
  EXPECT_EQ(file.stream(), nullptr);
}

// --- Conversations with a scripted server --------------------------------

TEST(SmtpClientConversation, SendsEnvelopeContentAndQuit) {
  ScriptedServer server;
  Greet(server)
      .Expect("MAIL FROM: <ann@example.com>")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <ann>")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: < bob>")
      .Send("250 ok\r\n")
      .Expect("RCPT TO: <carl>")
      .Send("250 ok\r\n")
      .Expect("DATA")
      .Send("354 go ahead\r\n");
  // To, To, Cc, From, Subject, Date, MIME-Version, Content-Type, encoding,
  // length, empty line, two body lines, the closing empty line.
  ExpectLines(server, 14).Expect(".").Send("250 queued\r\n").Expect("QUIT").Send("221 bye\r\n");
  server.Start();

  LinesLog log;
  {
    SmtpClient client(&log, 5);
    ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
    OutgoingMessage message = Simple("Ann <ann>, bob", ".hidden\nline\n");
    message.cc = "carl,";
    EXPECT_EQ(client.SendMessage(message), 1);
    EXPECT_EQ(client.LastReply(), "250 queued\r\n");
  }
  ASSERT_TRUE(server.WaitForConnectionEnd());
  EXPECT_TRUE(server.Errors().empty()) << server.Errors()[0];
  std::vector<std::string> lines = server.Received();
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[0], "HELO " + LocalHostName());
  EXPECT_EQ(lines[6], "To: Ann <ann>");
  EXPECT_EQ(lines[7], "To:  bob");
  EXPECT_EQ(lines[8], "Cc: carl");
  EXPECT_EQ(lines[16], "");
  EXPECT_EQ(lines[17], "..hidden");  // the transparency dot
  EXPECT_EQ(lines[18], "line");
  EXPECT_EQ(lines[20], ".");
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{"[SMTP] From: <ann@example.com>", "[SMTP] To: <ann>",
                                      "[SMTP] To: < bob>", "[SMTP] To: <carl>"}));
}

TEST(SmtpClientConversation, RefusingGreetingStillLeadsToHelo) {
  ScriptedServer server;
  server.Send("554 go away\r\n").Expect("HELO ").Send("250 hello anyway\r\n");
  server.Expect("QUIT").Send("221 bye\r\n");
  server.Start();
  SmtpClient client(nullptr, 5);
  EXPECT_EQ(client.Connect(server.host_text(), "smtp"), 1);
  EXPECT_EQ(client.LastReply(), "250 hello anyway\r\n");
}

// A refusal at each step: the result is 0, the refusing line is LastReply()
// as it stands, and nothing after that step is sent.
TEST(SmtpClientConversation, RefusalAtEachStepEndsTheSend) {
  struct Case {
    const char* name;
    std::vector<std::string> accepted;  // replies before the refusal
    std::string last_command;
  } cases[] = {
      {"helo", {}, "HELO "},
      {"mail", {"HELO"}, "MAIL FROM:"},
      {"second rcpt", {"HELO", "MAIL", "RCPT"}, "RCPT TO: < bob>"},
      {"data", {"HELO", "MAIL", "RCPT", "RCPT"}, "DATA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    server.Send("220 ready\r\n");
    for (const std::string& command : c.accepted) server.Expect(command).Send("250 ok\r\n");
    server.Expect(c.last_command).Send("550 5.1.1 refused here\r\n");
    server.Expect("QUIT").Send("221 bye\r\n");
    server.Start();
    SmtpClient client(nullptr, 5);
    int connected = client.Connect(server.host_text(), "smtp");
    int result = connected == 1 ? client.SendMessage(Simple("Ann <ann>, bob")) : connected;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(client.LastReply(), "550 5.1.1 refused here\r\n");
    client.EndSession();
    ASSERT_TRUE(server.WaitForConnectionEnd());
    std::vector<std::string> lines = server.Received();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(c.last_command, 0), 0u);
    EXPECT_EQ(lines.back(), "QUIT");
  }
}

TEST(SmtpClientConversation, RefusalOfTheMessageAfterTheDot) {
  ScriptedServer server;
  Greet(server).Expect("MAIL").Send("250 ok\r\n").Expect("RCPT").Send("250 ok\r\n");
  server.Expect("DATA").Send("354 go\r\n");
  ExpectLines(server, 11).Expect(".").Send("552 too big\r\n").Expect("QUIT").Send("221 bye\r\n");
  server.Start();
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
  EXPECT_EQ(client.SendMessage(Simple("bob")), 0);
  EXPECT_EQ(client.LastReply(), "552 too big\r\n");
}

TEST(SmtpClientConversation, MultiLineRepliesKeepLaterRepliesInStep) {
  ScriptedServer server;
  server.Send("220-first greeting line\r\n220-second\r\n220 ready\r\n")
      .Expect("HELO ")
      .Send("250-hello\r\n250 pleased\r\n")
      .Expect("MAIL")
      .Send("250 ok\r\n")
      .Expect("RCPT")
      .Send("250 ok\r\n")
      .Expect("DATA")
      .Send("354 go\r\n");
  ExpectLines(server, 11).Expect(".").Send("554 rejected after all\r\n");
  server.Expect("QUIT").Send("221 bye\r\n");
  server.Start();
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
  EXPECT_EQ(client.LastReply(), "250 pleased\r\n");
  // Read one line per reply, the greeting's second line would pass for the
  // HELO reply and the DATA reply for the final one: a refusal reported as sent.
  EXPECT_EQ(client.SendMessage(Simple("bob")), 0);
  EXPECT_EQ(client.LastReply(), "554 rejected after all\r\n");
}

TEST(SmtpClientConversation, OverlongReplyLineIsKeptInPartAndReadWhole) {
  ScriptedServer server;
  server.Send("220 ready\r\n").Expect("HELO ").Send("250 " + std::string(3000, 'a') + "\r\n");
  server.Expect("MAIL").Send("250 sender ok\r\n").Expect("RCPT").Send("250 ok\r\n");
  server.Expect("DATA").Send("554 no data today\r\n").Expect("QUIT").Send("221 bye\r\n");
  server.Start();
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
  EXPECT_EQ(client.LastReply().size(), SmtpClient::kReplyKeep);
  EXPECT_EQ(client.LastReply().rfind("250 aaa", 0), 0u);
  // Each later reply belongs to its own command, not to the rest of the line.
  EXPECT_EQ(client.SendMessage(Simple("bob")), 0);
  EXPECT_EQ(client.LastReply(), "554 no data today\r\n");
}

TEST(SmtpClientConversation, SilentServerTimesOut) {
  ScriptedServer server;
  server.Silence(seconds(30));
  server.Start();
  SmtpClient client(nullptr, 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Connect(server.host_text(), "smtp"), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(10));
}

TEST(SmtpClientConversation, ServerFallingSilentMidLineTimesOut) {
  ScriptedServer server;
  server.Send("220 half a gree").Silence(seconds(30));
  server.Start();
  SmtpClient client(nullptr, 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_LT(client.Connect(server.host_text(), "smtp"), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, seconds(10));
}

TEST(SmtpClientConversation, TimeOutAbandonsTheConversationWithoutQuit) {
  ScriptedServer server;
  Greet(server).Expect("MAIL").Silence(seconds(30));
  server.Start();
  {
    SmtpClient client(nullptr, 1);
    ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
    EXPECT_EQ(client.SendMessage(Simple("bob")), -1);
    EXPECT_FALSE(client.connected());
  }
  ASSERT_TRUE(server.WaitForConnectionEnd());
  EXPECT_EQ(server.Received().size(), 2u);  // HELO and MAIL FROM, no QUIT
}

TEST(SmtpClientConversation, DropAfterDataIsNotReportedAsSent) {
  ScriptedServer server;
  Greet(server).Expect("MAIL").Send("250 ok\r\n").Expect("RCPT").Send("250 ok\r\n");
  server.Expect("DATA").Send("354 go\r\n").Close();
  server.Start();
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
  EXPECT_LT(client.SendMessage(Simple("bob", std::string(300000, 'x') + "\n")), 0);
}

TEST(SmtpClientConversation, UnreachableServerGivesNegativeConnect) {
  SmtpClient client(nullptr, 1);
  EXPECT_LT(client.Connect("127.0.0.1:" + std::to_string(FreeLoopbackPort()), "smtp"), 0);
  EXPECT_LT(client.SendMessage(Simple("bob")), 0);
}

TEST(SmtpClientConversation, MissingSenderOrRecipientSendsNothing) {
  ScriptedServer server;
  Greet(server);
  server.Start();
  SmtpClient client(nullptr, 5);
  ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
  OutgoingMessage no_sender = Simple("bob");
  no_sender.sender.clear();
  EXPECT_EQ(client.SendMessage(no_sender), -1);
  EXPECT_EQ(client.SendMessage(Simple("")), -1);
  client.Close();
  ASSERT_TRUE(server.WaitForConnectionEnd());
  EXPECT_EQ(server.Received().size(), 1u);  // HELO only
}

// An address with a line break would become a command of its own.
TEST(SmtpClientConversation, AddressWithLineBreakIsRefusedBeforeAnythingIsSent) {
  struct Case {
    const char* field;
    std::string value;
  } cases[] = {
      {"sender", "ann@example.com>\r\nRCPT TO:<evil@example.com"},
      {"to", "bob\r\nRSET"},
      {"to", "bob\nRCPT TO:<evil@example.com>"},
      {"cc", "carl\rDATA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ScriptedServer server;
    Greet(server);
    server.Start();
    SmtpClient client(nullptr, 5);
    ASSERT_EQ(client.Connect(server.host_text(), "smtp"), 1);
    OutgoingMessage message = Simple("bob");
    if (std::string(c.field) == "sender") message.sender = c.value;
    if (std::string(c.field) == "to") message.to = c.value;
    if (std::string(c.field) == "cc") message.cc = c.value;
    EXPECT_EQ(client.SendMessage(message), -1);
    client.Close();
    ASSERT_TRUE(server.WaitForConnectionEnd());
    EXPECT_EQ(server.Received().size(), 1u);
  }
}

TEST(SmtpClientAttachments, OnlyExistingFilesAreAdded) {
  TempDir folder;
  WriteWholeFile(folder.File("there.txt"), "x");
  SmtpClient client(nullptr);
  client.AddAttachment(folder.File("there.txt"));
  client.AddAttachment(folder.File("missing.txt"));
  client.AddAttachment("");
  EXPECT_EQ(client.attachments(), std::vector<std::string>{folder.File("there.txt")});
  client.EndSession();
  EXPECT_TRUE(client.attachments().empty());
}

// The scratch file of a multipart message never outlives the send.
TEST(SmtpClientAttachments, ScratchFileIsGoneInEveryOutcome) {
  TempDir files;
  WriteWholeFile(files.File("data.bin"), std::string(100000, '\x7f'));
  ScratchFolder scratch;
  auto send_with_attachment = [&](const std::string& host, int reply_wait = 5) {
    SmtpClient client(nullptr, reply_wait);
    client.AddAttachment(files.File("data.bin"));
    int connected = client.Connect(host, "smtp");
    return connected == 1 ? client.SendMessage(Simple("bob")) : connected;
  };

  {
    SmtpServer sink;
    EXPECT_EQ(send_with_attachment(sink.host_text()), 1);
  }
  EXPECT_TRUE(scratch.Empty());
  EXPECT_EQ(scratch.OpenFiles(), 0);

  // Takes the whole message, then never answers.
  ScriptedServer silent;
  Greet(silent).Expect("MAIL").Send("250 ok\r\n").Expect("RCPT").Send("250 ok\r\n");
  silent.Expect("DATA").Send("354 go\r\n").Silence(seconds(30));
  silent.Start();
  EXPECT_EQ(send_with_attachment(silent.host_text(), 1), -1);
  EXPECT_TRUE(scratch.Empty());
  EXPECT_EQ(scratch.OpenFiles(), 0);

  ScriptedServer dropping;
  Greet(dropping).Expect("MAIL").Send("250 ok\r\n").Expect("RCPT").Send("250 ok\r\n");
  dropping.Expect("DATA").Send("354 go\r\n").Close();
  dropping.Start();
  EXPECT_LT(send_with_attachment(dropping.host_text()), 0);
  EXPECT_TRUE(scratch.Empty());
  EXPECT_EQ(scratch.OpenFiles(), 0);
}

TEST(SmtpClientAttachments, UnusableScratchFolderDropsTheHalfMessage) {
  TempDir files;
  WriteWholeFile(files.File("data.bin"), "abc");
  SmtpServer sink;
  ScratchFolder scratch;
  setenv("TMPDIR", (scratch.path() + "/missing").c_str(), 1);
  SmtpClient client(nullptr, 5);
  client.AddAttachment(files.File("data.bin"));
  ASSERT_EQ(client.Connect(sink.host_text(), "smtp"), 1);
  EXPECT_EQ(client.SendMessage(Simple("bob")), -ENOENT);
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
    for (const std::string& path : attachments) client.AddAttachment(path);
    EXPECT_EQ(client.Connect(server_->host_text(), "smtp"), 1);
    EXPECT_EQ(client.SendMessage(message), 1) << client.LastReply() << server_->LogText();
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
  LinesLog log_;
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
                                             "Date", "MIME-Version", "Content-Type",
                                             "Content-Transfer-Encoding", "Content-Length"}));
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
