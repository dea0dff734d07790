#include "engine/part_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/captured_log.h"
#include "fixtures/row_name.h"
#include "fixtures/test_files.h"

namespace quor {

namespace {

using engine_test::ContextWithLog;

class WritePartFileTest : public ::testing::Test {
 protected:
  WritePartFileTest() { run_.context.base_directory = base_.path(); }
  // The path; whether the part landed whole goes to complete_.
  std::string Write(int index, const std::string& data, const std::string& name) {
    WrittenPart written = WritePartFile(run_.context, index, data.size(), data.data(), name);
    complete_ = written.complete;
    return written.path;
  }
  TempDir base_;
  ContextWithLog run_;
  bool complete_ = false;
};

TEST_F(WritePartFileTest, PlainNameGoesToTheDataFolderWhichIsCreatedPrivate) {
  std::string path = Write(2, "report body", "report.doc");
  EXPECT_EQ(path, base_.path() + "/data/report.doc");
  EXPECT_EQ(ReadWholeFile(path), "report body");
  struct stat status {};
  ASSERT_EQ(stat((base_.path() + "/data").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  EXPECT_TRUE(run_.log.lines.empty());
  EXPECT_TRUE(complete_);
}

TEST_F(WritePartFileTest, BaseDirectoryWithTrailingSlash) {
  run_.context.base_directory = base_.path() + "/";
  EXPECT_EQ(Write(1, "x", "a.txt"), base_.path() + "/data/a.txt");
}

TEST_F(WritePartFileTest, EmptyNameBecomesNumberedTemporaryName) {
  std::string path = Write(2, "unnamed", "");
  EXPECT_EQ(path, base_.path() + "/data/~rmp2");
  EXPECT_EQ(ReadWholeFile(path), "unnamed");
}

TEST_F(WritePartFileTest, ExistingFileIsReplaced) {
  Write(1, "a much longer first content", "same");
  std::string path = Write(1, "short", "same");
  EXPECT_EQ(ReadWholeFile(path), "short");
}

TEST_F(WritePartFileTest, BinaryDataWithZeroBytesIsWrittenWhole) {
  std::string data("\0\x01\xff\0tail", 8);
  EXPECT_EQ(ReadWholeFile(Write(1, data, "bin")), data);
}

TEST_F(WritePartFileTest, EmptyDataMakesAnEmptyFile) {
  WrittenPart written = WritePartFile(run_.context, 1, 0, nullptr, "empty");
  std::string path = written.path;
  EXPECT_TRUE(written.complete);
  EXPECT_TRUE(FileExists(path));
  EXPECT_EQ(ReadWholeFile(path), "");
}

TEST_F(WritePartFileTest, NameWithSlashIsAPathOfItsOwn) {
  TempDir elsewhere;
  std::string target = elsewhere.File("direct.bin");
  EXPECT_EQ(Write(1, "direct", target), target);
  EXPECT_EQ(ReadWholeFile(target), "direct");
  EXPECT_FALSE(FileExists(base_.path() + "/data"));
}

TEST_F(WritePartFileTest, UncreatableFileIsReported) {
  WriteWholeFile(base_.File("plain"), "not a folder");
  std::string path = base_.File("plain") + "/inside";
  EXPECT_EQ(Write(1, "data", path), path);
  EXPECT_FALSE(complete_);
  EXPECT_EQ(run_.log.lines, (std::vector<std::string>{"ERROR: writing file " + path}));
}

TEST_F(WritePartFileTest, MissingBaseDirectoryIsNotCreatedAndTheFileIsReported) {
  run_.context.base_directory = base_.File("absent");
  std::string path = Write(1, "data", "a.txt");
  EXPECT_EQ(path, base_.File("absent") + "/data/a.txt");
  EXPECT_FALSE(FileExists(base_.File("absent")));
  EXPECT_FALSE(complete_);
  EXPECT_EQ(run_.log.lines, (std::vector<std::string>{"ERROR: writing file " + path}));
}

TEST_F(WritePartFileTest, WriteWithoutProgressIsReported) {
  // Every write to /dev/full fails with "no space left".
  std::string path = Write(3, "cannot land", "/dev/full");
  EXPECT_FALSE(complete_);
  EXPECT_EQ(run_.log.lines, (std::vector<std::string>{"ERROR: writing file /dev/full"}));
  EXPECT_EQ(path, "/dev/full");
}

TEST_F(WritePartFileTest, EmptyBaseDirectoryUsesTheCurrentFolder) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(base_.path().c_str()), 0);
  run_.context.base_directory.clear();
  std::string path = Write(4, "here", "");
  bool written = FileExists(base_.File("~rmp4"));
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(path, "~rmp4");
  EXPECT_TRUE(written);
  EXPECT_FALSE(FileExists(base_.path() + "/data"));
}

TEST_F(WritePartFileTest, SafeNameFromAMessageStaysInTheDataFolder) {
  std::string path = Write(1, "payload", SafePartName("../../outside.txt"));
  EXPECT_EQ(path, base_.path() + "/data/outside.txt");
  EXPECT_FALSE(FileExists(base_.File("outside.txt")));
}

struct NameCase {
  std::string name;
  std::string expected;
};

class SafePartNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(SafePartNameTest, ReducesToOneSafeFileName) {
  EXPECT_EQ(SafePartName(GetParam().name), GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafePartNameTest,
    ::testing::Values(NameCase{"", ""}, NameCase{"report.pdf", "report.pdf"},
                      NameCase{"Résumé 2024.docx", "Résumé 2024.docx"},
                      NameCase{"../../etc/passwd", "passwd"}, NameCase{"/etc/passwd", "passwd"},
                      NameCase{"C:\\Users\\ann\\report.doc", "report.doc"},
                      NameCase{"..\\..\\boot.ini", "boot.ini"}, NameCase{"..", "_."},
                      NameCase{".", "_"}, NameCase{"...", "_.."}, NameCase{".bashrc", "_bashrc"},
                      NameCase{"dir/", ""}, NameCase{"a/..", "_."},
                      NameCase{"tab\there\r\n.txt", "tabhere.txt"}, NameCase{"\x01\x02\x7f", ""},
                      NameCase{"\n.profile", "_profile"},
                      NameCase{"report..final.pdf", "report..final.pdf"},
                      NameCase{"\xff\xfe bad utf8", "\xff\xfe bad utf8"}),
    NameRowsBy(&NameCase::name));

TEST(SafePartNameLength, LongNameKeepsItsExtension) {
  std::string name = std::string(10 * 1024, 'n') + ".pdf";
  std::string safe = SafePartName(name);
  EXPECT_EQ(safe.size(), kMaxPartNameBytes);
  EXPECT_EQ(safe, std::string(kMaxPartNameBytes - 4, 'n') + ".pdf");
}

TEST(SafePartNameLength, LongNameIsCutAtACharacterBoundary) {
  // Two-byte characters from an odd offset: a cut at the limit would split one.
  std::string name = "x";
  for (int i = 0; i < 300; ++i) name += "\xc3\xa9";
  std::string safe = SafePartName(name);
  ASSERT_LE(safe.size(), kMaxPartNameBytes);
  EXPECT_EQ(safe.size() % 2, 1u);
  EXPECT_NE(static_cast<unsigned char>(safe.back()), 0xc3);
}

TEST(SafePartNameLength, LongExtensionIsNotKeptSeparately) {
  std::string name = "a." + std::string(500, 'e');
  EXPECT_EQ(SafePartName(name), name.substr(0, kMaxPartNameBytes));
}

}  // namespace

}  // namespace quor
