// Send, forward and delete end to end: a message from a real Dovecot, one
// pass of the quor program, and what a real SMTP server received, read by
// Python's email package. Also the order of every action's lines in the log
// file and on standard output.

#include <filesystem>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"

namespace quor {

namespace actions_e2e {
namespace {

using ::testing::ElementsAre;

// Text attachments travel as text: every line end leaves as CR LF, the form
// in which a recipient reads them.
std::string AsSentText(const std::string& text) {
  std::string sent;
  for (char c : text) {
    if (c == '\n') sent.push_back('\r');
    sent.push_back(c);
  }
  return sent;
}

class ActionsEndToEndMail : public EndToEndTest {
 protected:
  ActionsEndToEndMail() {
    settings_.smtp_server = Smtp().host_text();
    settings_.email_address = "agent@example.com";
    settings_.sender_name = "Mail Agent";
    settings_.organization = "Example Ltd";
    settings_.reply_address = "replies@example.com";
    std::filesystem::create_directories(Base("files"));
  }

  // The messages the SMTP server stored from `before` on, once `count` are in.
  std::vector<StoredMessage> StoredSince(size_t before, size_t count) {
    EXPECT_TRUE(Smtp().WaitForMessages(before + count)) << Smtp().LogText();
    std::vector<StoredMessage> messages = Smtp().Messages();
    if (messages.size() < before) return {};
    return std::vector<StoredMessage>(messages.begin() + static_cast<long>(before), messages.end());
  }

  // SHA-256 of each text, by Python's hashlib, in one run of it.
  std::vector<std::string> Sha256(const std::vector<std::string>& contents) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < contents.size(); ++i) {
      paths.push_back(Base("files/hashed" + std::to_string(i)));
      WriteWholeFile(paths.back(), contents[i]);
    }
    std::vector<std::string> hashes = FileSha256(paths);
    hashes.resize(contents.size(), "(no hash)");
    return hashes;
  }

  Settings settings_;
};

TEST_F(ActionsEndToEndMail, SendToTheSenderWithTemplateAndTwoAttachments) {
  Deliver(PlainMessage("Order 4711 shipped", "Order number: 4711\nThanks, Ann\n"));
  WriteWholeFile(Base("reply.txt"),
                 "Hello {Sender},\n\nyour order {ordernum} is on its way.{nothing}\n.\n");
  const std::string terms = "Terms:\nnone.\n";
  const std::string invoice = Chart();
  WriteWholeFile(Base("files/terms.txt"), terms);
  WriteWholeFile(Base("files/order-4711.bin"), invoice);
  AgentAction send = Action(ActionType::kSend, {{"mailto", "{Sender}"},
                                                {"cclist", ""},
                                                {"subject", "Re: {Subject} [{ordernum}]"},
                                                {"message", Base("reply.txt")},
                                                {"attachCount", "2"},
                                                {"attach0", Base("files/terms.txt")},
                                                {"attach1", Base("files/order-{ordernum}.bin")}});
  MailAgent agent = Agent(
      "Answer", {send}, {{"Subject", "contains", "Order", ConditionJoin::kAnd}},
      {{MarkerKind::kText, "Order number: ", MarkerKind::kEndOfLine, "{End of line}", "ordernum"}});
  size_t before = Smtp().MessageCount();

  Lines lines = RunQuor({agent}, settings_);

  EXPECT_THAT(AgentRun(lines, "Answer", 1),
              ElementsAre("--> Extracted {ordernum}: '4711'", "--> Sending new message...",
                          "[SMTP] From: <agent@example.com>", "[SMTP] To: <ann@example.org>"));
  std::vector<StoredMessage> stored = StoredSince(before, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].mail_from, "agent@example.com");
  EXPECT_THAT(stored[0].rcpt_tos, ElementsAre("ann@example.org"));
  MimeSummary mime = CheckMime(stored[0].path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_THAT(mime.defects, ::testing::IsEmpty());
  EXPECT_THAT(mime.Header("To"), ElementsAre("Ann Example <ann@example.org>"));
  EXPECT_THAT(mime.Header("Subject"), ElementsAre("Re: Order 4711 shipped [4711]"));
  EXPECT_THAT(mime.Header("Reply-To"), ElementsAre("replies@example.com"));
  // The text part is the filled-in template as text, and one more line end
  // that the part always closes with.
  EXPECT_EQ(mime.text,
            "Hello Ann Example <ann@example.org>,\r\n\r\nyour order 4711 is on its way.\r\n.\r\n"
            "\r\n");
  std::vector<std::string> hashes = Sha256({AsSentText(terms), invoice});
  ASSERT_EQ(mime.attachments.size(), 2u);
  EXPECT_EQ(mime.attachments[0].filename, "terms.txt");
  EXPECT_EQ(mime.attachments[0].sha256, hashes[0]);
  EXPECT_EQ(mime.attachments[1].filename, "order-4711.bin");
  EXPECT_EQ(mime.attachments[1].size, invoice.size());
  EXPECT_EQ(mime.attachments[1].sha256, hashes[1]);
}

TEST_F(ActionsEndToEndMail, ForwardWithItsAttachmentsThenDelete) {
  Deliver(ThreeFilesMessage());
  Deliver(PlainMessage("Unrelated", "keep me\n"));
  MailAgent archive = Agent("Archive",
                            {Action(ActionType::kForward, {{"mailto", "archive@example.net"}}),
                             Action(ActionType::kDelete)},
                            {{"Subject", "contains", "Three files", ConditionJoin::kAnd}});
  size_t before = Smtp().MessageCount();

  Lines lines = RunQuor({archive}, settings_);

  EXPECT_THAT(AgentRun(lines, "Archive", 1),
              ElementsAre("--> Forwarding message...", "[SMTP] From: <ann@example.org>",
                          "[SMTP] To: <archive@example.net>", "--> Deleting message..."));
  EXPECT_THAT(AgentRun(lines, "Archive", 2), ElementsAre("(agent did not run)"));
  EXPECT_EQ(Dovecot().Count(user_), 1);

  std::vector<StoredMessage> stored = StoredSince(before, 1);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].mail_from, "ann@example.org");
  EXPECT_THAT(stored[0].rcpt_tos, ElementsAre("archive@example.net"));
  MimeSummary mime = CheckMime(stored[0].path);
  ASSERT_TRUE(mime.ok) << mime.error;
  EXPECT_THAT(mime.defects, ::testing::IsEmpty());
  EXPECT_THAT(mime.Header("Subject"), ElementsAre("Three files for order 4711"));
  EXPECT_EQ(mime.text, AsSentText(kThreeFilesBody) + "\r\n");
  // Byte for byte: what the sender attached, what the data folder holds and
  // what the recipient decodes.
  struct Forwarded {
    std::string name;
    std::string content;
    std::string as_sent;
  };
  const std::vector<Forwarded> files = {{"report.txt", kReport, AsSentText(kReport)},
                                        {"chart.bin", Chart(), Chart()},
                                        {"~rmp3", kUnnamed, kUnnamed}};
  std::vector<std::string> hashes = Sha256({files[0].as_sent, files[1].as_sent, files[2].as_sent});
  ASSERT_EQ(mime.attachments.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].name);
    EXPECT_EQ(mime.attachments[i].filename, files[i].name);
    EXPECT_EQ(mime.attachments[i].size, files[i].as_sent.size());
    EXPECT_EQ(mime.attachments[i].sha256, hashes[i]);
    EXPECT_EQ(ReadWholeFile(Base("data/" + files[i].name)), files[i].content);
  }

  // The next pass, from an empty marker, finds only the message left.
  Lines next = RunQuor({archive}, settings_);
  EXPECT_THAT(AfterHeader(next),
              ElementsAre("--> 1 new messages found.", "--> Retrieving message 1 of 1...",
                          "Processing completed."));
  EXPECT_EQ(Smtp().MessageCount(), before + 1);
}

TEST_F(ActionsEndToEndMail, FailuresAreReportedAndTheNextActionRuns) {
  Deliver(PlainMessage("Order 4711 shipped", "x\n"));
  auto agent = [&](const std::string& mailto) {
    return Agent("Tries", {Action(ActionType::kSend, {{"mailto", mailto}, {"subject", "Re"}}),
                           Action(ActionType::kForward, {{"mailto", mailto}}),
                           Action(ActionType::kSaveData, {{"outfile", Base("after.txt")},
                                                          {"append", "1"},
                                                          {"savemethod", "2"},
                                                          {"linecount", "1"},
                                                          {"line0", "{Subject};"}})});
  };
  size_t before = Smtp().MessageCount();

  Settings down = settings_;
  down.smtp_server = "127.0.0.1:" + std::to_string(FreeLoopbackPort());
  Lines lines = RunQuor({agent("{Sender}")}, down);
  EXPECT_THAT(AgentRun(lines, "Tries", 1),
              ElementsAre("--> Sending new message...", "ERROR - Failed to connect to SMTP server.",
                          "--> Forwarding message...", "ERROR - Failed to connect to SMTP server.",
                          "--> Saving message data..."));

  // The server is up, but there is no one to send to and no address to send
  // from: every reason that holds is given.
  Settings blank = settings_;
  blank.email_address = "";
  lines = RunQuor({agent("{nothing}")}, blank);
  EXPECT_THAT(AgentRun(lines, "Tries", 1),
              ElementsAre("--> Sending new message...",
                          "ERROR - Failed to send message.  Internal error # -1",
                          "--> Reason: The recipient list (To: field) was blank!",
                          "--> Reason: The E-mail address setting is blank!",
                          "--> Forwarding message...", "ERROR - Failed to forward message.",
                          "--> Reason: The recipient list (To: field) was blank!",
                          "--> Reason: The E-mail address setting is blank!",
                          "--> Saving message data..."));
  EXPECT_EQ(ReadWholeFile(Base("after.txt")), "Order 4711 shipped;Order 4711 shipped;");
  EXPECT_EQ(Smtp().MessageCount(), before);
}

// One agent with every kind of action: the lines come in the agent's order,
// each action's in the order it reports them, and the log file holds exactly
// what standard output shows (FinishQuor compares the two).
TEST_F(ActionsEndToEndMail, EveryActionLogsItsLinesInOrder) {
  Deliver(ThreeFilesMessage());
  std::string program = Base("files/true.sh");
  WriteWholeFile(program, "#!/bin/sh\nexit 0\n");
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  std::filesystem::create_directories(Base("saved"));
  MailAgent everything =
      Agent("Everything",
            {Action(ActionType::kSaveData,
                    {{"outfile", Base("body.txt")}, {"append", "0"}, {"savemethod", "0"}}),
             Action(ActionType::kSend, {{"mailto", "{Sender}"}, {"subject", "Got: {Subject}"}}),
             Action(ActionType::kSound),
             Action(ActionType::kRunProgram,
                    {{"program", program}, {"arguments", "{Subject}"}, {"wait", "1"}}),
             AgentAction("", ActionType{7}),
             Action(ActionType::kSaveAttachments, {{"directory", Base("saved")},
                                                   {"basefile", "f"},
                                                   {"usenumbering", "0"},
                                                   {"usename", "1"}}),
             Action(ActionType::kForward, {{"mailto", "archive@example.net"}}),
             Action(ActionType::kDelete)});
  size_t before = Smtp().MessageCount();

  Lines lines = RunQuor({everything}, settings_);

  std::string saved = Base("saved/");
  EXPECT_THAT(
      AfterHeader(lines),
      ElementsAre("--> 1 new messages found.", "--> Retrieving message 1 of 1...",
                  "--> [Agent Everything]: processing message 1...", "--> Saving message data...",
                  "--> Sending new message...", "[SMTP] From: <agent@example.com>",
                  "[SMTP] To: <ann@example.org>", "--> Executing program...",
                  program + " Three files for order 4711", "--> Saving attachments...",
                  "Extracted 3 attachments.",
                  "Saving attachment #1: " + saved + "report.txt (33 bytes)",
                  "Saving attachment #2: " + saved + "chart.bin (517 bytes)",
                  "Saving attachment #3: " + saved + "f (28 bytes)", "--> Forwarding message...",
                  "[SMTP] From: <ann@example.org>", "[SMTP] To: <archive@example.net>",
                  "--> Deleting message...", "Processing completed."));
  EXPECT_EQ(ReadWholeFile(Base("body.txt")), kThreeFilesBody);
  EXPECT_EQ(StoredSince(before, 2).size(), 2u);
  EXPECT_EQ(Dovecot().Count(user_), 0);
}

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
