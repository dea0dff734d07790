#include "config/file_content.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "config/file_size_limit.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class FileContentTest : public ::testing::Test {
 protected:
  TempDir folder_;
  std::string path_ = folder_.File("quoragts.ini");
};

TEST_F(FileContentTest, ReplacesTheFileAndLeavesNothingElse) {
  WriteWholeFile(path_, "old");
  ASSERT_TRUE(ReplaceFileContent(path_, "new content\n", 0600));
  EXPECT_EQ(ReadWholeFile(path_), "new content\n");
  EXPECT_EQ(FolderEntries(folder_.path()), std::vector<std::string>{"quoragts.ini"});
}

TEST_F(FileContentTest, WritesAnEmptyFile) {
  ASSERT_TRUE(ReplaceFileContent(path_, "", 0600));
  EXPECT_TRUE(FileExists(path_));
  EXPECT_EQ(ReadWholeFile(path_), "");
}

TEST_F(FileContentTest, GivesTheRequestedMode) {
  for (mode_t mode : {mode_t{0600}, mode_t{0640}}) {
    ASSERT_TRUE(ReplaceFileContent(path_, "x", mode));
    struct stat status;
    ASSERT_EQ(stat(path_.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, mode);
  }
}

TEST_F(FileContentTest, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  WriteWholeFile(path_, "old content\n");
  {
    FileSizeLimit limit(64);
    EXPECT_FALSE(ReplaceFileContent(path_, std::string(100000, 'n'), 0600));
  }
  EXPECT_EQ(ReadWholeFile(path_), "old content\n");
  EXPECT_EQ(FolderEntries(folder_.path()), std::vector<std::string>{"quoragts.ini"});
}

TEST_F(FileContentTest, FailedRenameRemovesTheTemporaryFile) {
  // A folder in the file's place cannot be renamed over.
  std::filesystem::create_directory(path_);
  WriteWholeFile(path_ + "/inside", "kept");
  EXPECT_FALSE(ReplaceFileContent(path_, "new", 0600));
  EXPECT_EQ(ReadWholeFile(path_ + "/inside"), "kept");
  EXPECT_EQ(FolderEntries(folder_.path()), std::vector<std::string>{"quoragts.ini"});
}

TEST_F(FileContentTest, MissingFolderFails) {
  EXPECT_FALSE(ReplaceFileContent(folder_.File("none/quoragts.ini"), "x", 0600));
  EXPECT_FALSE(ReplaceFileContent("", "x", 0600));
}

TEST_F(FileContentTest, ReplacesTheFileBehindASymbolicLink) {
  std::filesystem::create_directory(folder_.File("real"));
  std::string target = folder_.File("real/quor.INI");
  WriteWholeFile(target, "old");
  ASSERT_EQ(symlink(target.c_str(), path_.c_str()), 0);
  ASSERT_TRUE(ReplaceFileContent(path_, "new", 0600));
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  EXPECT_EQ(ReadWholeFile(target), "new");
}

TEST_F(FileContentTest, ReadsWholeFilesAndRefusesOthers) {
  std::string content(200000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);
  WriteWholeFile(path_, content);
  std::string read = "stale";
  ASSERT_TRUE(ReadFileContent(path_, read));
  EXPECT_EQ(read, content);

  EXPECT_FALSE(ReadFileContent(folder_.File("absent"), read));
  EXPECT_EQ(read, "");
  EXPECT_FALSE(ReadFileContent(folder_.path(), read));
}

}  // namespace

}  // namespace quor
