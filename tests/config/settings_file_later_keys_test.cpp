// ReplyToAutomatic and DecodeText came after the profile format: a profile
// that never set them is read with them off and written back byte for byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configuration_files.h"
#include "config/settings_file.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

// A profile as quor has always written it.
constexpr char kOldProfile[] =
    "[Settings]\nExitOnCheck=0\nEnableLog=1\nLogfile=/q/quor.log\nPOPDelay=15\nMessageSize=0\n"
    "SMTPServer=smtp.example.com\nEmail=me@example.com\nName=Ann\nOrganization=\nReply=\n"
    "MailboxCount=1\nPOPServer0=pop.a\nPOPUser0=ann\nPOPPassword0=secret\nPOPLastMsg0=17\n";

struct FlagCase {
  const char* written;
  std::string lines;  // added to the old profile's [Settings]
  bool reply_to_automatic;
  bool decode_text;
};

class LaterKeysTest : public ::testing::TestWithParam<FlagCase> {
 protected:
  TempDir folder_;
  std::string path_ = folder_.File("quor.INI");
};

// Loading and saving again without a change gives the same file.
TEST_P(LaterKeysTest, ReadAndWrittenBackUnchanged) {
  const std::string text = kOldProfile + GetParam().lines;
  WriteWholeFile(path_, text);
  Settings settings;
  std::vector<MailboxAccount> mailboxes;
  SettingsFile::Load(path_, settings, mailboxes);
  EXPECT_EQ(settings.reply_to_automatic, GetParam().reply_to_automatic);
  EXPECT_EQ(settings.decode_text, GetParam().decode_text);
  ASSERT_TRUE(SettingsFile::Save(path_, settings, mailboxes));
  EXPECT_EQ(ReadWholeFile(path_), text);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, LaterKeysTest,
    ::testing::Values(FlagCase{"neither key", "", false, false},
                      FlagCase{"both on", "ReplyToAutomatic=1\nDecodeText=1\n", true, true},
                      FlagCase{"both written off", "ReplyToAutomatic=0\nDecodeText=0\n", false,
                               false},
                      FlagCase{"decoding on", "DecodeText=1\n", false, true},
                      FlagCase{"other case", "decodetext=1\nreplytoautomatic=1\n", true, true}),
    NameRowsBy(&FlagCase::written));

TEST(LaterKeys, WrittenAfterReplyOnlyWhenOn) {
  TempDir folder;
  const std::string path = folder.File("quor.INI");
  Settings settings;
  settings.decode_text = true;
  ASSERT_TRUE(SettingsFile::Save(path, settings, {}));
  EXPECT_NE(ReadWholeFile(path).find("\nReply=\nDecodeText=1\nMailboxCount=0\n"), std::string::npos)
      << ReadWholeFile(path);
  settings.decode_text = false;
  settings.reply_to_automatic = true;
  TempDir other;
  ASSERT_TRUE(SettingsFile::Save(other.File("quor.INI"), settings, {}));
  EXPECT_NE(
      ReadWholeFile(other.File("quor.INI")).find("\nReply=\nReplyToAutomatic=1\nMailboxCount=0\n"),
      std::string::npos);
}

// Switched off again, a key that is in the file says so: left alone, it
// would switch the setting on at the next start.
TEST(LaterKeys, SwitchedOffAgainIsWrittenAsZero) {
  TempDir folder;
  const std::string path = folder.File("quor.INI");
  WriteWholeFile(path, std::string(kOldProfile) + "DecodeText=1\nReplyToAutomatic=1\n");
  Settings settings;
  std::vector<MailboxAccount> mailboxes;
  SettingsFile::Load(path, settings, mailboxes);
  settings.decode_text = false;
  settings.reply_to_automatic = false;
  ASSERT_TRUE(SettingsFile::Save(path, settings, mailboxes));
  EXPECT_EQ(ReadWholeFile(path), std::string(kOldProfile) + "DecodeText=0\nReplyToAutomatic=0\n");
  Settings again;
  mailboxes.clear();
  SettingsFile::Load(path, again, mailboxes);
  EXPECT_FALSE(again.decode_text);
  EXPECT_FALSE(again.reply_to_automatic);
}

// The profile quor creates because there is none decodes international text;
// one that exists keeps what it says.
TEST(LaterKeys, ANewProfileDecodesText) {
  TempDir base;
  ConfigurationFiles files(base.File("config/quor.INI"), base.path());
  Configuration configuration = files.Load();
  EXPECT_TRUE(configuration.settings.decode_text);
  EXPECT_FALSE(configuration.settings.reply_to_automatic);
  ASSERT_TRUE(files.Save(configuration).empty());
  EXPECT_NE(ReadWholeFile(base.File("config/quor.INI")).find("\nDecodeText=1\n"),
            std::string::npos);

  WriteWholeFile(base.File("old.INI"), kOldProfile);
  EXPECT_FALSE(ConfigurationFiles(base.File("old.INI"), base.path()).Load().settings.decode_text);
}

}  // namespace

}  // namespace quor
