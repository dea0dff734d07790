// Save Attachments and Save Message Data to a File, end to end: messages in a
// real Dovecot, agents in a real agents file, one pass of the quor program,
// and the files it leaves behind.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/actions_end_to_end.h"

namespace quor {

namespace actions_e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Name to content of every entry directly in a folder.
std::map<std::string, std::string> FolderContent(const std::string& folder) {
  std::map<std::string, std::string> content;
  for (const auto& entry : fs::directory_iterator(folder)) {
    content[entry.path().filename().string()] = ReadWholeFile(entry.path().string());
  }
  return content;
}

// Every regular file below a folder, as paths relative to it.
std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

MailAgent SaveAttachmentsAgent(const std::string& name, const std::string& directory,
                               const std::string& basefile, const std::string& numbering,
                               const std::string& own_name) {
  return Agent(name, {Action(ActionType::kSaveAttachments, {{"directory", directory},
                                                            {"basefile", basefile},
                                                            {"usenumbering", numbering},
                                                            {"usename", own_name}})});
}

class ActionsEndToEndFiles : public EndToEndTest {};

// ---- Save Attachments ----

struct SaveCase {
  std::string agent;
  std::string folder;  // below the base directory
  std::string basefile;
  std::string numbering;
  std::string own_name;
  std::map<std::string, std::string> existing = {};  // files there before the pass
  std::vector<std::string> logged_names;             // file names of attachments 1, 2, 3
  std::map<std::string, std::string> after = {};     // the folder after the pass
  bool folder_exists = true;                         // made before the pass
};

TEST_F(ActionsEndToEndFiles, SaveAttachmentsNamesNumbersAndFolders) {
  const std::string chart = Chart();
  const std::vector<SaveCase> cases = {
      {.agent = "Numbered base name",
       .folder = "numbered",
       .basefile = "file",
       .numbering = "1",
       .own_name = "0",
       .existing = {{"file1", "older"}},
       .logged_names = {"file2", "file3", "file4"},
       .after = {{"file1", "older"}, {"file2", kReport}, {"file3", chart}, {"file4", kUnnamed}}},
      {.agent = "Own names numbered",
       .folder = "own_numbered",
       .basefile = "part",
       .numbering = "1",
       .own_name = "1",
       .existing = {{"report.txt1", "older"}},
       .logged_names = {"report.txt2", "chart.bin1", "part1"},
       .after = {{"report.txt1", "older"},
                 {"report.txt2", kReport},
                 {"chart.bin1", chart},
                 {"part1", kUnnamed}}},
      // Folders that do not exist yet are made, private to the user.
      {.agent = "Missing folder",
       .folder = "missing/inbox",
       .basefile = "part",
       .numbering = "1",
       .own_name = "1",
       .logged_names = {"report.txt1", "chart.bin1", "part1"},
       .after = {{"report.txt1", kReport}, {"chart.bin1", chart}, {"part1", kUnnamed}},
       .folder_exists = false},
      {.agent = "Own names replaced",
       .folder = "own_replaced",
       .basefile = "part",
       .numbering = "0",
       .own_name = "1",
       .existing = {{"report.txt", "older"}},
       .logged_names = {"report.txt", "chart.bin", "part"},
       .after = {{"report.txt", kReport}, {"chart.bin", chart}, {"part", kUnnamed}}},
      {.agent = "One name for all",
       .folder = "one_name",
       .basefile = "all.dat",
       .numbering = "0",
       .own_name = "0",
       .logged_names = {"all.dat", "all.dat", "all.dat"},
       .after = {{"all.dat", kUnnamed}}},
  };
  std::vector<MailAgent> agents;
  for (const SaveCase& c : cases) {
    std::string folder = Base(c.folder);
    if (c.folder_exists) fs::create_directories(folder);
    for (const auto& [name, content] : c.existing) WriteWholeFile(folder + "/" + name, content);
    agents.push_back(SaveAttachmentsAgent(c.agent, folder, c.basefile, c.numbering, c.own_name));
  }
  Deliver(ThreeFilesMessage());
  Deliver(PlainMessage("No files", "Just text.\n"));

  Lines lines = RunQuor(agents);

  const std::vector<size_t> sizes = {kReport.size(), chart.size(), kUnnamed.size()};
  for (const SaveCase& c : cases) {
    SCOPED_TRACE(c.agent);
    std::string folder = Base(c.folder);
    Lines expected = {"--> Saving attachments...", "Extracted 3 attachments."};
    for (size_t i = 0; i < 3; ++i) {
      expected.push_back("Saving attachment #" + std::to_string(i + 1) + ": " + folder + "/" +
                         c.logged_names[i] + " (" + std::to_string(sizes[i]) + " bytes)");
    }
    EXPECT_EQ(AgentRun(lines, c.agent, 1), expected);
    EXPECT_THAT(AgentRun(lines, c.agent, 2),
                ElementsAre("--> Saving attachments...", "No attachments found."));
    EXPECT_EQ(FolderContent(folder), c.after);
    if (!c.folder_exists) {
      for (const std::string& made : {Base("missing"), folder}) {
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
      }
    }
  }
}

TEST_F(ActionsEndToEndFiles, AttachmentNamesFromTheMessageNeverLeaveTheFolder) {
  TempDir outside;
  // Names a sender may put into a message; with the own names taken as they
  // stand they would reach the base directory, another folder, or the
  // terminal of whoever lists the folder.
  const std::vector<std::pair<std::string, std::string>> parts = {
      {"../../escape1.txt", "one"},
      {outside.File("absolute.txt"), "two"},
      {"..\\..\\escape3.txt", "three"},
      {"ctl\x01\t\x1b[0m\x7fname.txt", "four"},
      {"..", "five"},
  };
  std::string message =
      "From: Mallory <mallory@example.org>\nTo: orders@example.net\nSubject: names\n"
      "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
      "Content-Type: text/plain\nContent-Transfer-Encoding: 7bit\n\nsee the files\n";
  for (const auto& [name, content] : parts) {
    message += "--b\nContent-Type: text/plain; name=\"" + name +
               "\"\nContent-Transfer-Encoding: 7bit\n\n" + content + "\n";
  }
  message += "--b--\n";
  Deliver(message);
  fs::create_directories(Base("box/plain"));
  fs::create_directories(Base("box/numbered"));

  Lines lines = RunQuor({SaveAttachmentsAgent("Plain", Base("box/plain"), "part", "0", "1"),
                         SaveAttachmentsAgent("Numbered", Base("box/numbered"), "part", "1", "1")});

  for (const auto& [agent, folder] :
       {std::pair{"Plain", Base("box/plain")}, std::pair{"Numbered", Base("box/numbered")}}) {
    SCOPED_TRACE(agent);
    Lines run = AgentRun(lines, agent, 1);
    ASSERT_EQ(run.size(), 2 + parts.size());
    EXPECT_EQ(run[1], "Extracted 5 attachments.");
    for (size_t i = 0; i < parts.size(); ++i) {
      std::string prefix = "Saving attachment #" + std::to_string(i + 1) + ": " + folder + "/";
      ASSERT_EQ(run[2 + i].rfind(prefix, 0), 0u) << run[2 + i];
      std::string name = run[2 + i].substr(prefix.size());
      name = name.substr(0, name.rfind(" ("));
      EXPECT_EQ(name.find('/'), std::string::npos) << name;
      for (char c : name) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << name;
      EXPECT_NE(name, "..");
      EXPECT_EQ(ReadWholeFile(folder + "/" + name), parts[i].second + "\n") << name;
    }
    EXPECT_EQ(FolderContent(folder).size(), parts.size());
  }
  // Nothing landed anywhere else.
  EXPECT_THAT(FilesBelow(outside.path()), IsEmpty());
  for (const std::string& file : FilesBelow(base_.path())) {
    bool saved = file.rfind("box/plain/", 0) == 0 || file.rfind("box/numbered/", 0) == 0;
    bool own = file == "quor.log" || file == "quor.INI" || file == "quor.lock" ||
               file == "quor.progress" || file.rfind("quoragts.ini", 0) == 0;
    EXPECT_TRUE(saved || own) << file;
  }
}

// ---- Save Message Data to a File ----

struct SaveDataCase {
  std::string agent;
  std::string outfile;  // below the base directory
  Properties properties;
  std::string existing = {};  // the file's content before the pass; empty: no file
  std::string after;          // after both messages
  Lines extra_lines = {};     // logged after "--> Saving message data..."
};

TEST_F(ActionsEndToEndFiles, SaveDataMethodsAppendingAndReplacing) {
  const std::string body_1 = "Order number: 4711\nThanks, Ann\n";
  const std::string body_2 = "Order number: 4712\nThanks, Ann\n";
  Deliver(PlainMessage("Order 4711 shipped", body_1));
  Deliver(PlainMessage("Order 4712 shipped", body_2));
  WriteWholeFile(Base("template.txt"),
                 "{Subject}|{ordernum}|{Sender}|{Reply-To}|{Recipient}|{Date}|{Mailbox}|"
                 "{nothing}|{ Subject }\n");
  auto filled = [&](const std::string& number) {
    return "Order " + number + " shipped|" + number +
           "|Ann Example <ann@example.org>|Ann Example <ann@example.org>|orders@example.net|"
           "Thu, 16 May 2024 09:30:00 +0200|" +
           Mailbox() + "||Order " + number + " shipped\n";
  };
  const Properties lines = {
      {"linecount", "2"}, {"line0", "From: {Sender}"}, {"line1", "Order: {ordernum}"}};
  auto with = [](Properties properties, const Properties& more) {
    properties.insert(properties.end(), more.begin(), more.end());
    return properties;
  };
  const std::string missing_template = Base("no-such-template.txt");
  const std::vector<SaveDataCase> cases = {
      {.agent = "Body replaced",
       .outfile = "body_replaced.txt",
       .properties = {{"savemethod", "0"}, {"append", "0"}},
       .existing = "old\n",
       .after = body_2},
      {.agent = "Body appended",
       .outfile = "body_appended.txt",
       .properties = {{"savemethod", "0"}, {"append", "1"}},
       .existing = "old\n",
       .after = "old\n" + body_1 + body_2},
      {.agent = "Template replaced",
       .outfile = "template_replaced.txt",
       .properties = {{"savemethod", "1"}, {"append", "0"}, {"templatefile", Base("template.txt")}},
       .after = filled("4712")},
      {.agent = "Template appended",
       .outfile = "template_appended.txt",
       .properties = {{"savemethod", "1"}, {"append", "1"}, {"templatefile", Base("template.txt")}},
       .after = filled("4711") + filled("4712")},
      {.agent = "Lines replaced",
       .outfile = "lines_replaced.txt",
       .properties = with({{"savemethod", "2"}, {"append", "0"}}, lines),
       .after = "From: Ann Example <ann@example.org>\nOrder: 4712"},
      // A second message continues right after the last character of the first.
      {.agent = "Lines appended",
       .outfile = "lines_appended.txt",
       .properties = with({{"savemethod", "2"}, {"append", "1"}}, lines),
       .after = "From: Ann Example <ann@example.org>\nOrder: 4711"
                "From: Ann Example <ann@example.org>\nOrder: 4712"},
      // The file is opened before the template is read, so it is left empty.
      {.agent = "Template missing",
       .outfile = "template_missing.txt",
       .properties = {{"savemethod", "1"}, {"append", "0"}, {"templatefile", missing_template}},
       .existing = "old\n",
       .after = "",
       .extra_lines = {"WARNING: Unable to read file " + missing_template}},
  };
  const AgentExtraction order_number{MarkerKind::kText, "Order number: ", MarkerKind::kEndOfLine,
                                     "{End of line}", "ordernum"};
  std::vector<MailAgent> agents;
  for (const SaveDataCase& c : cases) {
    if (!c.existing.empty()) WriteWholeFile(Base(c.outfile), c.existing);
    AgentAction save = Action(ActionType::kSaveData, c.properties);
    save.SetProperty("outfile", Base(c.outfile));
    agents.push_back(Agent(c.agent, {save}, {}, {order_number}));
  }
  // An output file in a folder that does not exist: one error line, and the
  // agent's next action runs.
  std::string unreachable = Base("missing/out.txt");
  agents.push_back(Agent("Missing folder",
                         {Action(ActionType::kSaveData,
                                 {{"outfile", unreachable}, {"savemethod", "0"}, {"append", "1"}}),
                          Action(ActionType::kSaveData, {{"outfile", Base("after_error.txt")},
                                                         {"savemethod", "2"},
                                                         {"append", "1"},
                                                         {"linecount", "1"},
                                                         {"line0", "{Subject};"}})}));

  Lines log = RunQuor(agents);

  for (const SaveDataCase& c : cases) {
    SCOPED_TRACE(c.agent);
    EXPECT_EQ(ReadWholeFile(Base(c.outfile)), c.after);
    for (int message = 1; message <= 2; ++message) {
      Lines expected = {"--> Extracted {ordernum}: '471" + std::to_string(message) + "'",
                        "--> Saving message data..."};
      expected.insert(expected.end(), c.extra_lines.begin(), c.extra_lines.end());
      EXPECT_EQ(AgentRun(log, c.agent, message), expected);
    }
  }
  for (int message = 1; message <= 2; ++message) {
    EXPECT_THAT(AgentRun(log, "Missing folder", message),
                ElementsAre("--> Saving message data...",
                            "ERROR: can't open output file (" + unreachable + ")",
                            "--> Saving message data..."));
  }
  EXPECT_FALSE(fs::exists(Base("missing")));
  EXPECT_EQ(ReadWholeFile(Base("after_error.txt")), "Order 4711 shipped;Order 4712 shipped;");
}

}  // namespace
}  // namespace actions_e2e

}  // namespace quor
