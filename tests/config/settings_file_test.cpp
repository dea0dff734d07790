#include "config/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "fixtures/test_files.h"

namespace quor {

namespace {

using namespace std::string_literals;

class SettingsFileTest : public ::testing::Test {
 protected:
  void Load() {
    settings_ = Settings{};
    mailboxes_.clear();
    SettingsFile::Load(path_, settings_, mailboxes_);
  }
  void LoadFrom(const std::string& content) {
    WriteWholeFile(path_, content);
    Load();
  }
  static MailboxAccount Mailbox(std::string server, std::string user, std::string password,
                                std::string last) {
    MailboxAccount mailbox;
    mailbox.server = std::move(server);
    mailbox.user = std::move(user);
    mailbox.password = std::move(password);
    mailbox.last_message = std::move(last);
    return mailbox;
  }
  static std::vector<std::vector<std::string>> Fields(const std::vector<MailboxAccount>& list) {
    std::vector<std::vector<std::string>> fields;
    for (const auto& m : list) fields.push_back({m.server, m.user, m.password, m.last_message});
    return fields;
  }

  TempDir folder_;
  std::string path_ = folder_.File("quor.INI");
  Settings settings_;
  std::vector<MailboxAccount> mailboxes_;
};

// --- Loading ---

TEST_F(SettingsFileTest, NoProfileFileGivesDefaults) {
  settings_.check_interval_minutes = 99;
  settings_.smtp_server = "stale";
  SettingsFile::Load(path_, settings_, mailboxes_);
  Settings defaults;
  defaults.check_interval_minutes = 10;
  defaults.size_limit_kilobytes = 0;
  defaults.log_to_file = 1;
  defaults.exit_after_check = 0;
  EXPECT_EQ(settings_, defaults);
  EXPECT_TRUE(mailboxes_.empty());
}

TEST_F(SettingsFileTest, ReadsEverySetting) {
  LoadFrom(
      "[Settings]\nPOPDelay=5\nMessageSize=200\nSMTPServer=smtp.example.com\n"
      "Email=me@example.com\nName=Ann Lee\nOrganization=Example Inc.\nReply=r@example.com\n"
      "Logfile=/var/log/quor.log\nEnableLog=0\nExitOnCheck=1\n");
  EXPECT_EQ(settings_.check_interval_minutes, 5);
  EXPECT_EQ(settings_.size_limit_kilobytes, 200);
  EXPECT_EQ(settings_.smtp_server, "smtp.example.com");
  EXPECT_EQ(settings_.email_address, "me@example.com");
  EXPECT_EQ(settings_.sender_name, "Ann Lee");
  EXPECT_EQ(settings_.organization, "Example Inc.");
  EXPECT_EQ(settings_.reply_address, "r@example.com");
  EXPECT_EQ(settings_.log_file, "/var/log/quor.log");
  EXPECT_EQ(settings_.log_to_file, 0);
  EXPECT_EQ(settings_.exit_after_check, 1);
}

TEST_F(SettingsFileTest, NumberWithoutLeadingDigitsReadsZero) {
  LoadFrom("[Settings]\nPOPDelay=abc\n");
  EXPECT_EQ(settings_.check_interval_minutes, 0);
}

TEST_F(SettingsFileTest, CutsTextsAt4095Characters) {
  LoadFrom("[Settings]\nName=" + std::string(5000, 'n') + "\n");
  EXPECT_EQ(settings_.sender_name, std::string(4095, 'n'));
}

TEST_F(SettingsFileTest, LooksUpSectionAndKeysWithoutRegardToCase) {
  LoadFrom("[settings]\npopdelay=3\nMAILBOXCOUNT=1\npopserver0=pop.example.com\n");
  EXPECT_EQ(settings_.check_interval_minutes, 3);
  ASSERT_EQ(mailboxes_.size(), 1u);
  EXPECT_EQ(mailboxes_[0].server, "pop.example.com");
}

TEST_F(SettingsFileTest, AppendsToTheMailboxList) {
  mailboxes_.push_back(Mailbox("already", "there", "", ""));
  WriteWholeFile(path_, "[Settings]\nMailboxCount=1\nPOPServer0=new\n");
  SettingsFile::Load(path_, settings_, mailboxes_);
  ASSERT_EQ(mailboxes_.size(), 2u);
  EXPECT_EQ(mailboxes_[0].server, "already");
  EXPECT_EQ(mailboxes_[1].server, "new");
}

TEST_F(SettingsFileTest, CountBeyondTheKeysGivesEmptyMailboxes) {
  LoadFrom("[Settings]\nMailboxCount=2\nPOPServer0=pop.a\nPOPUser0=ann\nPOPPassword0=pw\n");
  EXPECT_EQ(Fields(mailboxes_),
            (std::vector<std::vector<std::string>>{{"pop.a", "ann", "pw", ""}, {"", "", "", ""}}));
}

TEST_F(SettingsFileTest, CountsOfZeroOrBelowGiveNoMailboxes) {
  for (const char* count : {"0", "-1", "-2147483648", "none"}) {
    LoadFrom(std::string("[Settings]\nMailboxCount=") + count + "\nPOPServer0=pop.a\n");
    EXPECT_TRUE(mailboxes_.empty()) << count;
  }
}

TEST_F(SettingsFileTest, HugeCountIsBoundedPastTheLastMailboxPresent) {
  LoadFrom("[Settings]\nMailboxCount=2000000000\nPOPServer0=pop.a\nPOPLastMsg4=uid-4\n");
  ASSERT_EQ(mailboxes_.size(), 5u + SettingsFile::kMaxMissingRecords);
  EXPECT_EQ(mailboxes_[0].server, "pop.a");
  EXPECT_EQ(mailboxes_[4].last_message, "uid-4");
  EXPECT_EQ(mailboxes_.back().server, "");
}

// --- Saving ---

TEST_F(SettingsFileTest, WritesTheKeysInTheirOrder) {
  settings_.check_interval_minutes = 15;
  settings_.size_limit_kilobytes = 100;
  settings_.smtp_server = "smtp.example.com";
  settings_.email_address = "me@example.com";
  settings_.sender_name = "Ann";
  settings_.organization = "Example Inc.";
  settings_.reply_address = "";
  settings_.log_file = "/q/quor.log";
  settings_.log_to_file = 1;
  settings_.exit_after_check = 0;
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, {Mailbox("pop.a", "ann", "secret", "17")}));
  EXPECT_EQ(ReadWholeFile(path_),
            "[Settings]\n"
            "ExitOnCheck=0\n"
            "EnableLog=1\n"
            "Logfile=/q/quor.log\n"
            "POPDelay=15\n"
            "MessageSize=100\n"
            "SMTPServer=smtp.example.com\n"
            "Email=me@example.com\n"
            "Name=Ann\n"
            "Organization=Example Inc.\n"
            "Reply=\n"
            "MailboxCount=1\n"
            "POPServer0=pop.a\n"
            "POPUser0=ann\n"
            "POPPassword0=secret\n"
            "POPLastMsg0=17\n");
}

TEST_F(SettingsFileTest, SaveThenLoadGivesTheSameValues) {
  Settings saved;
  saved.check_interval_minutes = -4;
  saved.sender_name = "Name with = and ; inside";
  saved.log_file = "quor.log";
  std::vector<MailboxAccount> list = {Mailbox("a", "b", "c", "d"), Mailbox("", "", "", "")};
  ASSERT_TRUE(SettingsFile::Save(path_, saved, list));
  Load();
  EXPECT_EQ(settings_, saved);
  EXPECT_EQ(Fields(mailboxes_), Fields(list));
}

TEST_F(SettingsFileTest, ShortenedListLeavesOldKeysThatAreNotRead) {
  std::vector<MailboxAccount> three = {Mailbox("s0", "u0", "p0", "l0"),
                                       Mailbox("s1", "u1", "p1", "l1"),
                                       Mailbox("s2", "u2", "p2", "l2")};
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, three));
  three.pop_back();
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, three));
  std::string text = ReadWholeFile(path_);
  EXPECT_NE(text.find("MailboxCount=2\n"), std::string::npos);
  EXPECT_NE(text.find("POPServer2=s2\n"), std::string::npos);
  Load();
  EXPECT_EQ(mailboxes_.size(), 2u);
}

TEST_F(SettingsFileTest, KeepsKeysAndSectionsItDoesNotKnow) {
  WriteWholeFile(path_, "[Window]\nLeft=10\n[Settings]\nPOPDelay=1\nFuture=on\n");
  settings_.check_interval_minutes = 2;
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, {}));
  std::string text = ReadWholeFile(path_);
  EXPECT_EQ(text.rfind("[Window]\nLeft=10\n[Settings]\nPOPDelay=2\nFuture=on\n", 0), 0u) << text;
}

TEST_F(SettingsFileTest, DamagedFileLoadsDefaultsAndNextSaveIsClean) {
  std::string junk = "\xEF\xBB\xBF\x01\x02[Set\0tings]\nPOPDelay\x7f\xff\n"s;
  junk.append(std::string("\0\0\0garbage=\0\n", 14));
  WriteWholeFile(path_, junk);
  Load();
  EXPECT_EQ(settings_.check_interval_minutes, 10);
  EXPECT_TRUE(mailboxes_.empty());
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, mailboxes_));
  std::string text = ReadWholeFile(path_);
  EXPECT_EQ(text.rfind("[Settings]\nExitOnCheck=0\n", 0), 0u) << text;
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST_F(SettingsFileTest, CreatesPrivateFoldersAndAPrivateFile) {
  std::string path = folder_.File("config/quor/quor.INI");
  ASSERT_TRUE(SettingsFile::Save(path, settings_, {Mailbox("s", "u", "password", "")}));
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(folder_.File("config/quor").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(SettingsFileTest, UnreadableProfileIsNotReplaced) {
  // A folder stands in for a file this program may not read.
  ASSERT_EQ(mkdir(path_.c_str(), 0700), 0);
  WriteWholeFile(path_ + "/inside", "kept");
  EXPECT_FALSE(SettingsFile::Save(path_, settings_, {}));
  EXPECT_EQ(ReadWholeFile(path_ + "/inside"), "kept");
}

TEST_F(SettingsFileTest, PasswordWithALineBreakIsCutAndReported) {
  EXPECT_FALSE(SettingsFile::Save(path_, settings_, {Mailbox("s", "u", "pw\nMailboxCount=9", "")}));
  Load();
  ASSERT_EQ(mailboxes_.size(), 1u);
  EXPECT_EQ(mailboxes_[0].password, "pw");
}

// --- Protected connections ---

TEST_F(SettingsFileTest, ReadsTheSecurityKeys) {
  LoadFrom(
      "[Settings]\nSMTPServer=smtp.example.com:587\nSMTPSecurity=1\nSMTPUser=ann@example.com\n"
      "SMTPPassword=s3cret\nCAFile=/etc/quor/authority.pem\nMailboxCount=3\n"
      "POPServer0=a\nPOPSecurity0=2\nPOPServer1=b\nPOPSecurity1=1\nPOPServer2=c\n");
  EXPECT_EQ(settings_.smtp_security, ConnectionSecurity::kStartTls);
  EXPECT_EQ(settings_.smtp_user_name, "ann@example.com");
  EXPECT_EQ(settings_.smtp_password, "s3cret");
  EXPECT_EQ(settings_.certificate_authority_file, "/etc/quor/authority.pem");
  ASSERT_EQ(mailboxes_.size(), 3u);
  EXPECT_EQ(mailboxes_[0].security, ConnectionSecurity::kImplicitTls);
  EXPECT_EQ(mailboxes_[1].security, ConnectionSecurity::kStartTls);
  EXPECT_EQ(mailboxes_[2].security, ConnectionSecurity::kNone);
}

TEST_F(SettingsFileTest, SecurityNumbersOutsideTheListCountAsTlsFromTheFirstByte) {
  const struct {
    const char* value;
    ConnectionSecurity expected;
  } cases[] = {{"0", ConnectionSecurity::kNone},        {"", ConnectionSecurity::kNone},
               {"1", ConnectionSecurity::kStartTls},    {"2", ConnectionSecurity::kImplicitTls},
               {"3", ConnectionSecurity::kImplicitTls}, {"-1", ConnectionSecurity::kImplicitTls}};
  for (const auto& c : cases) {
    LoadFrom(std::string("[Settings]\nSMTPSecurity=") + c.value +
             "\nMailboxCount=1\nPOPSecurity0=" + c.value + "\n");
    EXPECT_EQ(settings_.smtp_security, c.expected) << c.value;
    ASSERT_EQ(mailboxes_.size(), 1u);
    EXPECT_EQ(mailboxes_[0].security, c.expected) << c.value;
  }
}

TEST_F(SettingsFileTest, SecurityKeyCountsAsAMailboxPresent) {
  LoadFrom("[Settings]\nMailboxCount=2000000000\nPOPSecurity3=2\n");
  ASSERT_EQ(mailboxes_.size(), 4u + SettingsFile::kMaxMissingRecords);
  EXPECT_EQ(mailboxes_[3].security, ConnectionSecurity::kImplicitTls);
}

// A profile written before the protected connections existed comes back
// exactly as it was: none of their keys is added.
TEST_F(SettingsFileTest, ProfileWithoutTheNewKeysSavesByteForByte) {
  const std::string earlier =
      "[Window]\nLeft=10\n"
      "[Settings]\nExitOnCheck=0\nEnableLog=1\nLogfile=/q/quor.log\nPOPDelay=15\n"
      "MessageSize=100\nSMTPServer=smtp.example.com\nEmail=me@example.com\nName=Ann\n"
      "Organization=Example Inc.\nReply=\nMailboxCount=2\nPOPServer0=pop.a\nPOPUser0=ann\n"
      "POPPassword0=secret\nPOPLastMsg0=17\nPOPServer1=pop.b:1110\nPOPUser1=bob\n"
      "POPPassword1=pw\nPOPLastMsg1=\n";
  LoadFrom(earlier);
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, mailboxes_));
  EXPECT_EQ(ReadWholeFile(path_), earlier);
}

TEST_F(SettingsFileTest, NewKeysAreWrittenWhenNeededAndStayWhenSetBack) {
  settings_.smtp_security = ConnectionSecurity::kStartTls;
  settings_.smtp_user_name = "ann";
  settings_.smtp_password = "s3cret";
  settings_.certificate_authority_file = "/q/authority.pem";
  MailboxAccount tls = Mailbox("pop.a:995", "ann", "pw", "");
  tls.security = ConnectionSecurity::kImplicitTls;
  MailboxAccount plain = Mailbox("pop.b", "bob", "pw", "");
  ASSERT_TRUE(SettingsFile::Save(path_, settings_, {tls, plain}));
  std::string text = ReadWholeFile(path_);
  for (const char* line : {"\nSMTPSecurity=1\n", "\nSMTPUser=ann\n", "\nSMTPPassword=s3cret\n",
                           "\nCAFile=/q/authority.pem\n", "\nPOPSecurity0=2\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  }
  EXPECT_EQ(text.find("POPSecurity1"), std::string::npos) << text;
  Load();
  EXPECT_EQ(settings_.smtp_security, ConnectionSecurity::kStartTls);
  ASSERT_EQ(mailboxes_.size(), 2u);
  EXPECT_EQ(mailboxes_[0].security, ConnectionSecurity::kImplicitTls);

  // Back to the defaults: keys in the file must say so, or the old values
  // would come back on the next load.
  ASSERT_TRUE(SettingsFile::Save(path_, Settings{}, {plain, tls}));
  Load();
  EXPECT_EQ(settings_.smtp_security, ConnectionSecurity::kNone);
  EXPECT_EQ(settings_.smtp_user_name, "");
  EXPECT_EQ(settings_.smtp_password, "");
  EXPECT_EQ(settings_.certificate_authority_file, "");
  ASSERT_EQ(mailboxes_.size(), 2u);
  EXPECT_EQ(mailboxes_[0].security, ConnectionSecurity::kNone);
  EXPECT_EQ(mailboxes_[1].security, ConnectionSecurity::kImplicitTls);
}

TEST_F(SettingsFileTest, SaveIntoAFolderThatCannotBeMadeFails) {
  WriteWholeFile(folder_.File("plain"), "a file, not a folder");
  EXPECT_FALSE(SettingsFile::Save(folder_.File("plain/quor.INI"), settings_, {}));
}

}  // namespace

}  // namespace quor
