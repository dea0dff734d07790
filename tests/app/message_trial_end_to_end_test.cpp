// quor --test-message against a real pass: each row is a message and a set of
// agents. The trial runs first and must change nothing (the base folder, the
// program's folder, the SMTP server's store and the mailbox are compared);
// then the same message goes through Dovecot and a real pass, and what the
// trial predicted must be what happened: the log lines, the envelopes and
// header blocks the SMTP server received, the attachments' names and sizes,
// the argument vector a program got, and every file written with its size.

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"
#include "fixtures/recorder_script.h"
#include "fixtures/row_name.h"
#include "message/message_composer.h"

namespace quor {

namespace actions_e2e {
namespace {

namespace fs = std::filesystem;

using ::testing::ElementsAreArray;

constexpr char kLogPrefix[] = "    log: ";
constexpr char kMailFrom[] = "    would send: MAIL FROM:<";
constexpr char kRcptTo[] = "    would send: RCPT TO:<";
constexpr char kHeader[] = "    header: ";
constexpr char kAttachment[] = "    attachment: ";
constexpr char kArgument[] = "    argv[";
constexpr char kWrite[] = "    would write ";
constexpr char kAppend[] = "    would append ";
constexpr char kDelete[] = "    would delete message 1 on the server";
constexpr char kMultipartNote[] = "Content-Type: multipart/mixed (one part per attachment)";

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.rfind(prefix, 0) == 0;
}

// What a trial said it would do.
struct PredictedMail {
  std::string sender;
  std::vector<std::string> recipients;
  Lines headers;
  std::vector<std::pair<std::string, size_t>> attachments;  // path, size
};
struct Prediction {
  Lines log;
  std::vector<PredictedMail> mails;
  std::vector<Lines> programs;          // argument vectors
  std::map<std::string, size_t> files;  // path: size after the run
  int deletes = 0;
  int matched = 0;
};

// "text (N ...": the text and N.
std::pair<std::string, size_t> PathAndSize(const std::string& text) {
  size_t open = text.rfind(" (");
  return {text.substr(0, open), std::stoul(text.substr(open + 2))};
}

Prediction ReadPrediction(const Lines& lines) {
  Prediction prediction;
  for (const std::string& line : lines) {
    if (StartsWith(line, kLogPrefix)) {
      prediction.log.push_back(line.substr(sizeof kLogPrefix - 1));
    } else if (line == "  matched: yes" || line == "  matched: yes (no conditions)") {
      ++prediction.matched;
    } else if (StartsWith(line, kMailFrom)) {
      prediction.mails.emplace_back();
      prediction.mails.back().sender =
          line.substr(sizeof kMailFrom - 1, line.size() - sizeof kMailFrom);
    } else if (StartsWith(line, kRcptTo)) {
      prediction.mails.back().recipients.push_back(
          line.substr(sizeof kRcptTo - 1, line.size() - sizeof kRcptTo));
    } else if (StartsWith(line, kHeader)) {
      prediction.mails.back().headers.push_back(line.substr(sizeof kHeader - 1));
    } else if (StartsWith(line, kAttachment)) {
      prediction.mails.back().attachments.push_back(
          PathAndSize(line.substr(sizeof kAttachment - 1)));
    } else if (StartsWith(line, "    would start a program")) {
      prediction.programs.emplace_back();
    } else if (StartsWith(line, "    the program cannot be started")) {
      prediction.programs.pop_back();
    } else if (StartsWith(line, kArgument)) {
      prediction.programs.back().push_back(line.substr(line.find("]: ") + 3));
    } else if (StartsWith(line, kWrite)) {
      auto [path, size] = PathAndSize(line.substr(sizeof kWrite - 1));
      prediction.files[path] = size;
    } else if (StartsWith(line, kAppend)) {
      std::string rest = line.substr(line.find(" bytes to ") + 10);
      size_t open = rest.rfind(" (");
      prediction.files[rest.substr(0, open)] = std::stoul(rest.substr(open + 2));
    } else if (line == kDelete) {
      ++prediction.deletes;
    }
  }
  return prediction;
}

// Header lines as comparable: the date and the message id are of the moment,
// and a multipart message's type and length come with its parts.
Lines ComparableHeaders(const Lines& headers, bool multipart) {
  Lines kept;
  bool skipping = false;
  for (const std::string& line : headers) {
    bool continuation = !line.empty() && (line[0] == ' ' || line[0] == '\t');
    if (continuation) {
      if (!skipping) kept.push_back(line);
      continue;
    }
    skipping =
        StartsWith(line, "Date:") || StartsWith(line, "Message-ID:") || line == kMultipartNote ||
        (multipart && (StartsWith(line, "Content-Type:") || StartsWith(line, "Content-Length:")));
    if (!skipping) kept.push_back(line);
  }
  return kept;
}

Lines ReceivedHeaders(const std::string& data) {
  Lines headers;
  for (std::string line : SplitLines(data)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    headers.push_back(line);
  }
  return headers;
}

// Every regular file under `folder` with its content.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file())
      files[entry.path().string()] = ReadWholeFile(entry.path().string());
  }
  return files;
}

// The pass's own files in the base folder, which no agent writes.
bool IsBookkeeping(const std::string& path, const std::string& base) {
  std::string name = fs::path(path).filename().string();
  return fs::path(path).parent_path() == fs::path(base) && StartsWith(name, "quor");
}

struct Paths {
  std::string base;
  std::string recorder;
};

struct TrialRow {
  std::string name;
  std::string message;
  std::function<std::vector<MailAgent>(const Paths&)> agents;
  // Files (relative to the base folder) present before both runs.
  std::vector<std::pair<std::string, std::string>> existing;
};

const std::vector<TrialRow>& Rows() {
  static const std::vector<TrialRow> rows = {
      {"send with template, cc and attachments, AND of two conditions",
       PlainMessage("Order 1234 for you",
                    "Dear desk,\nyour order 1234 ships today.\nTracking: TR-99\nBye\n"),
       [](const Paths& paths) {
         return std::vector<MailAgent>{Agent(
             "Reply",
             {Action(ActionType::kSend, {{"mailto", "{Sender}"},
                                         {"cclist", "copy@example.net, Desk <desk@example.net>"},
                                         {"subject", "Re: order {number}"},
                                         {"message", paths.base + "/reply.txt"},
                                         {"attachCount", "2"},
                                         {"attach0", paths.base + "/files/{number}.txt"},
                                         {"attach1", paths.base + "/files/missing.pdf"}})},
             {{"Subject", "contains", "Order", ConditionJoin::kAnd},
              {"Sender", "does not contain", "noreply", ConditionJoin::kAnd}},
             {{MarkerKind::kText, "order ", MarkerKind::kAnyBlank, "", "number"},
              {MarkerKind::kText, "Tracking: ", MarkerKind::kEndOfLine, "", "tracking"}})};
       },
       {{"reply.txt", "Order {number}\nTracking {tracking}\n3\n4\n5\n6\n7\n"},
        {"files/1234.txt", "the order's sheet\n"}}},
      {"forward and save attachments numbered next to existing files",
       ThreeFilesMessage(),
       [](const Paths& paths) {
         return std::vector<MailAgent>{Agent(
             "Keep", {Action(ActionType::kSaveAttachments, {{"directory", paths.base + "/saved"},
                                                            {"basefile", "part"},
                                                            {"usename", "1"},
                                                            {"usenumbering", "1"}}),
                      Action(ActionType::kSaveAttachments, {{"directory", paths.base + "/saved"},
                                                            {"basefile", "same"},
                                                            {"usename", "0"},
                                                            {"usenumbering", "1"}}),
                      Action(ActionType::kForward, {{"mailto", "archive@example.net"}})})};
       },
       {{"saved/report.txt1", "older report\n"}, {"saved/same1", "x"}, {"saved/same3", "y"}}},
      {"program argument vector and three data files",
       PlainMessage("Ticket \"42\" urgent; rm -rf", "Customer: Ann\nTicket: 42\n"),
       [](const Paths& paths) {
         return std::vector<MailAgent>{Agent(
             "Runner",
             {Action(ActionType::kRunProgram,
                     {{"program", paths.recorder},
                      {"arguments", "--subject {Subject} \"two words\" {ticket}{Missing} x\\\"y"},
                      {"wait", "1"}}),
              Action(ActionType::kSaveData, {{"outfile", paths.base + "/log.txt"},
                                             {"append", "1"},
                                             {"savemethod", "2"},
                                             {"linecount", "2"},
                                             {"line0", "{ticket};{Sender}"},
                                             {"line1", "end"}}),
              Action(ActionType::kSaveData,
                     {{"outfile", paths.base + "/body.txt"}, {"append", "0"}, {"savemethod", "0"}}),
              Action(ActionType::kSaveData, {{"outfile", paths.base + "/filled.txt"},
                                             {"append", "0"},
                                             {"savemethod", "1"},
                                             {"templatefile", paths.base + "/template.txt"}})},
             {}, {{MarkerKind::kText, "Ticket: ", MarkerKind::kEndOfLine, "", "ticket"}})};
       },
       {{"log.txt", "old line\n"},
        {"body.txt", "to be replaced"},
        {"template.txt", "T={ticket}\n"}}},
      {"OR and AND folds, an early stop, a failed extraction, sound and delete",
       PlainMessage("Weekly report", "no markers here\n"),
       [](const Paths& paths) {
         MailAgent off = Agent("Off", {Action(ActionType::kSound)});
         off.enabled = false;
         return std::vector<MailAgent>{
             Agent("Never", {Action(ActionType::kDelete)},
                   {{"Subject", "contains", "Order", ConditionJoin::kAnd},
                    {"Sender", "contains", "nobody", ConditionJoin::kAnd},
                    {"Subject", "contains", "Weekly", ConditionJoin::kOr}}),
             Agent("Typo", {Action(ActionType::kDelete)},
                   {{"Subjekt", "contains", "Weekly", ConditionJoin::kAnd}}),
             off,
             Agent("Weekly",
                   {Action(ActionType::kSound),
                    Action(ActionType::kSaveData, {{"outfile", paths.base + "/t.txt"},
                                                   {"append", "0"},
                                                   {"savemethod", "2"},
                                                   {"linecount", "1"},
                                                   {"line0", "t={ticket}"}}),
                    Action(ActionType::kDelete)},
                   {{"Subject", "is", "nope", ConditionJoin::kAnd},
                    {"Subject", "contains", "Weekly", ConditionJoin::kOr},
                    {"Date", "contains", "2024", ConditionJoin::kAnd}},
                   {{MarkerKind::kText, "Ticket: ", MarkerKind::kEndOfLine, "", "ticket"}})};
       },
       {}},
      {"failed program and blank recipient keep the message",
       PlainMessage("Run it", "x\n"),
       [](const Paths& paths) {
         return std::vector<MailAgent>{Agent(
             "Broken",
             {Action(ActionType::kRunProgram,
                     {{"program", paths.base + "/no-such-program"}, {"arguments", "{Subject}"}}),
              Action(ActionType::kSend, {{"mailto", "{Missing}"}, {"subject", "x"}}),
              Action(ActionType::kDelete)})};
       },
       {}},
  };
  return rows;
}

class MessageTrialEndToEnd : public EndToEndTest, public ::testing::WithParamInterface<TrialRow> {
 protected:
  Settings OutgoingSettings() const {
    Settings settings;
    settings.smtp_server = Smtp().host_text();
    settings.email_address = "quor@example.net";
    settings.sender_name = "Quor Desk";
    settings.organization = "Example Ltd.";
    return settings;
  }

  TempDir programs_;
  TempDir message_folder_;
};

TEST_P(MessageTrialEndToEnd, TrialPredictsThePassAndChangesNothing) {
  const TrialRow& row = GetParam();
  const Paths paths{base_.path(), WriteRecorderScript(programs_.path())};
  const std::vector<MailAgent> agents = row.agents(paths);
  const Settings settings = OutgoingSettings();
  Configure(agents, settings);
  for (const auto& [name, content] : row.existing) {
    fs::create_directories(fs::path(Base(name)).parent_path());
    WriteWholeFile(Base(name), content);
  }
  const std::string message_file = message_folder_.File("message.eml");
  WriteWholeFile(message_file, row.message);
  Deliver(row.message);

  const auto base_before = Snapshot(base_.path());
  const auto programs_before = Snapshot(programs_.path());
  const size_t sent_before = Smtp().MessageCount();
  ChildProcess trial(QUOR_BINARY, {"--test-message", message_file, "--base-dir", base_.path(),
                                   "--profile", ProfilePath()});
  const int trial_status = trial.Wait(kRunLimit);
  const Lines trace = SplitLines(trial.Output());
  SCOPED_TRACE(trial.Output() + trial.Errors());
  EXPECT_EQ(Snapshot(base_.path()), base_before);
  EXPECT_EQ(Snapshot(programs_.path()), programs_before);
  EXPECT_EQ(Smtp().MessageCount(), sent_before);
  EXPECT_EQ(Dovecot().Count(user_), 1);

  const Prediction predicted = ReadPrediction(trace);
  EXPECT_EQ(trial_status, predicted.matched > 0 ? 0 : 1);

  Lines pass = RunQuor(agents, settings);
  // The lines of the message's agents, as the pass logged them (the SMTP
  // client's own lines come from the conversation the trial never has).
  Lines logged;
  auto first = std::find(pass.begin(), pass.end(), "--> Retrieving message 1 of 1...");
  ASSERT_NE(first, pass.end());
  for (auto line = first + 1; line != pass.end() && *line != "Processing completed."; ++line) {
    if (!StartsWith(*line, "[SMTP] ")) logged.push_back(*line);
  }
  EXPECT_THAT(predicted.log, ElementsAreArray(logged));

  ASSERT_TRUE(Smtp().WaitForMessages(sent_before + predicted.mails.size()));
  const std::vector<StoredMessage> received = Smtp().Messages();
  ASSERT_EQ(received.size(), sent_before + predicted.mails.size());
  for (size_t i = 0; i < predicted.mails.size(); ++i) {
    const PredictedMail& mail = predicted.mails[i];
    const StoredMessage& stored = received[sent_before + i];
    EXPECT_EQ(stored.mail_from, mail.sender);
    EXPECT_EQ(stored.rcpt_tos, mail.recipients);
    const bool multipart = !mail.attachments.empty();
    EXPECT_THAT(ComparableHeaders(ReceivedHeaders(stored.data), multipart),
                ElementsAreArray(ComparableHeaders(mail.headers, multipart)));
    // A text file's lines end in CR LF on the wire, and Python counts them.
    Lines sent;
    Lines expected;
    for (const MimeAttachment& part : CheckMime(stored.path).attachments) {
      sent.push_back(part.filename + " " + std::to_string(part.size));
    }
    for (const auto& [path, size] : mail.attachments) {
      const std::string content = ReadWholeFile(path);
      EXPECT_EQ(content.size(), size) << path;
      size_t line_ends = StartsWith(AttachmentContentType(path), "text/")
                             ? std::count(content.begin(), content.end(), '\n')
                             : 0;
      expected.push_back(fs::path(path).filename().string() + " " +
                         std::to_string(size + line_ends));
    }
    EXPECT_THAT(sent, ElementsAreArray(expected));
  }

  if (predicted.programs.empty()) {
    EXPECT_FALSE(FileExists(programs_.File("argc")));
  }
  for (const Lines& words : predicted.programs) {
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words[0], paths.recorder);
    std::string record;
    for (size_t i = 1; i < words.size(); ++i) record += words[i] + "\n";
    EXPECT_EQ(ReadWholeFile(programs_.File("argv.txt")), record + "MARK=\n--\n");
  }

  // Exactly the predicted files changed, with the predicted sizes.
  std::map<std::string, size_t> written;
  const auto base_after = Snapshot(base_.path());
  for (const auto& [path, content] : base_after) {
    auto before = base_before.find(path);
    if (IsBookkeeping(path, base_.path()) || fs::is_directory(path)) continue;
    if (before == base_before.end() || before->second != content) written[path] = content.size();
  }
  EXPECT_EQ(written, predicted.files);
  EXPECT_EQ(Dovecot().Count(user_), predicted.deletes > 0 ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Rows, MessageTrialEndToEnd, ::testing::ValuesIn(Rows()),
                         NameRowsBy(&TrialRow::name));

}  // namespace
}  // namespace actions_e2e
}  // namespace quor
