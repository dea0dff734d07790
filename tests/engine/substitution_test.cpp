#include "engine/substitution.h"

#include <fcntl.h>
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

using engine_test::CapturedLog;

struct SubstitutionCase {
  std::string input;
  std::string expected;
};

class SubstituteTest : public ::testing::TestWithParam<SubstitutionCase> {
 protected:
  FieldMap fields_{{"Subject", "Order 42"}, {"ordernum", "42"}, {"braces", "{Subject}"}};
};

TEST_P(SubstituteTest, ReplacesTokens) {
  EXPECT_EQ(Substitute(GetParam().input, fields_), GetParam().expected)
      << "input: " << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    TokenRules, SubstituteTest,
    ::testing::Values(
        SubstitutionCase{"Re: {Subject}", "Re: Order 42"},
        SubstitutionCase{"{ Subject }", "Order 42"},
        SubstitutionCase{"{\t\r\n\v\fSubject \n}", "Order 42"}, SubstitutionCase{"{subject}", ""},
        SubstitutionCase{"{ordernum}.txt", "42.txt"}, SubstitutionCase{"{nothing} left", " left"},
        SubstitutionCase{"a {b", "a {b"}, SubstitutionCase{"{a{Subject}", "{aOrder 42"},
        SubstitutionCase{"{a{b{Subject}", "{a{bOrder 42"}, SubstitutionCase{"}x{", "}x{"},
        SubstitutionCase{"{}", ""}, SubstitutionCase{"{", "{"}, SubstitutionCase{"{{", "{{"},
        SubstitutionCase{"{ Subj ect }", ""}, SubstitutionCase{"{Subject}{ordernum}", "Order 4242"},
        // Inserted values are not scanned again.
        SubstitutionCase{"{braces}", "{Subject}"}, SubstitutionCase{"", ""},
        SubstitutionCase{"plain text", "plain text"}),
    NameRowsBy(&SubstitutionCase::input));

// Properties that name files: what a token inserts stays one step of the path.
class SubstitutePathStepTest : public ::testing::TestWithParam<SubstitutionCase> {
 protected:
  FieldMap fields_{{"ordernum", "../../home/user/.ssh/id_rsa"},
                   {"dot", "."},
                   {"dotdot", ".."},
                   {"dots", "..."},
                   {"nested", "a/b/c"},
                   {"root", "/"},
                   {"plain", "4711"}};
};

TEST_P(SubstitutePathStepTest, KeepsEachValueOneStep) {
  EXPECT_EQ(Substitute(GetParam().input, fields_, Insertion::kPathStep), GetParam().expected)
      << "input: " << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SubstitutePathStepTest,
    ::testing::Values(SubstitutionCase{"/srv/out/{ordernum}.pdf",
                                       "/srv/out/.._.._home_user_.ssh_id_rsa.pdf"},
                      SubstitutionCase{"/srv/out/{dot}", "/srv/out/_"},
                      SubstitutionCase{"/srv/out/{dotdot}/x", "/srv/out/_/x"},
                      SubstitutionCase{"/srv/out/{dots}", "/srv/out/..."},
                      SubstitutionCase{"/srv/out/{nested}", "/srv/out/a_b_c"},
                      SubstitutionCase{"{root}etc/passwd", "_etc/passwd"},
                      // Typed text is the agent's own: its steps stay.
                      SubstitutionCase{"../typed/{plain}.pdf", "../typed/4711.pdf"},
                      SubstitutionCase{"/srv/{dotdot}{dotdot}", "/srv/__"},
                      SubstitutionCase{"/srv/out/{unknown}.pdf", "/srv/out/.pdf"}),
    NameRowsBy(&SubstitutionCase::input));

TEST(SubstituteMarked, TellsWhereEveryTokenStood) {
  FieldMap fields{{"Subject", "a \"b\""}, {"empty", ""}};
  MarkedText marked = SubstituteMarked("x {Subject} {empty}{nothing} {a{Subject}", fields);
  EXPECT_EQ(marked.text, "x a \"b\"  {aa \"b\"");
  ASSERT_EQ(marked.insertions.size(), 4u);
  const TextRange expected[] = {{2, 5}, {8, 0}, {8, 0}, {11, 5}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(marked.insertions[i].offset, expected[i].offset) << i;
    EXPECT_EQ(marked.insertions[i].length, expected[i].length) << i;
  }
  EXPECT_EQ(marked.text, Substitute("x {Subject} {empty}{nothing} {a{Subject}", fields));
}

TEST(SubstituteBytes, ZeroBytesAreKept) {
  FieldMap fields{{"v", std::string("x\0y", 3)}};
  EXPECT_EQ(Substitute(std::string("a\0{v}\0", 6), fields), std::string("a\0x\0y\0", 6));
  // A zero byte inside a token is part of its name.
  FieldMap odd{{std::string("n\0m", 3), "found"}};
  EXPECT_EQ(Substitute(std::string("{n\0m}", 5), odd), "found");
}

TEST(SubstituteBytes, ManyOpenBracesKeepEveryByte) {
  std::string input(100000, '{');
  input += "Subject}";
  FieldMap fields{{"Subject", "S"}};
  EXPECT_EQ(Substitute(input, fields), std::string(99999, '{') + "S");
}

class ReadTextFileTest : public ::testing::Test {
 protected:
  TempDir folder_;
  CapturedLog log_;
};

TEST_F(ReadTextFileTest, ReadsTheWholeFileAsItStands) {
  std::string content = "line one\r\nline two\nno end";
  WriteWholeFile(folder_.File("t.txt"), content);
  EXPECT_EQ(ReadTextFile(folder_.File("t.txt"), log_), content);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(ReadTextFileTest, EmptyFileGivesEmptyTextWithoutWarning) {
  WriteWholeFile(folder_.File("empty"), "");
  EXPECT_EQ(ReadTextFile(folder_.File("empty"), log_), "");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(ReadTextFileTest, ZeroByteCutsTheRestOfItsBlockOnly) {
  // Block one: "head", a zero, filler up to 8161 bytes; block two follows.
  std::string first = "head";
  first.push_back('\0');
  first.append(8161 - first.size(), 'x');
  std::string second("tail\0more", 9);
  WriteWholeFile(folder_.File("z"), first + second);
  EXPECT_EQ(ReadTextFile(folder_.File("z"), log_), "headtail");
}

TEST_F(ReadTextFileTest, BinaryBytesOtherThanZeroStay) {
  std::string content;
  for (int byte = 1; byte < 256; ++byte) content.push_back(static_cast<char>(byte));
  WriteWholeFile(folder_.File("bin"), content + content);
  EXPECT_EQ(ReadTextFile(folder_.File("bin"), log_), content + content);
}

TEST_F(ReadTextFileTest, LargeFileAcrossManyBlocks) {
  std::string content;
  for (int i = 0; i < 5000; ++i) content += "line " + std::to_string(i) + "\n";
  WriteWholeFile(folder_.File("big"), content);
  EXPECT_EQ(ReadTextFile(folder_.File("big"), log_), content);
}

TEST_F(ReadTextFileTest, MissingFileWarns) {
  std::string path = folder_.File("absent.txt");
  EXPECT_EQ(ReadTextFile(path, log_), "");
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"WARNING: Unable to read file " + path}));
}

TEST_F(ReadTextFileTest, DirectoryWarns) {
  EXPECT_EQ(ReadTextFile(folder_.path(), log_), "");
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{"WARNING: Unable to read file " + folder_.path()}));
}

TEST_F(ReadTextFileTest, NamedPipeWarnsInsteadOfHanging) {
  std::string path = folder_.File("pipe");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadTextFile(path, log_), "");
  EXPECT_EQ(log_.lines.size(), 1u);
}

TEST_F(ReadTextFileTest, FileAboveTheLimitWarns) {
  WriteWholeFile(folder_.File("limit"), std::string(100, 'a'));
  EXPECT_EQ(ReadTextFile(folder_.File("limit"), log_, 100), std::string(100, 'a'));
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(ReadTextFile(folder_.File("limit"), log_, 99), "");
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{"WARNING: Unable to read file " + folder_.File("limit")}));
}

TEST_F(ReadTextFileTest, EmptyPathWarns) {
  EXPECT_EQ(ReadTextFile("", log_), "");
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"WARNING: Unable to read file "}));
}

}  // namespace

}  // namespace quor
