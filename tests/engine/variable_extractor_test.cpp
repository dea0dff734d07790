#include "engine/variable_extractor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/captured_log.h"
#include "fixtures/row_name.h"

namespace quor {

namespace {

using engine_test::CapturedLog;

AgentExtraction Rule(MarkerKind start_type, std::string start, MarkerKind end_type, std::string end,
                     std::string name) {
  return AgentExtraction{start_type, std::move(start), end_type, std::move(end), std::move(name)};
}

struct SingleRuleCase {
  const char* label;
  std::string body;
  AgentExtraction rule;
  std::string expected;
};

class SingleRuleTest : public ::testing::TestWithParam<SingleRuleCase> {};

TEST_P(SingleRuleTest, StoresThePieceBetweenTheMarkers) {
  MailAgent agent;
  agent.extractions = {GetParam().rule};
  FieldMap fields;
  CapturedLog log;
  ExtractVariables(agent, GetParam().body, fields, log);
  EXPECT_EQ(fields[GetParam().rule.variable_name], GetParam().expected) << GetParam().label;
}

INSTANTIATE_TEST_SUITE_P(
    Markers, SingleRuleTest,
    ::testing::Values(
        SingleRuleCase{"next character skips one, copies one", "abc",
                       Rule(MarkerKind::kNextCharacter, "", MarkerKind::kNextCharacter, "", "v"),
                       "b"},
        SingleRuleCase{"blank start stays on a non-blank", "word rest",
                       Rule(MarkerKind::kAnyBlank, "", MarkerKind::kAnyBlank, "", "v"), "word"},
        SingleRuleCase{"blank start skips every blank", " \t\r\n word",
                       Rule(MarkerKind::kAnyBlank, "", MarkerKind::kEndOfMessage, "", "v"), "word"},
        SingleRuleCase{"blank end without blank copies to the end", "id=abc123",
                       Rule(MarkerKind::kText, "id=", MarkerKind::kAnyBlank, "", "v"), "abc123"},
        SingleRuleCase{"end of line start moves to the next line", "one\ntwo\nthree\n",
                       Rule(MarkerKind::kEndOfLine, "", MarkerKind::kEndOfLine, "", "v"), "two"},
        SingleRuleCase{"same start and end text", "axbxc",
                       Rule(MarkerKind::kText, "x", MarkerKind::kText, "x", "v"), "b"},
        SingleRuleCase{"tab end", "a\tb\tc", Rule(MarkerKind::kTab, "", MarkerKind::kTab, "", "v"),
                       "b"},
        SingleRuleCase{"values count only for the text kind", "x\ty",
                       Rule(MarkerKind::kTab, "{Tab character}", MarkerKind::kEndOfMessage,
                            "{End of message}", "v"),
                       "y"},
        SingleRuleCase{"unknown start kind stays, next character copies", "abc",
                       Rule(MarkerKind{-3}, "", MarkerKind::kNextCharacter, "", "v"), "a"},
        SingleRuleCase{"unknown end kind copies nothing", "abc",
                       Rule(MarkerKind{4}, "", MarkerKind{99}, "", "v"), ""}),
    NameRowsBy(&SingleRuleCase::label));

class ExtractionTest : public ::testing::Test {
 protected:
  void Extract(std::string_view body, std::vector<AgentExtraction> rules) {
    MailAgent agent;
    agent.extractions = std::move(rules);
    ExtractVariables(agent, body, fields_, log_);
  }
  bool Has(const std::string& name) const { return fields_.count(name) != 0; }

  FieldMap fields_;
  CapturedLog log_;
};

TEST_F(ExtractionTest, OrderAndNameExample) {
  Extract("Order: 1234\nName: Ann Lee\n",
          {Rule(MarkerKind::kText, "Order: ", MarkerKind::kEndOfLine, "", "order"),
           Rule(MarkerKind::kText, "Name: ", MarkerKind::kEndOfMessage, "", "name")});
  EXPECT_EQ(fields_["order"], "1234");
  EXPECT_EQ(fields_["name"], "Ann Lee\n");
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"--> Extracted {order}: '1234'",
                                                  "--> Extracted {name}: 'Ann Lee\n'"}));
}

TEST_F(ExtractionTest, MissingStartLogsFailureAndKeepsCursor) {
  // The third rule starts where the first left the cursor, on the line feed
  // after "one": its start skips that blank and copies "two".
  Extract("key one\ntwo three",
          {Rule(MarkerKind::kText, "key ", MarkerKind::kEndOfLine, "", "first"),
           Rule(MarkerKind::kText, "absent", MarkerKind::kEndOfMessage, "", "missing"),
           Rule(MarkerKind::kAnyBlank, "", MarkerKind::kAnyBlank, "", "next")});
  EXPECT_EQ(fields_["first"], "one");
  EXPECT_FALSE(Has("missing"));
  EXPECT_EQ(fields_["next"], "two");
  ASSERT_EQ(log_.lines.size(), 3u);
  EXPECT_EQ(log_.lines[1], "--> Failed to extract variable {missing}");
}

TEST_F(ExtractionTest, FailedRuleKeepsAnEarlierValueOfTheSameName) {
  fields_["Subject"] = "original";
  Extract("body", {Rule(MarkerKind::kText, "absent", MarkerKind::kEndOfMessage, "", "Subject")});
  EXPECT_EQ(fields_["Subject"], "original");
}

TEST_F(ExtractionTest, UnnamedFailingRuleLogsNothing) {
  Extract("body", {Rule(MarkerKind::kTab, "", MarkerKind::kEndOfMessage, "", "")});
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_TRUE(fields_.empty());
}

TEST_F(ExtractionTest, NextCharacterAtTheEndDoesNothing) {
  Extract("a", {Rule(MarkerKind::kNextCharacter, "", MarkerKind::kNextCharacter, "", "x"),
                Rule(MarkerKind::kNextCharacter, "", MarkerKind::kNextCharacter, "", "y")});
  EXPECT_EQ(fields_["x"], "");
  EXPECT_EQ(fields_["y"], "");
}

TEST_F(ExtractionTest, TabMarkers) {
  Extract("a\tb\tc", {Rule(MarkerKind::kTab, "", MarkerKind::kTab, "", "second"),
                      Rule(MarkerKind::kTab, "", MarkerKind::kEndOfMessage, "", "third")});
  EXPECT_EQ(fields_["second"], "b");
  EXPECT_EQ(fields_["third"], "c");
}

TEST_F(ExtractionTest, EndNotFoundStoresWhatWasCollected) {
  Extract("key: value", {Rule(MarkerKind::kText, "key: ", MarkerKind::kText, "END", "v"),
                         Rule(MarkerKind::kText, "", MarkerKind::kTab, "", "t")});
  EXPECT_EQ(fields_["v"], "");
  EXPECT_EQ(fields_["t"], "");
  EXPECT_EQ(log_.lines[0], "--> Extracted {v}: ''");
}

TEST_F(ExtractionTest, EndLeavesCursorOnTheEndText) {
  // The second rule's start is the first rule's end: it is found at once.
  Extract("a=1;b=2;", {Rule(MarkerKind::kText, "a=", MarkerKind::kText, ";", "a"),
                       Rule(MarkerKind::kText, ";", MarkerKind::kText, ";", "rest")});
  EXPECT_EQ(fields_["a"], "1");
  EXPECT_EQ(fields_["rest"], "b=2");
}

TEST_F(ExtractionTest, UnnamedRuleCarriesItsPieceToTheNextNamedRule) {
  Extract("first second", {Rule(MarkerKind::kText, "", MarkerKind::kAnyBlank, "", ""),
                           Rule(MarkerKind::kAnyBlank, "", MarkerKind::kEndOfMessage, "", "both")});
  EXPECT_EQ(fields_["both"], "firstsecond");
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"--> Extracted {both}: 'firstsecond'"}));
}

TEST_F(ExtractionTest, NamedRuleEmptiesTheCollectedText) {
  Extract("ab", {Rule(MarkerKind::kText, "", MarkerKind::kNextCharacter, "", "x"),
                 Rule(MarkerKind::kText, "", MarkerKind::kNextCharacter, "", "y")});
  EXPECT_EQ(fields_["x"], "a");
  EXPECT_EQ(fields_["y"], "b");
}

TEST_F(ExtractionTest, VariableNamedLikeAFieldReplacesIt) {
  fields_["Subject"] = "Order 42";
  Extract("Ref: 77\n", {Rule(MarkerKind::kText, "Ref: ", MarkerKind::kEndOfLine, "", "Subject")});
  EXPECT_EQ(fields_["Subject"], "77");
}

TEST_F(ExtractionTest, LongValueIsStoredWholeAndLoggedCut) {
  std::string value(300, 'v');
  Extract("<" + value + ">", {Rule(MarkerKind::kText, "<", MarkerKind::kText, ">", "long")});
  EXPECT_EQ(fields_["long"], value);
  EXPECT_EQ(log_.lines[0], "--> Extracted {long}: '" + std::string(128, 'v') + "'");
}

TEST_F(ExtractionTest, LoggedValueEndsAtAZeroByte) {
  std::string body("<ab\0cd>", 7);
  Extract(body, {Rule(MarkerKind::kText, "<", MarkerKind::kText, ">", "z")});
  EXPECT_EQ(fields_["z"], std::string("ab\0cd", 5));
  EXPECT_EQ(log_.lines[0], "--> Extracted {z}: 'ab'");
}

TEST_F(ExtractionTest, EmptyBodyFailsSearchesAndStoresEmptyOtherwise) {
  Extract("", {Rule(MarkerKind::kText, "x", MarkerKind::kEndOfMessage, "", "a"),
               Rule(MarkerKind::kTab, "", MarkerKind::kEndOfMessage, "", "b"),
               Rule(MarkerKind::kEndOfLine, "", MarkerKind::kEndOfMessage, "", "c"),
               Rule(MarkerKind::kAnyBlank, "", MarkerKind::kEndOfMessage, "", "d"),
               Rule(MarkerKind::kNextCharacter, "", MarkerKind::kNextCharacter, "", "e")});
  EXPECT_FALSE(Has("a"));
  EXPECT_FALSE(Has("b"));
  EXPECT_FALSE(Has("c"));
  EXPECT_EQ(fields_["d"], "");
  EXPECT_EQ(fields_["e"], "");
}

TEST_F(ExtractionTest, NoRulesDoNothing) {
  Extract("body", {});
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_TRUE(fields_.empty());
}

TEST_F(ExtractionTest, RepetitivePatternsAreFoundInLongBodies) {
  // The worst case of a naive search; the result must still be exact.
  std::string body(200000, 'a');
  body += "ab!";
  std::string start(5000, 'a');
  start += "b";
  Extract(body, {Rule(MarkerKind::kText, start, MarkerKind::kEndOfMessage, "", "tail")});
  EXPECT_EQ(fields_["tail"], "!");
}

}  // namespace

}  // namespace quor
