// `quor --check` run as users run it, on a clean sample profile and agents
// file and on copies with one fault each: the lines printed (file, line,
// sentence), the exit status, and that the base folder is left as it was.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fixtures/child_process.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

// Line n of each sample is element n - 1; @HOME@ becomes the base folder.
const std::vector<std::string> kSampleAgents = {
    "[Agents]",                                   // 1
    "AgentCount=2.",                              // 2
    "[Agent0]",                                   // 3
    "Name=Order desk.",                           // 4
    "Enabled=1.",                                 // 5
    "CondCount=2.",                               // 6
    "Cond0.fld=Subject.",                         // 7
    "Cond0.op=contains.",                         // 8
    "Cond0.value=Order.",                         // 9
    "Cond0.join=0.",                              // 10
    "Cond1.fld=Sender.",                          // 11
    "Cond1.op=does not contain.",                 // 12
    "Cond1.value=noreply.",                       // 13
    "Cond1.join=0.",                              // 14
    "ExtractCount=1.",                            // 15
    "Ext0.startval=your order .",                 // 16
    "Ext0.starttype=0.",                          // 17
    "Ext0.endval={Any blank space}.",             // 18
    "Ext0.endtype=1.",                            // 19
    "Ext0.varname=ordernum.",                     // 20
    "ActionCount=3.",                             // 21
    "Action0.name=Send an Outgoing Message.",     // 22
    "Action0.type=2.",                            // 23
    "Action0.propCount=5.",                       // 24
    "Action0.prop0.name=mailto.",                 // 25
    "Action0.prop0.value={Sender}.",              // 26
    "Action0.prop1.name=subject.",                // 27
    "Action0.prop1.value=Re: order {ordernum}.",  // 28
    "Action0.prop2.name=message.",                // 29
    "Action0.prop2.value=@HOME@/reply.txt.",      // 30
    "Action0.prop3.name=attachCount.",            // 31
    "Action0.prop3.value=1.",                     // 32
    "Action0.prop4.name=attach0.",                // 33
    "Action0.prop4.value=@HOME@/terms.txt.",      // 34
    "Action1.name=Save Message Data to a File.",  // 35
    "Action1.type=4.",                            // 36
    "Action1.propCount=3.",                       // 37
    "Action1.prop0.name=outfile.",                // 38
    "Action1.prop0.value=@HOME@/orders.csv.",     // 39
    "Action1.prop1.name=savemethod.",             // 40
    "Action1.prop1.value=1.",                     // 41
    "Action1.prop2.name=templatefile.",           // 42
    "Action1.prop2.value=@HOME@/journal.txt.",    // 43
    "Action2.name=Run an External Program.",      // 44
    "Action2.type=5.",                            // 45
    "Action2.propCount=2.",                       // 46
    "Action2.prop0.name=program.",                // 47
    "Action2.prop0.value=echo.",                  // 48
    "Action2.prop1.name=arguments.",              // 49
    "Action2.prop1.value=saw {Subject}.",         // 50
    "[Agent1]",                                   // 51
    "Name=Picture keeper.",                       // 52
    "Enabled=0.",                                 // 53
    "CondCount=0.",                               // 54
    "ExtractCount=0.",                            // 55
    "ActionCount=2.",                             // 56
    "Action0.name=Save Attachments.",             // 57
    "Action0.type=8.",                            // 58
    "Action0.propCount=1.",                       // 59
    "Action0.prop0.name=directory.",              // 60
    "Action0.prop0.value=@HOME@/attachments.",    // 61
    "Action1.name=Forward Incoming Message.",     // 62
    "Action1.type=6.",                            // 63
    "Action1.propCount=1.",                       // 64
    "Action1.prop0.name=mailto.",                 // 65
    "Action1.prop0.value=archive@example.org.",   // 66
};

const std::vector<std::string> kSampleProfile = {
    "[Settings]",                  // 1
    "POPDelay=10",                 // 2
    "SMTPServer=127.0.0.1:2525",   // 3
    "Email=quor@example.org",      // 4
    "Name=Quor",                   // 5
    "MailboxCount=1",              // 6
    "POPServer0=127.0.0.1:1110",   // 7
    "POPUser0=demo",               // 8
    "POPPassword0=demo-password",  // 9
    "POPLastMsg0=",                // 10
};

enum class File { kAgents, kProfile };

struct Expected {
  File file;
  int line;  // 0: the line has none
  std::string sentence;
};

struct BrokenCase {
  std::string name;
  File file;  // the file changed
  int line;   // the line replaced
  std::string text;
  std::vector<Expected> expected;
  mode_t profile_mode = 0600;
};

std::string Joined(const std::vector<std::string>& lines, const std::string& home) {
  std::string text;
  for (std::string line : lines) {
    for (size_t at = line.find("@HOME@"); at != std::string::npos; at = line.find("@HOME@")) {
      line.replace(at, 6, home);
    }
    text += line + "\n";
  }
  return text;
}

class ConfigurationCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteWholeFile(base_.File("reply.txt"), "Hello {Sender}\n");
    WriteWholeFile(base_.File("terms.txt"), "Terms\n");
    WriteWholeFile(base_.File("journal.txt"), "{Date} {Subject}\n");
  }

  void WriteSample(std::vector<std::string> agents, std::vector<std::string> profile,
                   mode_t profile_mode = 0600) {
    WriteWholeFile(AgentsPath(), Joined(agents, base_.path()));
    WriteWholeFile(ProfilePath(), Joined(profile, base_.path()));
    chmod(ProfilePath().c_str(), profile_mode);
  }

  // Runs quor --check; the exit status.
  int Check() {
    ChildProcess quor(QUOR_BINARY,
                      {"--check", "--base-dir", base_.path(), "--profile", ProfilePath()},
                      {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    int status = quor.Wait();
    output_ = quor.Output();
    errors_ = quor.Errors();
    return status;
  }

  std::string AgentsPath() const { return base_.File("quoragts.ini"); }
  std::string ProfilePath() const { return base_.File("quor.INI"); }
  std::string PathOf(File file) const {
    return file == File::kAgents ? AgentsPath() : ProfilePath();
  }

  // The names in the base folder, to see that a check adds nothing.
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(base_.path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDir base_;
  std::string output_;
  std::string errors_;
};

TEST_F(ConfigurationCheckTest, TheCleanSampleHasNoProblemAndStaysAsItWas) {
  WriteSample(kSampleAgents, kSampleProfile);
  std::string agents = ReadWholeFile(AgentsPath());
  std::string profile = ReadWholeFile(ProfilePath());
  std::set<std::string> before = Listing();
  EXPECT_EQ(Check(), 0) << output_ << errors_;
  EXPECT_EQ(output_, "No problems found.\n");
  EXPECT_EQ(errors_, "");
  // No log file, lock, journal or backup; both files as they were.
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(ReadWholeFile(AgentsPath()), agents);
  EXPECT_EQ(ReadWholeFile(ProfilePath()), profile);
}

TEST_F(ConfigurationCheckTest, AMissingProfileIsAProblem) {
  WriteWholeFile(AgentsPath(), Joined(kSampleAgents, base_.path()));
  EXPECT_EQ(Check(), 1);
  EXPECT_EQ(output_, ProfilePath() +
                         ": the profile does not exist, so no mailbox is configured.\n"
                         "1 problem found.\n");
  EXPECT_FALSE(FileExists(ProfilePath()));
}

class BrokenFileTest : public ConfigurationCheckTest,
                       public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenFileTest, PrintsTheProblemWithItsFileAndLine) {
  const BrokenCase& row = GetParam();
  std::vector<std::string> agents = kSampleAgents;
  std::vector<std::string> profile = kSampleProfile;
  (row.file == File::kAgents ? agents : profile).at(row.line - 1) = row.text;
  WriteSample(agents, profile, row.profile_mode);
  std::set<std::string> before = Listing();

  EXPECT_EQ(Check(), 1);
  std::string expected;
  for (const Expected& problem : row.expected) {
    expected += PathOf(problem.file) + ":" +
                (problem.line > 0 ? std::to_string(problem.line) + ":" : "") + " " +
                Joined({problem.sentence}, base_.path());
  }
  size_t count = row.expected.size();
  expected += std::to_string(count) + (count == 1 ? " problem" : " problems") + " found.\n";
  EXPECT_EQ(output_, expected);
  EXPECT_EQ(Listing(), before);
}

const char kOrderDesk[] = "agent \"Order desk\": ";
const char kPictureKeeper[] = "agent \"Picture keeper\": ";
std::string In(const char* agent, const std::string& sentence) { return agent + sentence; }

INSTANTIATE_TEST_SUITE_P(
    OneFaultEach, BrokenFileTest,
    ::testing::Values(
        BrokenCase{
            "unknown field",
            File::kAgents,
            7,
            "Cond0.fld=Subjekt.",
            {{File::kAgents, 7, In(kOrderDesk, "Cond0.fld names an unknown field, \"Subjekt\".")}}},
        BrokenCase{"unknown operator",
                   File::kAgents,
                   12,
                   "Cond1.op=startswith.",
                   {{File::kAgents, 12,
                     In(kOrderDesk,
                        "Cond1.op names an unknown operator, \"startswith\"; the "
                        "comparison is always false.")}}},
        BrokenCase{"unknown join",
                   File::kAgents,
                   14,
                   "Cond1.join=2.",
                   {{File::kAgents, 14,
                     In(kOrderDesk, "Cond1.join is 2, an unknown join (0 is AND, 1 is OR).")}}},
        BrokenCase{
            "unknown marker",
            File::kAgents,
            19,
            "Ext0.endtype=6.",
            {{File::kAgents, 19, In(kOrderDesk, "Ext0.endtype is 6, an unknown marker kind.")}}},
        BrokenCase{"unknown action type",
                   File::kAgents,
                   36,
                   "Action1.type=99.",
                   {{File::kAgents, 36,
                     In(kOrderDesk,
                        "Action1.type is 99, an unknown action type; the action does "
                        "nothing.")}}},
        BrokenCase{"send without mailto",
                   File::kAgents,
                   26,
                   "Action0.prop0.value=.",
                   {{File::kAgents, 26,
                     In(kOrderDesk,
                        "Action0.type is Send an Outgoing Message, but its mailto is "
                        "empty.")}}},
        BrokenCase{"forward without mailto",
                   File::kAgents,
                   66,
                   "Action1.prop0.value=.",
                   {{File::kAgents, 66,
                     In(kPictureKeeper,
                        "Action1.type is Forward Incoming Message, but its mailto "
                        "is empty.")}}},
        BrokenCase{"save attachments without directory",
                   File::kAgents,
                   61,
                   "Action0.prop0.value=.",
                   {{File::kAgents, 61,
                     In(kPictureKeeper,
                        "Action0.type is Save Attachments, but its directory is "
                        "empty.")}}},
        BrokenCase{"save data without outfile",
                   File::kAgents,
                   39,
                   "Action1.prop0.value=.",
                   {{File::kAgents, 39,
                     In(kOrderDesk,
                        "Action1.type is Save Message Data to a File, but its outfile "
                        "is empty.")}}},
        BrokenCase{"program not on the PATH",
                   File::kAgents,
                   48,
                   "Action2.prop0.value=no-such-program-quor-knows --now.",
                   {{File::kAgents, 48,
                     In(kOrderDesk,
                        "Action2.prop0.value: the program "
                        "\"no-such-program-quor-knows\" is not found on the PATH.")}}},
        BrokenCase{"program not executable",
                   File::kAgents,
                   48,
                   "Action2.prop0.value=@HOME@/reply.txt.",
                   {{File::kAgents, 48,
                     In(kOrderDesk,
                        "Action2.prop0.value: the program \"@HOME@/reply.txt\" is not "
                        "an executable file.")}}},
        BrokenCase{"send template missing",
                   File::kAgents,
                   30,
                   "Action0.prop2.value=/nonexistent/reply.txt.",
                   {{File::kAgents, 30,
                     In(kOrderDesk,
                        "Action0.prop2.value: the template file "
                        "\"/nonexistent/reply.txt\" does not exist.")}}},
        BrokenCase{"attachment missing",
                   File::kAgents,
                   34,
                   "Action0.prop4.value=/nonexistent/terms.txt.",
                   {{File::kAgents, 34,
                     In(kOrderDesk,
                        "Action0.prop4.value: the attachment "
                        "\"/nonexistent/terms.txt\" does not exist.")}}},
        BrokenCase{"save data template missing",
                   File::kAgents,
                   43,
                   "Action1.prop2.value=/nonexistent/journal.txt.",
                   {{File::kAgents, 43,
                     In(kOrderDesk,
                        "Action1.prop2.value: the template file "
                        "\"/nonexistent/journal.txt\" does not exist.")}}},
        BrokenCase{"AgentCount above the agents present",
                   File::kAgents,
                   2,
                   "AgentCount=3.",
                   {{File::kAgents, 2,
                     "AgentCount is 3 but 2 agent sections are written; the others are read as "
                     "empty ones."}}},
        BrokenCase{"AgentCount below the agents present",
                   File::kAgents,
                   2,
                   "AgentCount=1.",
                   {{File::kAgents, 2,
                     "AgentCount is 1 but 2 agent sections are written; those past the count are "
                     "not read."}}},
        BrokenCase{"CondCount above the conditions present",
                   File::kAgents,
                   6,
                   "CondCount=3.",
                   {{File::kAgents, 6,
                     In(kOrderDesk,
                        "CondCount is 3 but 2 conditions are written; the others are "
                        "read as empty ones.")}}},
        BrokenCase{"propCount below the properties present",
                   File::kAgents,
                   24,
                   "Action0.propCount=4.",
                   {{File::kAgents, 24,
                     In(kOrderDesk,
                        "Action0.propCount is 4 but 5 properties are written; those "
                        "past the count are not read.")}}},
        BrokenCase{"two agents with one name",
                   File::kAgents,
                   52,
                   "Name=Order desk.",
                   {{File::kAgents, 52,
                     In(kOrderDesk, "two agents have this name; the other is at line 4.")}}},
        BrokenCase{"agents file not understood",
                   File::kAgents,
                   2,
                   "Agents=2.",
                   {{File::kAgents, 0,
                     "the agents file has no AgentCount under [Agents], so no agent runs."}}},
        BrokenCase{"mailbox without server",
                   File::kProfile,
                   7,
                   "POPServer0=",
                   {{File::kProfile, 7, "POPServer0 is empty: the mailbox has no server."}}},
        BrokenCase{"mailbox without user",
                   File::kProfile,
                   8,
                   "POPUser0=",
                   {{File::kProfile, 8, "POPUser0 is empty: the mailbox has no user name."}}},
        BrokenCase{"MailboxCount above the mailboxes present",
                   File::kProfile,
                   6,
                   "MailboxCount=2",
                   {{File::kProfile, 6,
                     "MailboxCount is 2 but 1 mailbox is written; the others are read as empty "
                     "ones."}}},
        BrokenCase{"no mailbox",
                   File::kProfile,
                   6,
                   "MailboxCount=0",
                   {{File::kProfile, 6,
                     "MailboxCount is 0 but 1 mailbox is written; those past the count are not "
                     "read."},
                    {File::kProfile, 6, "no mailbox is configured."}}},
        BrokenCase{"mail actions without SMTP server",
                   File::kProfile,
                   3,
                   "SMTPServer=",
                   {{File::kAgents, 23,
                     In(kOrderDesk,
                        "Action0.type is Send an Outgoing Message, but SMTPServer is "
                        "empty in the profile.")},
                    {File::kAgents, 63,
                     In(kPictureKeeper,
                        "Action1.type is Forward Incoming Message, but SMTPServer "
                        "is empty in the profile.")}}},
        BrokenCase{"mail actions without sender address",
                   File::kProfile,
                   4,
                   "Email=",
                   {{File::kAgents, 23,
                     In(kOrderDesk,
                        "Action0.type is Send an Outgoing Message, but Email is empty "
                        "in the profile.")},
                    {File::kAgents, 63,
                     In(kPictureKeeper,
                        "Action1.type is Forward Incoming Message, but Email is "
                        "empty in the profile.")}}},
        BrokenCase{"certificate file missing",
                   File::kProfile,
                   2,
                   "CAFile=/nonexistent/ca.pem",
                   {{File::kProfile, 2,
                     "CAFile: the certificate file \"/nonexistent/ca.pem\" does not exist."}}},
        BrokenCase{"profile others can read",
                   File::kProfile,
                   2,
                   "POPDelay=10",
                   {{File::kProfile, 0,
                     "other users have access to the profile (mode 0640), which holds the "
                     "passwords; chmod 600 makes it private."}},
                   0640}),
    NameRowsBy(&BrokenCase::name));

}  // namespace

}  // namespace quor
