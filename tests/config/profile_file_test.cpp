#include "config/profile_file.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/test_files.h"

namespace quor {

namespace {

using namespace std::string_literals;

class ProfileFileTest : public ::testing::Test {
 protected:
  // Loads content as a profile file.
  ProfileFile Loaded(const std::string& content) {
    WriteWholeFile(path_, content);
    ProfileFile profile;
    EXPECT_TRUE(profile.Load(path_));
    return profile;
  }
  std::string Value(const ProfileFile& profile, const std::string& section,
                    const std::string& key) {
    return profile.GetString(section, key, "<absent>", ProfileFile::kSettingsTextLimit);
  }

  TempDir folder_;
  std::string path_ = folder_.File("quor.INI");
};

// --- Reading ---

TEST_F(ProfileFileTest, LooksUpSectionsAndKeysWithoutRegardToCase) {
  ProfileFile profile = Loaded("[Settings]\nSMTPServer=mail.example.com\n");
  EXPECT_EQ(Value(profile, "settings", "smtpserver"), "mail.example.com");
  EXPECT_EQ(Value(profile, "SETTINGS", "SmtpServer"), "mail.example.com");
  EXPECT_TRUE(profile.HasSection("sEtTiNgS"));
  EXPECT_TRUE(profile.HasKey("settings", "smtpSERVER"));
}

TEST_F(ProfileFileTest, TrimsBlanksAroundNamesAndValuesButNotInside) {
  ProfileFile profile = Loaded("  [ Settings ]  \n\t Name \t=  Ann  Lee \t\n");
  EXPECT_EQ(Value(profile, "Settings", "Name"), "Ann  Lee");
}

TEST_F(ProfileFileTest, AbsentKeyOrSectionGivesTheDefault) {
  ProfileFile profile = Loaded("[Settings]\nName=Ann\n");
  EXPECT_EQ(Value(profile, "Settings", "Email"), "<absent>");
  EXPECT_EQ(Value(profile, "Other", "Name"), "<absent>");
  EXPECT_EQ(profile.GetInt("Settings", "POPDelay", 10), 10);
  EXPECT_FALSE(profile.HasSection("Other"));
  EXPECT_FALSE(profile.HasKey("Settings", "Email"));
  EXPECT_FALSE(profile.HasKey("Other", "Name"));
}

TEST_F(ProfileFileTest, ReadsIntegersFromTheirLeadingDigits) {
  struct Case {
    const char* stored;
    int32_t expected;
  };
  const Case cases[] = {
      {"-3", -3}, {"2.", 2}, {"abc", 0}, {"99999999999", 2147483647},
      {"", 42},  // an empty value counts as absent
  };
  for (const Case& c : cases) {
    ProfileFile profile = Loaded(std::string("[S]\nN=") + c.stored + "\n");
    EXPECT_EQ(profile.GetInt("S", "N", 42), c.expected) << "stored: " << c.stored;
  }
}

TEST_F(ProfileFileTest, CutsTextReadsAtTheLimit) {
  ProfileFile profile = Loaded("[S]\nLong=" + std::string(300, 'x') + "\n");
  EXPECT_EQ(profile.GetString("S", "Long", "", 254), std::string(254, 'x'));
  EXPECT_EQ(profile.GetString("S", "Long", "", 4095), std::string(300, 'x'));
  EXPECT_EQ(profile.GetString("S", "Missing", std::string(10, 'd'), 4), "dddd");
}

TEST_F(ProfileFileTest, FirstOfDuplicateKeysWins) {
  ProfileFile profile = Loaded("[S]\nName=first\nNAME=second\n");
  EXPECT_EQ(Value(profile, "S", "name"), "first");
  EXPECT_EQ(profile.Text(), "[S]\nName=first\n");
}

TEST_F(ProfileFileTest, RepeatedSectionContinuesTheFirst) {
  ProfileFile profile = Loaded("[S]\nA=1\n[T]\nB=2\n[s]\nA=ignored\nC=3\n");
  EXPECT_EQ(Value(profile, "S", "A"), "1");
  EXPECT_EQ(Value(profile, "S", "C"), "3");
  EXPECT_EQ(profile.Text(), "[S]\nA=1\nC=3\n[T]\nB=2\n");
}

TEST_F(ProfileFileTest, KnowsTheLineOfEachSectionAndKeyThatCounts) {
  // Skipped lines, a repeated section and a repeated key still count as lines.
  ProfileFile profile = Loaded(
      "\xEF\xBB\xBF; note\r\n[S]\r\n\r\nA=1\r\nbroken\r\n[T]\r\nB=2\r\n[s]\r\nA=again\r\nC=3\r\n");
  EXPECT_EQ(profile.SectionLine("s"), 2);
  EXPECT_EQ(profile.SectionLine("T"), 6);
  EXPECT_EQ(profile.KeyLine("S", "a"), 4);
  EXPECT_EQ(profile.KeyLine("S", "C"), 10);
  EXPECT_EQ(profile.KeyLine("T", "B"), 7);
  EXPECT_EQ(profile.KeyLine("T", "A"), 0);
  EXPECT_EQ(profile.SectionLine("U"), 0);
  profile.WriteString("S", "D", "4");
  EXPECT_EQ(profile.KeyLine("S", "D"), 0);
}

// --- Damaged input ---

TEST_F(ProfileFileTest, AcceptsCarriageReturnLineEndsAndByteOrderMark) {
  ProfileFile profile = Loaded("\xEF\xBB\xBF[Settings]\r\nName=Ann\r\nEmail=a@b.c\r\n");
  EXPECT_EQ(Value(profile, "Settings", "Name"), "Ann");
  EXPECT_EQ(Value(profile, "Settings", "Email"), "a@b.c");
  EXPECT_EQ(profile.Text(), "[Settings]\nName=Ann\nEmail=a@b.c\n");
}

TEST_F(ProfileFileTest, SkipsLinesThatAreNotKeys) {
  ProfileFile profile = Loaded(
      "Orphan=before any section\n"
      "[S]\n"
      "just some words\n"
      "=no key\n"
      "\n"
      "Kept=yes\n"
      "Binary\0=junk\n"
      "[Cut short\n"
      "Lost=under a broken section line\n"s);
  EXPECT_EQ(Value(profile, "S", "Kept"), "yes");
  EXPECT_EQ(Value(profile, "S", "Lost"), "<absent>");
  EXPECT_EQ(profile.Text(), "[S]\nKept=yes\n");
}

TEST_F(ProfileFileTest, KeepsTheLastLineOfATruncatedFile) {
  ProfileFile profile = Loaded("[S]\nA=1\nB=tru");
  EXPECT_EQ(Value(profile, "S", "B"), "tru");
}

TEST_F(ProfileFileTest, ReadsAVeryLongLine) {
  std::string value(1 << 20, 'v');
  ProfileFile profile = Loaded("[S]\nBig=" + value + "\nAfter=1\n");
  EXPECT_EQ(profile.GetString("S", "Big", "", value.size()), value);
  EXPECT_EQ(profile.GetInt("S", "After", 0), 1);
}

TEST_F(ProfileFileTest, BinaryJunkLoadsWithoutKeys) {
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
  ProfileFile profile = Loaded(junk);
  EXPECT_EQ(profile.GetInt("Settings", "POPDelay", 10), 10);
}

TEST_F(ProfileFileTest, MissingOrUnreadableFileGivesAnEmptyProfile) {
  ProfileFile profile = Loaded("[S]\nA=1\n");
  EXPECT_FALSE(profile.Load(folder_.File("absent.ini")));
  EXPECT_FALSE(profile.HasSection("S"));
  EXPECT_FALSE(profile.Load(folder_.path()));  // a folder is not a profile
  EXPECT_EQ(profile.Text(), "");
}

// --- Writing ---

TEST_F(ProfileFileTest, WriteReplacesInPlaceAndAppendsNewKeysAndSections) {
  ProfileFile profile = Loaded("[settings]\nname=Old\nKeep=this\n[Other]\nX=1\n");
  EXPECT_TRUE(profile.WriteString("Settings", "Name", "New"));
  EXPECT_TRUE(profile.WriteInt("Settings", "POPDelay", -5));
  EXPECT_TRUE(profile.WriteString("Third", "Y", ""));
  EXPECT_EQ(profile.Text(),
            "[settings]\nname=New\nKeep=this\nPOPDelay=-5\n[Other]\nX=1\n[Third]\nY=\n");
}

TEST_F(ProfileFileTest, ValueWithALineBreakIsCutAndReported) {
  ProfileFile profile;
  // Written whole, this value would add a key of its own to the file.
  EXPECT_FALSE(profile.WriteString("Agents", "Name", "x\nAgentCount=999"));
  EXPECT_FALSE(profile.WriteString("Agents", "Other", std::string("a\0b", 3)));
  EXPECT_FALSE(profile.WriteString("Agents", "Third", "c\rd"));
  EXPECT_EQ(profile.Text(), "[Agents]\nName=x\nOther=a\nThird=c\n");
}

TEST_F(ProfileFileTest, RefusesNamesThatWouldNotReadBack) {
  const std::pair<const char*, const char*> refused[] = {
      {"", "Key"},          {"Sec]tion", "Key"}, {" Section", "Key"},
      {"Sec\ntion", "Key"}, {"Section", ""},     {"Section", "K=ey"},
      {"Section", "[Key"},  {"Section", "Key "}, {"Section", "K\ny"},
  };
  for (const auto& [section, key] : refused) {
    ProfileFile profile;
    EXPECT_FALSE(profile.WriteString(section, key, "v")) << section << " / " << key;
    EXPECT_EQ(profile.Text(), "") << section << " / " << key;
  }
}

TEST_F(ProfileFileTest, SaveAndLoadRoundTrip) {
  ProfileFile written;
  written.WriteString("Settings", "Password", "p=ss;#[x]");
  written.WriteInt("Settings", "MailboxCount", 2);
  ASSERT_TRUE(written.Save(path_));
  ProfileFile read;
  ASSERT_TRUE(read.Load(path_));
  EXPECT_EQ(Value(read, "Settings", "Password"), "p=ss;#[x]");
  EXPECT_EQ(read.GetInt("Settings", "MailboxCount", 0), 2);
  EXPECT_EQ(ReadWholeFile(path_), "[Settings]\nPassword=p=ss;#[x]\nMailboxCount=2\n");
}

}  // namespace

}  // namespace quor
