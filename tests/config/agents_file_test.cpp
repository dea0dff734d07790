#include "config/agents_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "config/file_size_limit.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using namespace std::string_literals;

// One agent that forwards matching messages and then deletes them.
const char kExampleFile[] =
    "[Agents]\n"
    "AgentCount=1.\n"
    "[Agent0]\n"
    "Name=Orders.\n"
    "Enabled=1.\n"
    "CondCount=1.\n"
    "Cond0.fld=Subject.\n"
    "Cond0.op=contains.\n"
    "Cond0.value=Order.\n"
    "Cond0.join=0.\n"
    "ExtractCount=1.\n"
    "Ext0.startval=Order number:.\n"
    "Ext0.starttype=0.\n"
    "Ext0.endval={End of line}.\n"
    "Ext0.endtype=3.\n"
    "Ext0.varname=ordernum.\n"
    "ActionCount=2.\n"
    "Action0.name=Forward Incoming Message.\n"
    "Action0.type=6.\n"
    "Action0.propCount=1.\n"
    "Action0.prop0.name=mailto.\n"
    "Action0.prop0.value={Sender}.\n"
    "Action1.name=Delete Incoming Message.\n"
    "Action1.type=1.\n"
    "Action1.propCount=0.\n";

MailAgent ExampleAgent() {
  MailAgent agent;
  agent.name = "Orders";
  agent.enabled = true;
  agent.conditions.push_back({"Subject", "contains", "Order", ConditionJoin::kAnd});
  agent.extractions.push_back(
      {MarkerKind::kText, "Order number:", MarkerKind::kEndOfLine, "{End of line}", "ordernum"});
  AgentAction forward("Forward Incoming Message", ActionType::kForward);
  forward.SetProperty("mailto", "{Sender}");
  agent.actions.push_back(forward);
  agent.actions.emplace_back("Delete Incoming Message", ActionType::kDelete);
  return agent;
}

std::string WithCarriageReturns(const std::string& text) {
  std::string converted;
  for (char letter : text) {
    if (letter == '\n') converted += '\r';
    converted += letter;
  }
  return converted;
}

class AgentsFileTest : public ::testing::Test {
 protected:
  std::vector<MailAgent> LoadFrom(const std::string& content) {
    WriteWholeFile(path_, content);
    return AgentsFile::Load(path_);
  }
  // Saves agents and loads them back.
  std::vector<MailAgent> RoundTrip(const std::vector<MailAgent>& agents) {
    EXPECT_TRUE(AgentsFile::Save(path_, agents));
    return AgentsFile::Load(path_);
  }
  static MailAgent Named(const std::string& name) {
    MailAgent agent;
    agent.name = name;
    return agent;
  }

  TempDir folder_;
  std::string path_ = folder_.File("quoragts.ini");
  std::string backup_ = path_ + ".bak";
};

// --- The example file ---

TEST_F(AgentsFileTest, ExampleFileLoadsIntoTheModel) {
  std::vector<MailAgent> agents = LoadFrom(kExampleFile);
  ASSERT_EQ(agents.size(), 1u);
  EXPECT_EQ(agents[0], ExampleAgent());
}

TEST_F(AgentsFileTest, ExampleFileSavesBackTheSameLines) {
  for (const std::string& input : {std::string(kExampleFile), WithCarriageReturns(kExampleFile)}) {
    std::vector<MailAgent> agents = LoadFrom(input);
    ASSERT_TRUE(AgentsFile::Save(path_, agents));
    EXPECT_EQ(ReadWholeFile(path_), kExampleFile);
  }
}

TEST_F(AgentsFileTest, ModelSavesAsTheExampleFile) {
  ASSERT_TRUE(AgentsFile::Save(path_, {ExampleAgent()}));
  EXPECT_EQ(ReadWholeFile(path_), kExampleFile);
}

// --- The value rule ---

TEST_F(AgentsFileTest, EveryValueIsStoredWithAFullStopAndReadsBackWithoutIt) {
  struct Case {
    std::string value;
    std::string stored_line;
    std::string read_back;
  };
  const Case cases[] = {
      {"Orders", "Name=Orders.\n", "Orders"},
      {"Inc.", "Name=Inc..\n", "Inc."},
      {"ends with a blank ", "Name=ends with a blank .\n", "ends with a blank "},
      {"", "Name=.\n", ""},
      {"...", "Name=....\n", "..."},
      {"a=b;[c]", "Name=a=b;[c].\n", "a=b;[c]"},
      // Profile values are trimmed on reading, so leading blanks cannot be kept.
      {"  leading", "Name=  leading.\n", "leading"},
  };
  for (const Case& c : cases) {
    std::vector<MailAgent> loaded = RoundTrip({Named(c.value)});
    EXPECT_NE(ReadWholeFile(path_).find(c.stored_line), std::string::npos) << c.value;
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].name, c.read_back) << c.value;
  }
}

TEST_F(AgentsFileTest, HandWrittenValuesReadWithOrWithoutTheFullStop) {
  const std::pair<const char*, const char*> cases[] = {
      {"Orders", "Orders"}, {"Orders.", "Orders"}, {"Orders..", "Orders."}, {".", ""}, {"", ""}};
  for (const auto& [stored, expected] : cases) {
    std::vector<MailAgent> agents =
        LoadFrom("[Agents]\nAgentCount=1\n[Agent0]\nName=" + std::string(stored) + "\nEnabled=1\n");
    ASSERT_EQ(agents.size(), 1u) << stored;
    EXPECT_EQ(agents[0].name, expected) << stored;
    EXPECT_EQ(agents[0].enabled, 1) << stored;
  }
}

TEST_F(AgentsFileTest, LongTextsComeBackCutTo254Characters) {
  const std::pair<size_t, size_t> lengths[] = {
      {253, 253}, {254, 254}, {255, 254}, {300, 254}, {600, 254}};
  for (const auto& [written, read] : lengths) {
    MailAgent agent;
    std::string value;
    for (size_t i = 0; i < written; ++i) value += static_cast<char>('a' + i % 26);
    agent.conditions.push_back({"Subject", "is", value, ConditionJoin::kAnd});
    std::vector<MailAgent> loaded = RoundTrip({agent});
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_EQ(loaded[0].conditions.size(), 1u);
    EXPECT_EQ(loaded[0].conditions[0].value, value.substr(0, read)) << written;
  }
}

TEST_F(AgentsFileTest, KeysAreFoundWithoutRegardToCase) {
  std::vector<MailAgent> agents = LoadFrom(
      "[AGENTS]\nagentcount=1.\n[agent0]\nNAME=Mixed.\nenabled=1.\ncondcount=1.\n"
      "COND0.FLD=Subject.\n");
  ASSERT_EQ(agents.size(), 1u);
  EXPECT_EQ(agents[0].name, "Mixed");
  ASSERT_EQ(agents[0].conditions.size(), 1u);
  EXPECT_EQ(agents[0].conditions[0].field, "Subject");
}

// --- Counts and missing records ---

TEST_F(AgentsFileTest, CountWithoutSectionsGivesDisabledEmptyAgents) {
  std::vector<MailAgent> agents = LoadFrom("[Agents]\nAgentCount=2.\n[Agent0]\nName=A.\n");
  ASSERT_EQ(agents.size(), 2u);
  MailAgent empty;
  empty.enabled = 0;
  EXPECT_EQ(agents[1], empty);
  EXPECT_EQ(agents[0].enabled, 0);  // no Enabled key: disabled
}

TEST_F(AgentsFileTest, PropertyCountWithoutKeysGivesOneEmptyPropertyAndSavesItSo) {
  std::vector<MailAgent> agents = LoadFrom(
      "[Agents]\nAgentCount=1.\n[Agent0]\nActionCount=1.\nAction0.type=2.\n"
      "Action0.propCount=1.\n");
  ASSERT_EQ(agents.size(), 1u);
  ASSERT_EQ(agents[0].actions.size(), 1u);
  using Properties = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(agents[0].actions[0].properties(), (Properties{{"", ""}}));
  ASSERT_TRUE(AgentsFile::Save(path_, agents));
  EXPECT_NE(ReadWholeFile(path_).find(
                "Action0.propCount=1.\nAction0.prop0.name=.\nAction0.prop0.value=.\n"),
            std::string::npos);
}

TEST_F(AgentsFileTest, LaterPropertyOfTheSameNameReplacesTheEarlier) {
  std::vector<MailAgent> agents = LoadFrom(
      "[Agents]\nAgentCount=1.\n[Agent0]\nActionCount=1.\nAction0.propCount=3.\n"
      "Action0.prop0.name=mailto.\nAction0.prop0.value=first.\n"
      "Action0.prop1.name=wait.\nAction0.prop1.value=1.\n"
      "Action0.prop2.name=mailto.\nAction0.prop2.value=second.\n");
  using Properties = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(agents.at(0).actions.at(0).properties(),
            (Properties{{"mailto", "second"}, {"wait", "1"}}));
}

TEST_F(AgentsFileTest, SourceTellsWhereEachValueWasWritten) {
  WriteWholeFile(path_,
                 "[Agents]\nAgentCount=2.\n[Agent0]\nName=A.\nCondCount=1.\n"  // 1-5
                 "Cond0.fld=Subject.\nCond0.op=is.\nExtractCount=1.\n"         // 6-8
                 "Ext0.endtype=3.\nActionCount=1.\nAction0.type=2.\n"          // 9-11
                 "Action0.propCount=2.\nAction0.prop0.name=mailto.\n"          // 12-13
                 "Action0.prop0.value=a@b.\nAction0.prop1.name=mailto.\n"      // 14-15
                 "Action0.prop1.value=c@d.\n");                                // 16
  AgentsSource source;
  std::vector<MailAgent> agents = AgentsFile::Load(path_, nullptr, &source);
  ASSERT_EQ(agents.size(), 2u);
  EXPECT_EQ(source.agents.key.line, 2);
  EXPECT_EQ(source.agents.stored, 2);
  EXPECT_EQ(source.agents.present, 1);
  ASSERT_EQ(source.agent_places.size(), 2u);
  const AgentSource& first = source.agent_places[0];
  EXPECT_EQ(first.section.key, "Agent0");
  EXPECT_EQ(first.section.line, 3);
  EXPECT_EQ(first.name.line, 4);
  EXPECT_EQ(first.conditions.key.line, 5);
  ASSERT_EQ(first.condition_places.size(), 1u);
  EXPECT_EQ(first.condition_places[0].field.key, "Cond0.fld");
  EXPECT_EQ(first.condition_places[0].field.line, 6);
  EXPECT_EQ(first.condition_places[0].operator_name.line, 7);
  EXPECT_EQ(first.condition_places[0].join.line, 0);
  ASSERT_EQ(first.extraction_places.size(), 1u);
  EXPECT_EQ(first.extraction_places[0].start_kind.line, 0);
  EXPECT_EQ(first.extraction_places[0].end_kind.line, 9);
  ASSERT_EQ(first.action_places.size(), 1u);
  const ActionSource& action = first.action_places[0];
  EXPECT_EQ(action.type.key, "Action0.type");
  EXPECT_EQ(action.type.line, 11);
  EXPECT_EQ(action.properties.key.line, 12);
  EXPECT_EQ(action.properties.present, 2);
  // The value that counts is the later one, so is its line.
  ASSERT_NE(action.PropertyValue("mailto"), nullptr);
  EXPECT_EQ(action.PropertyValue("mailto")->key, "Action0.prop1.value");
  EXPECT_EQ(action.PropertyValue("mailto")->line, 16);
  EXPECT_EQ(action.PropertyValue("wait"), nullptr);
  // The agent the count adds has no section.
  EXPECT_EQ(source.agent_places[1].section.line, 0);
}

TEST_F(AgentsFileTest, CountsOfZeroOrBelowGiveNoRecords) {
  EXPECT_TRUE(LoadFrom("[Agents]\nAgentCount=-1.\n[Agent0]\nName=A.\n").empty());
  EXPECT_TRUE(LoadFrom("[Agents]\nAgentCount=0.\n[Agent0]\nName=A.\n").empty());
  std::vector<MailAgent> agents = LoadFrom(
      "[Agents]\nAgentCount=1.\n[Agent0]\nCondCount=-3.\nCond0.fld=Subject.\n"
      "ExtractCount=-2147483648.\nExt0.varname=v.\nActionCount=1.\nAction0.propCount=-1.\n"
      "Action0.prop0.name=mailto.\n");
  ASSERT_EQ(agents.size(), 1u);
  EXPECT_TRUE(agents[0].conditions.empty());
  EXPECT_TRUE(agents[0].extractions.empty());
  ASSERT_EQ(agents[0].actions.size(), 1u);
  EXPECT_TRUE(agents[0].actions[0].properties().empty());
}

TEST_F(AgentsFileTest, HugeCountsAreBoundedPastTheLastRecordPresent) {
  const int bound = AgentsFile::kMaxMissingRecords;
  std::vector<MailAgent> agents = LoadFrom(
      "[Agents]\nAgentCount=2000000000.\n"
      "[Agent0]\nCondCount=2147483647.\nCond2.op=is.\nExtractCount=99999999999.\n"
      "ActionCount=2000000000.\nAction1.type=5.\nAction1.propCount=2000000000.\n"
      "Action1.prop0.name=wait.\n"
      "[Agent3]\nName=Last.\n");
  ASSERT_EQ(agents.size(), static_cast<size_t>(4 + bound));
  EXPECT_EQ(agents[3].name, "Last");
  EXPECT_EQ(agents[0].conditions.size(), static_cast<size_t>(3 + bound));
  EXPECT_EQ(agents[0].conditions[2].operator_name, "is");
  EXPECT_EQ(agents[0].extractions.size(), static_cast<size_t>(bound));
  ASSERT_EQ(agents[0].actions.size(), static_cast<size_t>(2 + bound));
  EXPECT_EQ(agents[0].actions[1].type, ActionType::kRunProgram);
  // Every property read carries the empty name, so only two remain.
  EXPECT_EQ(agents[0].actions[1].properties().size(), 2u);
}

TEST_F(AgentsFileTest, UnknownValuesStayAsRead) {
  MailAgent agent;
  agent.conditions.push_back({"subject", "resembles", "x", ConditionJoin{7}});
  agent.extractions.push_back({MarkerKind{9}, "s", MarkerKind{-1}, "e", ""});
  AgentAction unknown("Something", ActionType{7});
  unknown.SetProperty("Mailto", "not the same property as mailto");
  agent.actions.push_back(unknown);
  agent.enabled = -2;
  std::vector<MailAgent> loaded = RoundTrip({agent});
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0], agent);
}

// --- Damaged files ---

TEST_F(AgentsFileTest, MissingFileGivesNoAgents) { EXPECT_TRUE(AgentsFile::Load(path_).empty()); }

TEST_F(AgentsFileTest, DamagedFilesLoadWithDefaultsAndNextSaveIsClean) {
  std::string binary;
  for (int i = 0; i < 2048; ++i) binary += static_cast<char>((i * 197 + 3) % 256);
  const std::string damaged[] = {
      "",
      binary,
      "[Agents]\nAgentCount=1.\n[Agent0]\nName=Ord",  // cut short
      "\xEF\xBB\xBF[Agents]\r\nAgentCount\r\n[Agent0\r\nName=x.\r\n",
      "[Agents]\nAgentCount=1.\nAgentCount=5.\n[Agent0]\n\0\0\0=\0\n"s,
  };
  for (const std::string& content : damaged) {
    std::vector<MailAgent> agents = LoadFrom(content);
    ASSERT_TRUE(AgentsFile::Save(path_, agents));
    std::string saved = ReadWholeFile(path_);
    EXPECT_EQ(AgentsFile::Load(path_), agents);
    EXPECT_EQ(saved.find('\0'), std::string::npos);
    EXPECT_EQ(saved.rfind("[Agents]\nAgentCount=" + std::to_string(agents.size()) + ".\n", 0), 0u)
        << saved;
  }
  EXPECT_EQ(LoadFrom("[Agents]\nAgentCount=1.\n[Agent0]\nName=Ord").at(0).name, "Ord");
}

struct UnderstoodCase {
  const char* name;
  const char* content;  // null: no file; "/": a folder in its place
  bool understood;
};

class AgentsFileUnderstoodTest : public ::testing::TestWithParam<UnderstoodCase> {};

TEST_P(AgentsFileUnderstoodTest, OnlyFilesWithAnAgentCountOrNothingAtAllAreUnderstood) {
  const UnderstoodCase& row = GetParam();
  TempDir folder;
  std::string path = folder.File("quoragts.ini");
  if (row.content != nullptr && std::string(row.content) == "/") {
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  } else if (row.content != nullptr) {
    WriteWholeFile(path, row.content);
  }
  bool understood = !row.understood;
  std::vector<MailAgent> agents = AgentsFile::Load(path, &understood);
  EXPECT_EQ(understood, row.understood);
  if (!row.understood) {
    EXPECT_TRUE(agents.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, AgentsFileUnderstoodTest,
    ::testing::Values(
        UnderstoodCase{"missing", nullptr, true}, UnderstoodCase{"empty", "", true},
        UnderstoodCase{"no agents", "[Agents]\nAgentCount=0.\n", true},
        UnderstoodCase{"count in other letters", "[agents]\nagentcount=1.\n[Agent0]\n", true},
        UnderstoodCase{"count without a value", "[Agents]\nAgentCount=\n", true},
        UnderstoodCase{"agents without the count", "[Agent0]\nName=Orders.\nEnabled=1.\n", false},
        UnderstoodCase{"count in another section", "[Agent0]\nAgentCount=1.\n", false},
        UnderstoodCase{"a blank line", "\n", false},
        UnderstoodCase{"some other file", "#!/bin/sh\necho hello\n", false},
        UnderstoodCase{"a folder", "/", false}),
    NameRowsBy(&UnderstoodCase::name));

// --- Saving and the backup ---

TEST_F(AgentsFileTest, DeletingTheOnlyAgentMovesTheOldFileToTheBackup) {
  WriteWholeFile(path_, kExampleFile);
  ASSERT_TRUE(AgentsFile::Save(path_, {}));
  EXPECT_EQ(ReadWholeFile(backup_), kExampleFile);
  EXPECT_EQ(ReadWholeFile(path_), "[Agents]\nAgentCount=0.\n");
}

TEST_F(AgentsFileTest, BackupReplacesAnEarlierOne) {
  WriteWholeFile(backup_, "an older backup\n");
  ASSERT_TRUE(AgentsFile::Save(path_, {Named("first")}));
  EXPECT_EQ(ReadWholeFile(backup_), "an older backup\n");  // nothing to copy yet
  std::string first = ReadWholeFile(path_);
  ASSERT_TRUE(AgentsFile::Save(path_, {Named("second")}));
  EXPECT_EQ(ReadWholeFile(backup_), first);
}

TEST_F(AgentsFileTest, WithoutABackupTheFileIsUpdatedInPlace) {
  WriteWholeFile(path_,
                 "[Agents]\nAgentCount=2.\n[Agent0]\nName=A.\n[Agent1]\nName=B.\n"
                 "[Notes]\nKept=yes\n");
  // A folder where the backup goes makes the copy fail.
  ASSERT_EQ(mkdir(backup_.c_str(), 0700), 0);
  ASSERT_TRUE(AgentsFile::Save(path_, {Named("Only")}));
  EXPECT_EQ(ReadWholeFile(path_),
            "[Agents]\nAgentCount=1.\n"
            "[Agent0]\nName=Only.\nEnabled=1.\nCondCount=0.\nExtractCount=0.\nActionCount=0.\n"
            "[Agent1]\nName=B.\n"
            "[Notes]\nKept=yes\n");
  std::vector<MailAgent> agents = AgentsFile::Load(path_);
  ASSERT_EQ(agents.size(), 1u);
  EXPECT_EQ(agents[0].name, "Only");
}

TEST_F(AgentsFileTest, FileThatCanBeNeitherCopiedNorReadIsLeftAlone) {
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  WriteWholeFile(path_ + "/inside", "kept");
  EXPECT_FALSE(AgentsFile::Save(path_, {Named("x")}));
  EXPECT_EQ(ReadWholeFile(path_ + "/inside"), "kept");
}

TEST_F(AgentsFileTest, InterruptedSaveLeavesTheOldFile) {
  WriteWholeFile(path_, kExampleFile);
  std::vector<MailAgent> many(200, ExampleAgent());
  bool result;
  {
    // The backup fits under the limit, the new file does not.
    FileSizeLimit limit(4096);
    result = AgentsFile::Save(path_, many);
  }

  EXPECT_FALSE(result);
  EXPECT_EQ(ReadWholeFile(path_), kExampleFile);
  EXPECT_EQ(ReadWholeFile(backup_), kExampleFile);
}

TEST_F(AgentsFileTest, ValueWithALineBreakIsCutAndReported) {
  MailAgent agent = Named("x\n[Agents]\nAgentCount=99");
  agent.conditions.push_back({"Subject", "is", "kept", ConditionJoin::kAnd});
  EXPECT_FALSE(AgentsFile::Save(path_, {agent}));
  std::vector<MailAgent> agents = AgentsFile::Load(path_);
  ASSERT_EQ(agents.size(), 1u);
  EXPECT_EQ(agents[0].name, "x");
  EXPECT_EQ(agents[0].conditions.at(0).value, "kept");
}

TEST_F(AgentsFileTest, SavedFilesArePrivate) {
  WriteWholeFile(path_, kExampleFile);
  chmod(path_.c_str(), 0644);
  ASSERT_TRUE(AgentsFile::Save(path_, {ExampleAgent()}));
  for (const std::string& file : {path_, backup_}) {
    struct stat status;
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << file;
  }
}

}  // namespace

}  // namespace quor
