#include "config/configuration_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/test_files.h"

namespace quor {

namespace {

using Paths = std::vector<std::string>;

// Every save says which of its files it could not write: a folder in the
// way as a plain file stops any writer, root included.
class ConfigurationFilesTest : public ::testing::Test {
 protected:
  ConfigurationFilesTest() { WriteWholeFile(folder_.File("plain"), "a file, not a folder"); }
  std::string Usable(const std::string& name) const { return folder_.File(name); }
  std::string Blocked(const std::string& name) const { return folder_.File("plain/" + name); }

  TempDir folder_;
  Configuration configuration_;
};

TEST_F(ConfigurationFilesTest, ASaveNamesEveryFileItCouldNotWrite) {
  struct Case {
    std::string profile;
    std::string base;
    ConfigurationFiles::Parts parts;
    Paths failed;
  } cases[] = {
      {Usable("quor.INI"), folder_.path(), ConfigurationFiles::Parts::kProfileAndAgents, {}},
      {Blocked("quor.INI"),
       folder_.path(),
       ConfigurationFiles::Parts::kProfileAndAgents,
       {Blocked("quor.INI")}},
      {Usable("quor.INI"),
       Blocked("base"),
       ConfigurationFiles::Parts::kProfileAndAgents,
       {Blocked("base/quoragts.ini")}},
      {Blocked("quor.INI"),
       Blocked("base"),
       ConfigurationFiles::Parts::kProfileAndAgents,
       {Blocked("quor.INI"), Blocked("base/quoragts.ini")}},
      // The profile alone never touches the agents file.
      {Usable("quor.INI"), Blocked("base"), ConfigurationFiles::Parts::kProfile, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile + " " + c.base);
    ConfigurationFiles files(c.profile, c.base);
    EXPECT_EQ(files.Save(configuration_, c.parts), c.failed);
  }
}

TEST_F(ConfigurationFilesTest, LoadTellsWhetherTheAgentsFileWasUnderstood) {
  ConfigurationFiles files(Usable("quor.INI"), folder_.path());
  bool understood = false;
  files.Load(&understood);
  EXPECT_TRUE(understood);
  WriteWholeFile(files.agents_path(), "[Agent0]\nName=Orders.\n");
  files.Load(&understood);
  EXPECT_FALSE(understood);
}

}  // namespace

}  // namespace quor
