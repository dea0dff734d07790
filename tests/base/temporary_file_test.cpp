#include "base/temporary_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "fixtures/scratch_folder.h"

namespace quor {

namespace {

TEST(TemporaryFile, IsCreatedInTmpdirPrivateAndAlreadyUnlinked) {
  ScratchFolder scratch;
  TemporaryFile file;
  ASSERT_EQ(file.Create(), 1);
  std::string link =
      std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fileno(file.stream())));
  EXPECT_EQ(link.rfind(scratch.path() + "/quor-mail-", 0), 0u) << link;
  EXPECT_NE(link.find("(deleted)"), std::string::npos) << link;
  struct stat status;
  ASSERT_EQ(fstat(fileno(file.stream()), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_TRUE(scratch.Empty());
}

TEST(TemporaryFile, ReportsAFolderThatCannotBeUsed) {
  ScratchFolder scratch;
  setenv("TMPDIR", (scratch.path() + "/missing").c_str(), 1);
  TemporaryFile file;
  EXPECT_EQ(file.Create(), -ENOENT);
  EXPECT_EQ(file.stream(), nullptr);
}

}  // namespace

}  // namespace quor
