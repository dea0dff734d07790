// International text end to end: messages as mail programs write them in a
// real Dovecot, one pass of the quor program, and what agents saw (files they
// saved) and sent (read back at a real SMTP server by Python's email package
// with policy.default). Also the loop check against automatic mail.

#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "fixtures/line_feeder.h"

namespace quor {

namespace actions_e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kJuergen = "J\xC3\xBCrgen Bo\xC3\x9F";  // "Jürgen Boß"
const std::string kGruesse =
    "Gr\xC3\xBC\xC3\x9F"
    "e";  // "Grüße"

std::string Sample(const std::string& name) {
  return ReadWholeFile(std::string(QUOR_FIXTURES_DIR) + "/mail/" + name);
}

// CR LF for every line end, as text leaves on the wire and a reader gets it.
std::string AsSentText(const std::string& text) {
  std::string sent;
  for (char c : text) {
    if (c == '\n') sent.push_back('\r');
    sent.push_back(c);
  }
  return sent;
}

std::map<std::string, std::string> FolderContent(const std::string& folder) {
  std::map<std::string, std::string> content;
  for (const auto& entry : fs::directory_iterator(folder)) {
    content[entry.path().filename().string()] = ReadWholeFile(entry.path().string());
  }
  return content;
}

class ActionsEndToEndIntl : public EndToEndTest {
 protected:
  ActionsEndToEndIntl() {
    settings_.smtp_server = Smtp().host_text();
    settings_.email_address = "agent@example.com";
    settings_.sender_name = kJuergen;
    settings_.organization = "M\xC3\xBCller & S\xC3\xB6hne";
    settings_.reply_address = "replies@example.com";
    fs::create_directories(Base("files"));
  }

  std::vector<StoredMessage> StoredSince(size_t before, size_t count) {
    EXPECT_TRUE(Smtp().WaitForMessages(before + count)) << Smtp().LogText();
    std::vector<StoredMessage> messages = Smtp().Messages();
    if (messages.size() < before) return {};
    return std::vector<StoredMessage>(messages.begin() + static_cast<long>(before), messages.end());
  }

  // What every message quor sends must be: clean to a strict reader, marked
  // as automatic, with an id, and without one byte above 127 (the session
  // began with HELO, so nothing else was agreed).
  // `defects`: what the reader may find wrong (only texts the incoming
  // message brought, passed on as they came).
  DecodedMime ReadBack(const StoredMessage& stored, const std::vector<std::string>& defects = {}) {
    EXPECT_FALSE(stored.helo.empty());
    DecodedMime mime = CheckDecodedMime(stored.path);
    EXPECT_TRUE(mime.ok) << mime.error;
    EXPECT_EQ(mime.defects, defects);
    if (defects.empty()) {
      EXPECT_EQ(mime.strict_error, "");
    }
    EXPECT_FALSE(mime.eight_bit);
    EXPECT_THAT(mime.Header("Auto-Submitted"), ElementsAre("auto-generated"));
    const std::vector<std::string> ids = mime.Header("Message-ID");
    EXPECT_EQ(ids.size(), 1u);
    if (!ids.empty()) {
      EXPECT_TRUE(std::regex_match(ids[0], std::regex("<[0-9]+\\.[0-9A-F]{24}@[^>]+>"))) << ids[0];
    }
    return mime;
  }

  // SHA-256 of a text, by Python's hashlib.
  std::string Sha256(const std::string& content) {
    const std::string path = Base("files/hashed" + std::to_string(++hashed_));
    WriteWholeFile(path, content);
    std::vector<std::string> hashes = FileSha256({path});
    return hashes.empty() ? "(no hash)" : hashes[0];
  }

  Settings settings_;
  int hashed_ = 0;
};

// ---- Outgoing ----

TEST_F(ActionsEndToEndIntl, SendWithUtf8TemplateAndSettingsReadsBackAsWritten) {
  Deliver(PlainMessage("Bestellung 4711", "Bestellnummer: 4711\n"));
  WriteWholeFile(Base("reply.txt"), kGruesse +
                                        " {Sender},\n\nIhre Bestellung {ordernum} ist "
                                        "unterwegs \xE2\x80\x93 Stra\xC3\x9F"
                                        "e 5.\n");
  WriteWholeFile(Base("files/notiz.txt"), "Lieferung am Montag, " + kGruesse + "\n.\n");
  WriteWholeFile(Base("files/seite.htm"), "<p>Caf\xE9 au lait</p>\n");  // Latin-1
  const std::string invoice = Chart();
  WriteWholeFile(Base("files/Rechnung M\xC3\xA4rz.bin"), invoice);
  auto send = [&](const std::string& attach_count) {
    return Action(ActionType::kSend, {{"mailto", "{Sender}"},
                                      {"cclist", "Zo\xC3\xAB \xC3\x84rger <zoe@example.net>"},
                                      {"subject", "Re: {Subject} \xE2\x80\x93 Best\xC3\xA4tigung"},
                                      {"message", Base("reply.txt")},
                                      {"attachCount", attach_count},
                                      {"attach0", Base("files/notiz.txt")},
                                      {"attach1", Base("files/seite.htm")},
                                      {"attach2", Base("files/Rechnung M\xC3\xA4rz.bin")}});
  };
  MailAgent agent = Agent("Answer", {send("0"), send("3")}, {},
                          {{MarkerKind::kText, "Bestellnummer: ", MarkerKind::kEndOfLine,
                            "{End of line}", "ordernum"}});
  size_t before = Smtp().MessageCount();

  RunQuor({agent}, settings_);

  std::vector<StoredMessage> stored = StoredSince(before, 2);
  ASSERT_EQ(stored.size(), 2u);
  const std::string text = AsSentText(kGruesse +
                                      " Ann Example <ann@example.org>,\n\nIhre "
                                      "Bestellung 4711 ist unterwegs \xE2\x80\x93 "
                                      "Stra\xC3\x9F"
                                      "e 5.\n");
  for (size_t i = 0; i < stored.size(); ++i) {
    SCOPED_TRACE(i == 0 ? "single part" : "multipart");
    DecodedMime mime = ReadBack(stored[i]);
    EXPECT_THAT(stored[i].rcpt_tos, ElementsAre("ann@example.org", "zoe@example.net"));
    EXPECT_THAT(mime.Header("Subject"),
                ElementsAre("Re: Bestellung 4711 \xE2\x80\x93 Best\xC3\xA4tigung"));
    EXPECT_THAT(mime.Header("From"), ElementsAre(kJuergen + " <agent@example.com>"));
    EXPECT_THAT(mime.Header("To"), ElementsAre("Ann Example <ann@example.org>"));
    EXPECT_THAT(mime.Header("Cc"), ElementsAre("Zo\xC3\xAB \xC3\x84rger <zoe@example.net>"));
    EXPECT_THAT(mime.Header("Organization"), ElementsAre("M\xC3\xBCller & S\xC3\xB6hne"));
    ASSERT_FALSE(mime.parts.empty());
    EXPECT_EQ(mime.parts[0].charset, "utf-8");
    // One more line end either way: the part's close, or the single part's
    // end before the terminating dot.
    EXPECT_EQ(mime.parts[0].text, text + "\r\n");
  }
  DecodedMime mime = ReadBack(stored[1]);
  ASSERT_EQ(mime.parts.size(), 4u);
  EXPECT_EQ(mime.parts[1].filename, "notiz.txt");
  EXPECT_EQ(mime.parts[1].charset, "utf-8");
  EXPECT_EQ(mime.parts[1].text, AsSentText("Lieferung am Montag, " + kGruesse + "\n.\n"));
  EXPECT_EQ(mime.parts[2].filename, "seite.htm");
  EXPECT_EQ(mime.parts[2].charset, "unknown-8bit");
  EXPECT_EQ(mime.parts[2].sha256, Sha256(AsSentText("<p>Caf\xE9 au lait</p>\n")));
  EXPECT_EQ(mime.parts[3].filename, "Rechnung M\xC3\xA4rz.bin");
  EXPECT_EQ(mime.parts[3].sha256, Sha256(invoice));
}

struct ForwardCase {
  std::string sample;
  bool decode;
  std::vector<std::string> defects;
  std::string subject;  // as the reader gives them
  std::string from;
  std::string text_charset;
  std::optional<std::string> text;
  std::vector<std::string> filenames;
};

TEST_F(ActionsEndToEndIntl, ForwardsReadBackCleanWithAndWithoutDecoding) {
  const std::vector<ForwardCase> cases = {
      {"intl_plain_latin1.eml",
       true,
       {},
       "Commande n\xC2\xB0 8812 \xC3\xA0 livrer",
       "Fran\xC3\xA7oise L\xC3\xA9vy <f.levy@example.fr>",
       "utf-8",
       AsSentText("Bonjour,\n\nNum\xC3\xA9ro de commande: 8812-\xC3\x89t\xC3\xA9\nQuantit\xC3\xA9: "
                  "12 pi\xC3\xA8"
                  "ces, livraison \xC3\xA0 Lyon.\n\nCordialement,\nFran\xC3\xA7oise\n\n"),
       {}},
      // Without decoding, the Latin-1 text goes as it is, labelled as what
      // quor cannot know; still not one 8-bit byte on the wire.
      {"intl_plain_latin1.eml",
       false,
       {},
       "Commande n\xC2\xB0 8812 \xC3\xA0 livrer",
       "Fran\xC3\xA7oise L\xC3\xA9vy <f.levy@example.fr>",
       "unknown-8bit",
       std::nullopt,
       {}},
      {"intl_attachment_names.eml",
       true,
       {},
       "Rechnungen M\xC3\xA4rz und April",
       "Buchhaltung <buchhaltung@example.com>",
       "utf-8",
       AsSentText("Anbei die Rechnungen f\xC3\xBCr M\xC3\xA4rz und April.\n\n\n"),
       {"Rechnung M\xC3\xA4rz 2024.pdf", "Rechnung April \xE2\x80\x93 2024.pdf"}},
      // Without decoding, a name is passed on as the message wrote it: an
      // encoded word inside quotes, which a strict reader flags (and reads).
      {"intl_attachment_names.eml",
       false,
       {"Content-Type: InvalidHeaderDefect", "Content-Type: InvalidHeaderDefect",
        "Content-Disposition: InvalidHeaderDefect", "Content-Disposition: InvalidHeaderDefect"},
       "Rechnungen M\xC3\xA4rz und April",
       "Buchhaltung <buchhaltung@example.com>",
       "unknown-8bit",
       std::nullopt,
       {"~rmp1", "Rechnung April \xE2\x80\x93 2024.pdf"}},
  };
  MailAgent forward =
      Agent("Forward", {Action(ActionType::kForward, {{"mailto", "archive@example.net"}})});
  const MailMessage pdfs = Parse(Sample("intl_attachment_names.eml"));
  for (const ForwardCase& c : cases) {
    SCOPED_TRACE(c.sample + (c.decode ? " decoded" : " raw"));
    Dovecot().DeleteAll(user_);
    Deliver(Sample(c.sample));
    Settings settings = settings_;
    settings.decode_text = c.decode;
    size_t before = Smtp().MessageCount();
    RunQuor({forward}, settings);
    std::vector<StoredMessage> stored = StoredSince(before, 1);
    ASSERT_EQ(stored.size(), 1u);
    DecodedMime mime = ReadBack(stored[0], c.defects);
    EXPECT_THAT(mime.Header("Subject"), ElementsAre(c.subject));
    EXPECT_THAT(mime.Header("From"), ElementsAre(c.from));
    ASSERT_EQ(mime.parts.size(), 1 + c.filenames.size());
    EXPECT_EQ(mime.parts[0].charset, c.text_charset);
    if (c.text) {
      EXPECT_EQ(mime.parts[0].text, c.text);
    }
    for (size_t i = 0; i < c.filenames.size(); ++i) {
      EXPECT_EQ(mime.parts[i + 1].filename, c.filenames[i]);
      // The parts' bytes never change.
      EXPECT_EQ(mime.parts[i + 1].sha256, Sha256(pdfs.Attachment(static_cast<int>(i) + 1)->data));
    }
  }
}

// ---- Incoming ----

struct IncomingCase {
  std::string sample;
  std::string journal;     // "{Subject}|{Sender}" as the agent saved it
  std::string body_start;  // of {Message-Body}
  bool invoice_agent_ran;  // its condition: Subject contains "Rechnung f\xC3\xBCr"
};

// Every sample in one pass: a journal of tokens, the body, the attachments
// under their own names, and an agent whose condition only a decoded subject
// meets. DecodeText 0 gives what agents have always seen.
TEST_F(ActionsEndToEndIntl, AgentsSeeRawTextOrDecodedTextAsTheSettingSays) {
  const std::vector<std::string> samples = {"intl_alternative_utf8.eml",
                                            "intl_alternative_latin1.eml", "intl_plain_latin1.eml",
                                            "intl_attachment_names.eml", "intl_odd_words.eml"};
  for (const std::string& sample : samples) Deliver(Sample(sample));
  fs::create_directories(Base("raw"));
  fs::create_directories(Base("decoded"));
  auto agents = [&](const std::string& folder) {
    return std::vector<MailAgent>{
        Agent("Journal", {Action(ActionType::kSaveData, {{"outfile", Base(folder + "/journal.txt")},
                                                         {"append", "1"},
                                                         {"savemethod", "2"},
                                                         {"linecount", "2"},
                                                         {"line0", "{Subject}|{Sender}"}}),
                          Action(ActionType::kSaveData, {{"outfile", Base(folder + "/body.txt")},
                                                         {"append", "1"},
                                                         {"savemethod", "0"}}),
                          Action(ActionType::kSaveAttachments, {{"directory", Base(folder)},
                                                                {"basefile", "part"},
                                                                {"usenumbering", "1"},
                                                                {"usename", "1"}})}),
        Agent("Invoices",
              {Action(ActionType::kSaveData, {{"outfile", Base(folder + "/invoices.txt")},
                                              {"append", "1"},
                                              {"savemethod", "2"},
                                              {"linecount", "2"},
                                              {"line0", "{Subject}"}})},
              {{"Subject", "contains", "Rechnung f\xC3\xBCr", ConditionJoin::kAnd}})};
  };

  Settings raw = settings_;
  RunQuor(agents("raw"), raw);
  Settings decoding = settings_;
  decoding.decode_text = true;
  RunQuor(agents("decoded"), decoding);

  EXPECT_EQ(
      ReadWholeFile(Base("raw/journal.txt")),
      "=?UTF-8?Q?Rechnung_f=C3=BCr_M=C3=A4rz_=E2=80=93_Kundennummer?=|"
      "=?UTF-8?Q?J=C3=BCrgen_Bo=C3=9F?= <jb@example.org>\n"
      "=?iso-8859-1?B?QmVzdGVsbHVuZyBm/HIgR3L232UgNDI=?=|"
      "=?iso-8859-1?Q?Ren=E9_M=FCller?= <rene.mueller@example.com>\n"
      "=?ISO-8859-1?Q?Commande_n=B0_8812_=E0_livrer?=|"
      "=?ISO-8859-1?Q?Fran=E7oise_L=E9vy?= <f.levy@example.fr>\n"
      "=?UTF-8?B?UmVjaG51bmdlbiBNw6RyeiB1bmQgQXByaWw=?=|Buchhaltung <buchhaltung@example.com>\n"
      "=?UTF-8?Q?Lieferschein_f=C3=BCr?= =?UTF-8?B?broken*base64?=|"
      "=?x-klingon?Q?tlhIngan?= <worf@example.org>\n");
  EXPECT_EQ(ReadWholeFile(Base("decoded/journal.txt")),
            "Rechnung f\xC3\xBCr M\xC3\xA4rz \xE2\x80\x93 Kundennummer 30471|" + kJuergen +
                " <jb@example.org>\n"
                "Bestellung f\xC3\xBCr Gr\xC3\xB6\xC3\x9F"
                "e 42|Ren\xC3\xA9 M\xC3\xBCller "
                "<rene.mueller@example.com>\n"
                "Commande n\xC2\xB0 8812 \xC3\xA0 livrer|Fran\xC3\xA7oise L\xC3\xA9vy "
                "<f.levy@example.fr>\n"
                "Rechnungen M\xC3\xA4rz und April|Buchhaltung <buchhaltung@example.com>\n"
                "Lieferschein f\xC3\xBCr =?UTF-8?B?broken*base64?=|=?x-klingon?Q?tlhIngan?= "
                "<worf@example.org>\n");
  EXPECT_FALSE(fs::exists(Base("raw/invoices.txt")));
  EXPECT_EQ(ReadWholeFile(Base("decoded/invoices.txt")),
            "Rechnung f\xC3\xBCr M\xC3\xA4rz \xE2\x80\x93 Kundennummer 30471\n");

  // The bodies: the raw MIME of the messages whose boundary is folded, the
  // bytes as they came; decoded, the text parts in UTF-8.
  const std::string raw_body = ReadWholeFile(Base("raw/body.txt"));
  EXPECT_NE(raw_body.find("anbei die Rechnung f=C3=BCr M=C3=A4rz"), std::string::npos);
  EXPECT_NE(raw_body.find("Num\xE9ro de commande: 8812-\xC9t\xE9\n"), std::string::npos);
  EXPECT_NE(raw_body.find("Anbei die Rechnungen f\xFCr M\xE4rz und April.\n"), std::string::npos);
  const std::string decoded_body = ReadWholeFile(Base("decoded/body.txt"));
  EXPECT_NE(decoded_body.find("anbei die Rechnung f\xC3\xBCr M\xC3\xA4rz (Kundennummer 30471)"),
            std::string::npos);
  EXPECT_NE(decoded_body.find("bitte liefern Sie 3 St\xC3\xBC"
                              "ck der Gr\xC3\xB6\xC3\x9F"
                              "e 42."),
            std::string::npos);
  EXPECT_NE(decoded_body.find("Num\xC3\xA9ro de commande: 8812-\xC3\x89t\xC3\xA9\n"),
            std::string::npos);
  EXPECT_NE(decoded_body.find("Anbei die Rechnungen f\xC3\xBCr M\xC3\xA4rz und April.\n"),
            std::string::npos);
  EXPECT_NE(decoded_body.find("Lieferung \xA4\xB1 Qapla'\n"), std::string::npos);

  // Attachments: raw, the names the parser always found (none on a first
  // line, an encoded word as written); decoded, the names as the sender
  // meant them. The bytes are the same.
  const MailMessage pdfs = Parse(Sample("intl_attachment_names.eml"));
  const std::string march = pdfs.Attachment(1)->data;
  const std::string april = pdfs.Attachment(2)->data;
  std::map<std::string, std::string> raw_files = FolderContent(Base("raw"));
  EXPECT_EQ(raw_files["part1"], march);
  EXPECT_EQ(raw_files["=?UTF-8?Q?Rechnung_April_=E2=80=93_2024.pdf?=1"], april);
  std::map<std::string, std::string> decoded_files = FolderContent(Base("decoded"));
  EXPECT_EQ(decoded_files["Rechnung M\xC3\xA4rz 2024.pdf1"], march);
  EXPECT_EQ(decoded_files["Rechnung April \xE2\x80\x93 2024.pdf1"], april);
}

// Extraction reads the decoded text too.
TEST_F(ActionsEndToEndIntl, ExtractionReadsTheDecodedText) {
  Deliver(Sample("intl_plain_latin1.eml"));
  MailAgent agent =
      Agent("Orders",
            {Action(ActionType::kSaveData, {{"outfile", Base("orders.txt")},
                                            {"append", "0"},
                                            {"savemethod", "2"},
                                            {"linecount", "1"},
                                            {"line0", "{order}"}})},
            {},
            {{MarkerKind::kText, "Num\xC3\xA9ro de commande: ", MarkerKind::kEndOfLine,
              "{End of line}", "order"}});
  Settings decoding = settings_;
  decoding.decode_text = true;
  Lines lines = RunQuor({agent}, decoding);
  EXPECT_THAT(
      AgentRun(lines, "Orders", 1),
      ElementsAre("--> Extracted {order}: '8812-\xC3\x89t\xC3\xA9'", "--> Saving message data..."));
  EXPECT_EQ(ReadWholeFile(Base("orders.txt")), "8812-\xC3\x89t\xC3\xA9");
}

// ---- Reply loops ----

TEST_F(ActionsEndToEndIntl, AutomaticMailIsNotAnsweredUnlessTheSettingSaysSo) {
  const std::vector<std::string> marks = {
      "Auto-Submitted: auto-replied\n",          "Precedence: bulk\n", "Precedence: junk\n",
      "List-Id: Team news <news.example.org>\n", "Return-Path: <>\n",  ""};
  for (size_t i = 0; i < marks.size(); ++i) {
    Deliver(marks[i] + "From: Robot <robot@example.org>\nTo: orders@example.net\nSubject: Note " +
            std::to_string(i + 1) + "\n\nI am away.\n");
  }
  MailAgent answer =
      Agent("Answer", {Action(ActionType::kSend, {{"mailto", "{Sender}"}, {"subject", "Re"}})});

  size_t before = Smtp().MessageCount();
  Lines lines = RunQuor({answer}, settings_);
  for (int message = 1; message <= 5; ++message) {
    EXPECT_THAT(
        AgentRun(lines, "Answer", message),
        ElementsAre("--> Sending new message...", "--> Not replying to an automatic message."))
        << message;
  }
  EXPECT_THAT(AgentRun(lines, "Answer", 6),
              ElementsAre("--> Sending new message...", "[SMTP] From: <agent@example.com>",
                          "[SMTP] To: <robot@example.org>"));
  EXPECT_EQ(StoredSince(before, 1).size(), 1u);

  Settings always = settings_;
  always.reply_to_automatic = true;
  before = Smtp().MessageCount();
  lines = RunQuor({answer}, always);
  for (int message = 1; message <= 6; ++message) {
    EXPECT_THAT(AgentRun(lines, "Answer", message),
                ElementsAre("--> Sending new message...", "[SMTP] From: <agent@example.com>",
                            "[SMTP] To: <robot@example.org>"))
        << message;
  }
  EXPECT_EQ(StoredSince(before, 6).size(), 6u);
}

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
