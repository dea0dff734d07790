#include "engine/condition_matcher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/row_name.h"

namespace quor {

namespace {

constexpr ConditionJoin kAnd = ConditionJoin::kAnd;
constexpr ConditionJoin kOr = ConditionJoin::kOr;

// Subject "Hello" makes "is Hello" true and "is Bye" false, so a chain of T/F
// is written as a list of (result, join).
AgentCondition Condition(bool result, ConditionJoin join) {
  return AgentCondition{"Subject", "is", result ? "Hello" : "Bye", join};
}

MailMessage MessageWithSubject(const std::string& subject) {
  MailMessage message;
  message.subject = subject;
  return message;
}

struct ChainCase {
  const char* written;
  std::vector<AgentCondition> conditions;
  bool expected;
};

class ConditionChainTest : public ::testing::TestWithParam<ChainCase> {};

TEST_P(ConditionChainTest, FoldsLeftToRightAndStopsAfterTwoFalses) {
  MailAgent agent;
  agent.conditions = GetParam().conditions;
  EXPECT_EQ(
      MatchesConditions(agent, MessageTexts(MessageWithSubject("Hello"), false), "ann@pop.example"),
      GetParam().expected)
      << GetParam().written;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedResults, ConditionChainTest,
    ::testing::Values(
        ChainCase{"none", {}, true}, ChainCase{"T", {Condition(true, kAnd)}, true},
        ChainCase{"F", {Condition(false, kAnd)}, false},
        ChainCase{"F OR T", {Condition(false, kAnd), Condition(true, kOr)}, true},
        ChainCase{"T AND F OR T",
                  {Condition(true, kAnd), Condition(false, kAnd), Condition(true, kOr)},
                  true},
        ChainCase{"F OR F OR T",
                  {Condition(false, kAnd), Condition(false, kOr), Condition(true, kOr)},
                  false},
        ChainCase{"F OR T OR F",
                  {Condition(false, kAnd), Condition(true, kOr), Condition(false, kOr)},
                  true},
        ChainCase{"F AND T OR T",
                  {Condition(false, kAnd), Condition(true, kAnd), Condition(true, kOr)},
                  false},
        ChainCase{"T OR F AND F",
                  {Condition(true, kAnd), Condition(false, kOr), Condition(false, kAnd)},
                  false},
        ChainCase{"F OR T AND T",
                  {Condition(false, kAnd), Condition(true, kOr), Condition(true, kAnd)},
                  true},
        // The first condition's join is never used.
        ChainCase{"T with join OR", {Condition(true, kOr)}, true},
        // A join other than AND and OR leaves the condition's own result.
        ChainCase{"T join 7 F", {Condition(true, kAnd), Condition(false, ConditionJoin{7})}, false},
        ChainCase{"F join 7 T", {Condition(false, kAnd), Condition(true, ConditionJoin{7})}, true},
        ChainCase{
            "F join -1 F", {Condition(false, kAnd), Condition(false, ConditionJoin{-1})}, false}),
    NameRowsBy(&ChainCase::written));

struct OperatorCase {
  const char* text;
  const char* op;
  const char* value;
  bool expected;
};

class TestConditionTest : public ::testing::TestWithParam<OperatorCase> {};

TEST_P(TestConditionTest, ComparesByteForByte) {
  const OperatorCase& c = GetParam();
  EXPECT_EQ(TestCondition(c.text, c.op, c.value), c.expected)
      << "'" << c.text << "' " << c.op << " '" << c.value << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Operators, TestConditionTest,
    ::testing::Values(
        OperatorCase{"Order 42 shipped", "contains", "42", true},
        OperatorCase{"Order 42 shipped", "contains", "43", false},
        OperatorCase{"ORDER", "contains", "order", false},
        OperatorCase{"anything", "contains", "", false}, OperatorCase{"", "contains", "", false},
        OperatorCase{"Order 42", "does not contain", "43", true},
        OperatorCase{"Order 42", "does not contain", "42", false},
        OperatorCase{"anything", "does not contain", "", false},
        OperatorCase{"", "does not contain", "", false}, OperatorCase{"Hello", "is", "Hello", true},
        OperatorCase{"Hello", "is", "hello", false}, OperatorCase{"Hello ", "is", "Hello", false},
        OperatorCase{"Hello", "is", "Hell", false}, OperatorCase{"", "is", "", true},
        OperatorCase{"x", "is", "", false}, OperatorCase{"Hello", "is not", "Hello", false},
        OperatorCase{"Hello", "is not", "hello", true}, OperatorCase{"", "is not", "", false},
        OperatorCase{"Hello", "Is", "Hello", false},
        OperatorCase{"Hello", "contains ", "Hello", false},
        OperatorCase{"Hello", "", "Hello", false},
        OperatorCase{"aaaaaaab", "contains", "aaab", true},
        OperatorCase{"abababac", "contains", "ababac", true}),
    [](const ::testing::TestParamInfo<OperatorCase>& info) {
      const OperatorCase& c = info.param;
      return RowName(info.index, std::string(c.text) + " " + c.op + " " + c.value);
    });

TEST(TestConditionBytes, ZeroBytesTakePartInComparisons) {
  std::string text("a\0b", 3);
  EXPECT_TRUE(TestCondition(text, "contains", std::string("\0b", 2)));
  EXPECT_FALSE(TestCondition(text, "is", "a"));
}

class FieldSelectionTest : public ::testing::Test {
 protected:
  FieldSelectionTest() {
    message_.subject = "the subject";
    message_.date = "the date";
    message_.from = "from@example.com";
    message_.reply_to = "reply@example.com";
    message_.recipients = "to@example.com,cc@example.com";
    message_.text = "line one\nline two\n";
  }
  bool Matches(const std::string& field, const std::string& op, const std::string& value,
               std::string_view mailbox = "ann@pop.example") {
    MailAgent agent;
    agent.conditions.push_back(AgentCondition{field, op, value, ConditionJoin::kAnd});
    return MatchesConditions(agent, MessageTexts(message_, false), mailbox);
  }
  MailMessage message_;
};

TEST_F(FieldSelectionTest, EachFieldNameReadsItsOwnText) {
  EXPECT_TRUE(Matches("Subject", "is", "the subject"));
  EXPECT_TRUE(Matches("Date", "is", "the date"));
  EXPECT_TRUE(Matches("Sender", "is", "from@example.com"));
  EXPECT_TRUE(Matches("Reply-To", "is", "reply@example.com"));
  EXPECT_TRUE(Matches("Recipient", "is", "to@example.com,cc@example.com"));
  EXPECT_TRUE(Matches("Message-Body", "is", "line one\nline two\n"));
  EXPECT_TRUE(Matches("Mailbox", "is", "ann@pop.example"));
}

TEST_F(FieldSelectionTest, FieldNamesAreCaseSensitive) {
  // "subject" is not a field: the first result stays false.
  EXPECT_FALSE(Matches("subject", "is", "the subject"));
  EXPECT_FALSE(Matches("subject", "is not", "x"));
  EXPECT_FALSE(Matches("Mailbox", "is", "Ann@pop.example"));
}

TEST_F(FieldSelectionTest, MissingHeadersAreTestedThroughTheirPlaceholders) {
  MailMessage bare;
  MailAgent agent;
  agent.conditions = {AgentCondition{"Subject", "is", "[no subject]", ConditionJoin::kAnd},
                      AgentCondition{"Sender", "is", "[unknown]", ConditionJoin::kAnd},
                      AgentCondition{"Reply-To", "is", "[unknown]", ConditionJoin::kAnd},
                      AgentCondition{"Date", "is", "[unknown]", ConditionJoin::kAnd},
                      AgentCondition{"Recipient", "is", "[unknown]", ConditionJoin::kAnd},
                      AgentCondition{"Message-Body", "is", "", ConditionJoin::kAnd}};
  EXPECT_TRUE(MatchesConditions(agent, MessageTexts(bare, false), "u@s"));
}

TEST_F(FieldSelectionTest, MessageBodyIsTheTextEvenWithAttachments) {
  message_.attachments.push_back(MailAttachment{"first part", ""});
  EXPECT_TRUE(Matches("Message-Body", "contains", "line two"));
  EXPECT_FALSE(Matches("Message-Body", "contains", "first part"));
}

TEST_F(FieldSelectionTest, UnknownFieldInLaterPlaceRepeatsTheRunningResult) {
  MailAgent agent;
  agent.conditions = {AgentCondition{"Subject", "is", "the subject", ConditionJoin::kAnd},
                      AgentCondition{"Colour", "is", "red", kAnd}};
  EXPECT_TRUE(MatchesConditions(agent, MessageTexts(message_, false), "u@s"));
  agent.conditions[0].value = "other";
  EXPECT_FALSE(MatchesConditions(agent, MessageTexts(message_, false), "u@s"));
}

TEST_F(FieldSelectionTest, StopAfterTwoFalsesIgnoresLaterTrueConditions) {
  // A third condition that would hold is never looked at.
  MailAgent agent;
  agent.conditions = {AgentCondition{"Subject", "is", "nope", ConditionJoin::kAnd},
                      AgentCondition{"Colour", "is", "red", kOr},
                      AgentCondition{"Subject", "is", "the subject", kOr}};
  EXPECT_FALSE(MatchesConditions(agent, MessageTexts(message_, false), "u@s"));
}

}  // namespace

}  // namespace quor
