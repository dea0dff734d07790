#include "engine/message_actions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/dovecot_server.h"
#include "fixtures/recording_sink.h"
#include "fixtures/scripted_server.h"
#include "fixtures/smtp_server.h"
#include "fixtures/test_files.h"
#include "message/base64_encoder.h"
#include "message/message_parser.h"
#include "net/pop_client.h"

namespace quor {

namespace {

using Lines = std::vector<std::string>;

using CapturingLog = RecordingSink;

AgentAction SendAction(const std::string& mailto, const std::string& subject = "Report") {
  AgentAction action("Send an Outgoing Message", ActionType::kSend);
  action.SetProperty("mailto", mailto);
  action.SetProperty("subject", subject);
  return action;
}

AgentAction ForwardAction(const std::string& mailto) {
  AgentAction action("Forward Incoming Message", ActionType::kForward);
  action.SetProperty("mailto", mailto);
  return action;
}

MailAttachment Part(std::string data, std::string name) {
  MailAttachment part;
  part.data = std::move(data);
  part.name = std::move(name);
  return part;
}

class MessageActionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sink_ = new SmtpServer(); }
  static void TearDownTestSuite() {
    delete sink_;
    sink_ = nullptr;
  }

  MessageActionTest() {
    settings_.smtp_server = sink_->host_text();
    settings_.email_address = "agent@example.com";
    settings_.sender_name = "Mail Agent";
    settings_.reply_address = "replies@example.com";
    settings_.organization = "Example Ltd";
    context_.base_directory = base_.path();
    context_.smtp_reply_wait_seconds = 5;
    message_.subject = "Order 42";
    message_.from = "Ann Smith <ann@example.org>";
    message_.text = "Please send 3 boxes.\n";
    context_.message = &message_;
    fields_ = {
        {"Subject", "Order 42"}, {"Sender", "Ann Smith <ann@example.org>"}, {"ordernum", "42"}};
  }

  // Runs the action and returns the message the sink stored for it.
  StoredMessage RunStored(ActionResult (*action)(const AgentAction&, const FieldMap&,
                                                 ActionContext&),
                          const AgentAction& agent_action,
                          ActionResult expected = ActionResult::kDone) {
    size_t before = sink_->MessageCount();
    EXPECT_EQ(action(agent_action, fields_, context_), expected);
    EXPECT_TRUE(sink_->WaitForMessages(before + 1)) << ::testing::PrintToString(log_.lines);
    std::vector<StoredMessage> messages = sink_->Messages();
    return messages.size() > before ? messages[before] : StoredMessage{};
  }
  std::string Make(const std::string& name, const std::string& content) {
    WriteWholeFile(files_.File(name), content);
    return files_.File(name);
  }
  std::string DataFolder() const { return base_.path() + "/data"; }

  static SmtpServer* sink_;
  CapturingLog log_;
  Settings settings_;
  ActionContext context_{
      .log = log_, .settings = settings_, .base_directory = {}, .body_text = {}, .play_sound = {}};
  TempDir base_;
  TempDir files_;
  MailMessage message_;
  FieldMap fields_;
};

SmtpServer* MessageActionTest::sink_ = nullptr;

// --- Send an Outgoing Message ---------------------------------------------

TEST_F(MessageActionTest, SendBuildsTheMessageFromTemplateAndProperties) {
  std::string template_path =
      Make("reply.txt", "Dear {Sender},\norder {ordernum} is on its way.\n");
  AgentAction action = SendAction("bob@example.com", "Re: {Subject}");
  action.SetProperty("cclist", "carl@example.com");
  action.SetProperty("message", template_path);
  action.SetProperty("attachCount", "3");
  action.SetProperty("attach0", Make("invoice-42.txt", "invoice"));
  action.SetProperty("attach1", "{nothing}");
  action.SetProperty("attach2", files_.File("order-{ordernum}.zip"));
  Make("order-42.zip", "PK zip bytes");
  StoredMessage stored = RunStored(SendMessageAction, action);

  EXPECT_EQ(log_.lines, (Lines{"--> Sending new message...", "[SMTP] From: <agent@example.com>",
                               "[SMTP] To: <bob@example.com>", "[SMTP] To: <carl@example.com>"}));
  EXPECT_EQ(stored.rcpt_tos, (Lines{"bob@example.com", "carl@example.com"}));
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("Subject"), Lines{"Re: Order 42"});
  EXPECT_EQ(mime.Header("From"), Lines{"Mail Agent <agent@example.com>"});
  EXPECT_EQ(mime.Header("Reply-To"), Lines{"replies@example.com"});
  EXPECT_EQ(mime.Header("Organization"), Lines{"Example Ltd"});
  EXPECT_EQ(mime.Header("Cc"), Lines{"carl@example.com"});
  EXPECT_EQ(mime.text, "Dear Ann Smith <ann@example.org>,\r\norder 42 is on its way.\r\n\r\n");
  ASSERT_EQ(mime.attachments.size(), 2u);
  EXPECT_EQ(mime.attachments[0].filename, "invoice-42.txt");
  EXPECT_EQ(mime.attachments[1].filename, "order-42.zip");
  EXPECT_EQ(mime.attachments[1].size, 12u);
}

// An attachment path filled in from the message names a file in the folder
// the agent named: a value that climbs out attaches nothing.
TEST_F(MessageActionTest, SendAttachmentPathValuesStayOneStep) {
  std::filesystem::create_directory(files_.File("out"));
  Make("secret.pdf", "private key");
  Make("out/4711.pdf", "invoice 4711");
  Make("out/.._secret.pdf", "harmless");
  const std::string attach = files_.File("out") + "/{ordernum}.pdf";
  struct Case {
    const char* value;
    Lines attached;  // file names of the attachments sent
    std::vector<size_t> sizes;
  };
  const Case cases[] = {
      {"4711", {"4711.pdf"}, {12}}, {"../secret", {".._secret.pdf"}, {8}}, {"..", {}, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    fields_["ordernum"] = c.value;
    AgentAction action = SendAction("bob@example.com");
    action.SetProperty("attachCount", "1");
    action.SetProperty("attach0", attach);
    StoredMessage stored = RunStored(SendMessageAction, action);
    MimeSummary mime = CheckMime(stored.path);
    ASSERT_TRUE(mime.ok) << mime.error;
    Lines names;
    std::vector<size_t> sizes;
    for (const auto& attachment : mime.attachments) {
      names.push_back(attachment.filename);
      sizes.push_back(attachment.size);
    }
    EXPECT_EQ(names, c.attached);
    EXPECT_EQ(sizes, c.sizes);
  }
}

TEST_F(MessageActionTest, SendToTheSenderUsesTheBareAddressInTheEnvelope) {
  StoredMessage stored = RunStored(SendMessageAction, SendAction("{Sender}"));
  EXPECT_EQ(stored.rcpt_tos, Lines{"ann@example.org"});
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("To"), Lines{"Ann Smith <ann@example.org>"});
  EXPECT_EQ(mime.text, "");
}

TEST_F(MessageActionTest, SendWithMissingTemplateWarnsAfterConnectingAndSendsEmptyBody) {
  AgentAction action = SendAction("bob@example.com");
  action.SetProperty("message", files_.File("missing.txt"));
  StoredMessage stored = RunStored(SendMessageAction, action);
  ASSERT_GE(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines[1], "WARNING: Unable to read file " + files_.File("missing.txt"));
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.text, "");
}

// A damaged agents file must not make the action count to two billion.
TEST_F(MessageActionTest, SendWithHugeAttachmentCountVisitsOnlyExistingEntries) {
  AgentAction action = SendAction("bob@example.com");
  action.SetProperty("attachCount", "2147483647");
  action.SetProperty("attach0", Make("a.txt", "a"));
  action.SetProperty("attach01", Make("not-an-entry.txt", "b"));  // no such name is formed
  auto start = std::chrono::steady_clock::now();
  StoredMessage stored = RunStored(SendMessageAction, action);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  ASSERT_EQ(mime.attachments.size(), 1u);
  EXPECT_EQ(mime.attachments[0].filename, "a.txt");
}

TEST_F(MessageActionTest, SendReportsEveryReasonThatHolds) {
  struct Case {
    const char* mailto;
    const char* email;
    Lines tail;
  } cases[] = {
      {"{nothing}", "agent@example.com", {"--> Reason: The recipient list (To: field) was blank!"}},
      {"{nothing}",
       "",
       {"--> Reason: The recipient list (To: field) was blank!",
        "--> Reason: The E-mail address setting is blank!"}},
      {"bob@example.com", "", {"--> Reason: The E-mail address setting is blank!"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mailto + std::string(" / ") + c.email);
    log_.lines.clear();
    settings_.email_address = c.email;
    EXPECT_EQ(SendMessageAction(SendAction(c.mailto), fields_, context_), ActionResult::kFailed);
    Lines expected = {"--> Sending new message...",
                      "ERROR - Failed to send message.  Internal error # -1"};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(log_.lines, expected);
  }
}

TEST_F(MessageActionTest, SendToServerThatIsDown) {
  settings_.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  AgentAction action = SendAction("bob@example.com");
  action.SetProperty("message", files_.File("missing.txt"));
  EXPECT_EQ(SendMessageAction(action, fields_, context_), ActionResult::kFailed);
  EXPECT_EQ(log_.lines,
            (Lines{"--> Sending new message...", "ERROR - Failed to connect to SMTP server."}));
}

TEST_F(MessageActionTest, SendRefusalsAreLoggedAsTheyStand) {
  ScriptedServer helo_refused;
  helo_refused.Send("220 ready\r\n").Expect("HELO").Send("554 not you\r\n");
  helo_refused.Expect("QUIT").Send("221 bye\r\n").Start();
  settings_.smtp_server = helo_refused.host_text();
  EXPECT_EQ(SendMessageAction(SendAction("bob@example.com"), fields_, context_),
            ActionResult::kFailed);
  EXPECT_EQ(log_.lines, (Lines{"--> Sending new message...", "554 not you\r\n"}));

  log_.lines.clear();
  ScriptedServer rcpt_refused;
  rcpt_refused.Send("220 ready\r\n").Expect("HELO").Send("250 hi\r\n");
  rcpt_refused.Expect("MAIL").Send("250 ok\r\n").Expect("RCPT").Send("550 5.1.1 unknown user\r\n");
  rcpt_refused.Expect("QUIT").Send("221 bye\r\n").Start();
  settings_.smtp_server = rcpt_refused.host_text();
  EXPECT_EQ(SendMessageAction(SendAction("nobody@example.com"), fields_, context_),
            ActionResult::kFailed);
  EXPECT_EQ(log_.lines, (Lines{"--> Sending new message...", "[SMTP] From: <agent@example.com>",
                               "[SMTP] To: <nobody@example.com>", "550 5.1.1 unknown user\r\n"}));
}

TEST_F(MessageActionTest, SendTimeOutIsAnInternalError) {
  ScriptedServer silent;
  silent.Send("220 ready\r\n").Expect("HELO").Send("250 hi\r\n").Expect("MAIL");
  silent.Silence(std::chrono::seconds(30)).Start();
  settings_.smtp_server = silent.host_text();
  context_.smtp_reply_wait_seconds = 1;
  EXPECT_EQ(SendMessageAction(SendAction("bob@example.com"), fields_, context_),
            ActionResult::kFailed);
  EXPECT_EQ(log_.lines, (Lines{"--> Sending new message...", "[SMTP] From: <agent@example.com>",
                               "ERROR - Failed to send message.  Internal error # -1"}));
}

// --- Forward Incoming Message ---------------------------------------------

TEST_F(MessageActionTest, ForwardWithoutAttachmentsSendsTheTextAndWritesNoFile) {
  message_.reply_to = "orders@example.org";
  StoredMessage stored = RunStored(ForwardMessageAction, ForwardAction("bob@example.com"));
  EXPECT_EQ(log_.lines, (Lines{"--> Forwarding message...", "[SMTP] From: <ann@example.org>",
                               "[SMTP] To: <bob@example.com>"}));
  EXPECT_EQ(stored.mail_from, "ann@example.org");
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("Subject"), Lines{"Order 42"});  // no prefix
  EXPECT_EQ(mime.Header("From"), Lines{"Ann Smith <ann@example.org>"});
  EXPECT_EQ(mime.Header("Reply-To"), Lines{"orders@example.org"});
  EXPECT_TRUE(mime.Header("Organization").empty());
  EXPECT_EQ(mime.text, "Please send 3 boxes.\r\n\r\n");
  EXPECT_FALSE(std::filesystem::exists(DataFolder()));
}

TEST_F(MessageActionTest, ForwardSendsTheFirstPartAsBodyAndTheOthersAsFiles) {
  message_.attachments = {Part(std::string("Body part\n\0hidden", 17), ""),
                          Part("DOC\x01\x02", "report.doc"), Part("no name here", "")};
  StoredMessage stored = RunStored(ForwardMessageAction, ForwardAction("bob@example.com"));
  EXPECT_EQ(ReadWholeFile(DataFolder() + "/report.doc"), "DOC\x01\x02");
  EXPECT_EQ(ReadWholeFile(DataFolder() + "/~rmp2"), "no name here");
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.text, "Body part\r\n\r\n");  // up to the zero byte
  ASSERT_EQ(mime.attachments.size(), 2u);
  EXPECT_EQ(mime.attachments[0].filename, "report.doc");
  EXPECT_EQ(mime.attachments[0].sha256, FileSha256({DataFolder() + "/report.doc"})[0]);
  EXPECT_EQ(mime.attachments[1].filename, "~rmp2");
  EXPECT_EQ(mime.attachments[1].size, 12u);
}

TEST_F(MessageActionTest, ForwardKeepsPartFilesInsideTheDataFolder) {
  std::filesystem::create_directory(base_.path() + "/inner");
  context_.base_directory = base_.path() + "/inner";
  message_.attachments = {Part("body", ""), Part("one", "../../escape.txt"),
                          Part("two", "/tmp/absolute.txt"), Part("three", "sub/dir/x.txt")};
  StoredMessage stored = RunStored(ForwardMessageAction, ForwardAction("bob@example.com"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(base_.path())) {
    if (entry.is_regular_file()) {
      EXPECT_EQ(entry.path().parent_path(), base_.path() + "/inner/data") << entry.path();
    }
  }
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.attachments.size(), 3u);
}

// Two parts of the same name must not share one file.
TEST_F(MessageActionTest, ForwardOfPartsWithTheSameNameKeepsEveryContent) {
  message_.attachments = {Part("body", ""), Part("first", "same.bin"), Part("second", "same.bin"),
                          Part("third", "same.bin")};
  StoredMessage stored = RunStored(ForwardMessageAction, ForwardAction("bob@example.com"));
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  ASSERT_EQ(mime.attachments.size(), 3u);
  EXPECT_EQ(mime.attachments[0].filename, "same.bin");
  EXPECT_EQ(mime.attachments[0].size, 5u);
  EXPECT_EQ(mime.attachments[1].size, 6u);
  EXPECT_EQ(mime.attachments[2].size, 5u);
  EXPECT_NE(mime.attachments[0].sha256, mime.attachments[2].sha256);
}

// A link someone planted in the data folder under a part's name: the part is
// not written through it, and the file it points to never leaves the machine.
TEST_F(MessageActionTest, ForwardNeverWritesThroughOrSendsAPlantedLink) {
  std::string victim = Make("notes", "the victim's notes\n");
  std::filesystem::create_directory(DataFolder());
  std::string link = DataFolder() + "/report.txt";
  ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
  message_.attachments = {Part("body", ""), Part("the victim's notes\n", "report.txt"),
                          Part("kept", "other.txt")};
  // It goes out without the part, and counts as failed: a later Delete keeps
  // the message.
  StoredMessage stored =
      RunStored(ForwardMessageAction, ForwardAction("bob@example.com"), ActionResult::kFailed);
  EXPECT_EQ(ReadWholeFile(victim), "the victim's notes\n");
  EXPECT_EQ(std::filesystem::read_symlink(link), victim);
  EXPECT_EQ(log_.lines[1], "ERROR: writing file " + link);
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  ASSERT_EQ(mime.attachments.size(), 1u);
  EXPECT_EQ(mime.attachments[0].filename, "other.txt");
}

TEST_F(MessageActionTest, ForwardOfAMessageWithoutSenderUsesThePlaceholder) {
  message_.from.reset();
  ScriptedServer server;
  server.Send("220 ready\r\n").Expect("HELO").Send("250 hi\r\n");
  server.Expect("MAIL FROM: <[unknown]>").Send("553 no such sender\r\n");
  server.Expect("QUIT").Send("221 bye\r\n").Start();
  settings_.smtp_server = server.host_text();
  ForwardMessageAction(ForwardAction("bob@example.com"), fields_, context_);
  EXPECT_EQ(log_.lines, (Lines{"--> Forwarding message...", "[SMTP] From: <[unknown]>",
                               "553 no such sender\r\n"}));
  EXPECT_TRUE(server.Errors().empty());
}

TEST_F(MessageActionTest, ForwardWithEmptyFromHeaderUsesTheSettings) {
  message_.from = "";
  message_.reply_to = "";
  StoredMessage stored = RunStored(ForwardMessageAction, ForwardAction("bob@example.com"));
  EXPECT_EQ(stored.mail_from, "agent@example.com");
  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("Reply-To"), Lines{"replies@example.com"});
}

TEST_F(MessageActionTest, ForwardFailuresAreReported) {
  EXPECT_EQ(ForwardMessageAction(ForwardAction(""), fields_, context_), ActionResult::kFailed);
  EXPECT_EQ(log_.lines, (Lines{"--> Forwarding message...", "ERROR - Failed to forward message.",
                               "--> Reason: The recipient list (To: field) was blank!"}));

  log_.lines.clear();
  settings_.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  EXPECT_EQ(ForwardMessageAction(ForwardAction("bob@example.com"), fields_, context_),
            ActionResult::kFailed);
  EXPECT_EQ(log_.lines,
            (Lines{"--> Forwarding message...", "ERROR - Failed to connect to SMTP server."}));
}

TEST_F(MessageActionTest, ForwardOfAPartThatCannotBeWrittenFails) {
  // The data folder is in the way as a file: the part cannot land, the rest
  // still goes out, and the forward counts as failed.
  message_.attachments = {Part("body text\n", ""), Part("part data", "part.bin")};
  WriteWholeFile(DataFolder(), "not a folder");
  size_t before = sink_->MessageCount();
  ActionResult result = ForwardMessageAction(ForwardAction("bob@example.com"), fields_, context_);
  EXPECT_EQ(result, ActionResult::kFailed);
  EXPECT_TRUE(sink_->WaitForMessages(before + 1));
  EXPECT_THAT(log_.lines, ::testing::Contains("ERROR: writing file " + DataFolder() + "/part.bin"));
}

// --- Delete Incoming Message ----------------------------------------------

TEST_F(MessageActionTest, DeleteReportsEachOutcome) {
  struct Case {
    const char* reply;  // null: the server hangs up
    Lines log;
    ActionResult result;
  } cases[] = {
      {"+OK message 3 deleted\r\n", {"--> Deleting message..."}, ActionResult::kDone},
      {"-ERR no such message\r\n",
       {"--> Deleting message...", "-ERR no such message\r\n"},
       ActionResult::kFailed},
      {nullptr,
       {"--> Deleting message...", "ERROR - General network error."},
       ActionResult::kFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply ? c.reply : "hang-up");
    ScriptedServer server;
    server.Send("+OK ready\r\n").Expect("DELE 3");
    if (c.reply) {
      server.Send(c.reply);
    } else {
      server.Close();
    }
    server.Start();
    PopClient pop(2);
    ASSERT_EQ(pop.Connect(server.host_text(), "pop3"), 1);
    context_.pop = &pop;
    context_.message_number = 3;
    log_.lines.clear();
    EXPECT_EQ(DeleteMessageAction(AgentAction("Delete Incoming Message", ActionType::kDelete),
                                  fields_, context_),
              c.result);
    EXPECT_EQ(log_.lines, c.log);
  }
}

TEST_F(MessageActionTest, DeleteAfterAFailedActionKeepsTheMessageWithoutAWord) {
  ScriptedServer server;
  server.Send("+OK ready\r\n").Expect("QUIT").Send("+OK bye\r\n").Start();
  PopClient pop(2);
  ASSERT_EQ(pop.Connect(server.host_text(), "pop3"), 1);
  context_.pop = &pop;
  context_.message_number = 3;
  context_.earlier_action_failed = true;
  EXPECT_EQ(DeleteMessageAction(AgentAction("Delete Incoming Message", ActionType::kDelete),
                                fields_, context_),
            ActionResult::kDone);
  EXPECT_EQ(log_.lines, (Lines{"--> Message kept on the server: an earlier action failed."}));
  // The only command the server sees is QUIT: no DELE went out.
  pop.Logout();
  ASSERT_TRUE(server.WaitForLines(1));
  EXPECT_EQ(server.Received(), (Lines{"QUIT"}));
}

TEST_F(MessageActionTest, DeleteOutsideASessionIsANetworkError) {
  context_.pop = nullptr;
  DeleteMessageAction(AgentAction("Delete Incoming Message", ActionType::kDelete), fields_,
                      context_);
  EXPECT_EQ(log_.lines, (Lines{"--> Deleting message...", "ERROR - General network error."}));
}

// --- From the POP3 server to the SMTP server ------------------------------

TEST_F(MessageActionTest, RetrievedMessageIsDeletedThenForwardedWithItsAttachments) {
  DovecotServer dovecot;
  dovecot.AddUser("ann", "secret");
  std::string binary;
  for (int i = 0; i < 3000; ++i) binary += static_cast<char>(i * 7 % 256);
  std::string binary_path = Make("chart.png", binary);
  std::string encoded;
  StringOutput encoded_output(encoded);
  Base64Encoder encoder(encoded_output);
  encoder.Write(binary.data(), binary.size());
  encoder.Finish();
  dovecot.Deliver("ann",
                  "From: Ann <ann@example.org>\n"
                  "To: orders@example.net\n"
                  "Subject: Chart for order 7\n"
                  "MIME-Version: 1.0\n"
                  "Content-Type: multipart/mixed; boundary=\"xyz\"\n"
                  "\n"
                  "--xyz\n"
                  "Content-Type: text/plain\n"
                  "\n"
                  "The chart is attached.\n"
                  ".dotted line\n"
                  "--xyz\n"
                  "Content-Type: text/plain; name=\"notes.txt\"\n"
                  "Content-Transfer-Encoding: base64\n"
                  "\n"
                  "bm90ZSBvbmUK\n"
                  "--xyz\n"
                  "Content-Type: image/png; name=\"chart.png\"\n"
                  "Content-Transfer-Encoding: base64\n"
                  "\n" +
                      encoded + "--xyz--\n");

  auto pop = std::make_unique<PopClient>(10);
  ASSERT_EQ(pop->Connect(dovecot.host_text(), "pop3"), 1);
  ASSERT_EQ(pop->Login("ann", "secret"), 1);
  ASSERT_EQ(pop->MessageCount(), 1);
  MailMessage retrieved;
  MessageParser parser(retrieved);
  ASSERT_EQ(pop->RetrieveMessage(1, parser), 1);
  // The parser keeps the plain text part in the text and diverts the encoded
  // parts: the first of them becomes the forwarded body.
  ASSERT_EQ(retrieved.AttachmentCount(), 2);
  context_.pop = pop.get();
  context_.message_number = 1;
  context_.message = &retrieved;

  DeleteMessageAction(AgentAction("Delete Incoming Message", ActionType::kDelete), fields_,
                      context_);
  StoredMessage stored = RunStored(ForwardMessageAction, ForwardAction("bob@example.com"));
  EXPECT_EQ(log_.lines, (Lines{"--> Deleting message...", "--> Forwarding message...",
                               "[SMTP] From: <ann@example.org>", "[SMTP] To: <bob@example.com>"}));
  pop->Logout();

  MimeSummary mime = CheckMime(stored.path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_EQ(mime.Header("Subject"), Lines{"Chart for order 7"});
  EXPECT_EQ(mime.text, "note one\r\n\r\n");
  ASSERT_EQ(mime.attachments.size(), 1u);
  const MimeAttachment& chart = mime.attachments[0];
  EXPECT_EQ(chart.filename, "chart.png");
  EXPECT_EQ(chart.content_type, "image/png");
  EXPECT_EQ(chart.sha256, FileSha256({binary_path})[0]);

  PopClient next(10);
  ASSERT_EQ(next.Connect(dovecot.host_text(), "pop3"), 1);
  ASSERT_EQ(next.Login("ann", "secret"), 1);
  EXPECT_EQ(next.MessageCount(), 0);
  next.Logout();
}

}  // namespace

}  // namespace quor
