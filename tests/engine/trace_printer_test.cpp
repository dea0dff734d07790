// What the trace of an agent's decision says, step by step: each condition
// with its field's text and the running fold, where the evaluation stopped,
// names and joins the engine does not know, and why a variable was not
// extracted. The decisions themselves are the matcher's and the extractor's
// (their own tests); these rows pin what a person reads about them.

#include "engine/trace_printer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/condition_matcher.h"
#include "engine/variable_extractor.h"
#include "fixtures/recording_sink.h"
#include "fixtures/row_name.h"

namespace quor {

namespace {

using ::testing::ElementsAreArray;

struct TraceRow {
  std::string name;
  std::vector<AgentCondition> conditions;
  std::vector<std::string> lines;
};

class ConditionTrace : public ::testing::TestWithParam<TraceRow> {};

TEST_P(ConditionTrace, ShowsEachStepOfTheFold) {
  MailMessage message;
  message.subject = "Order 12\nsecond line";
  message.from = "Ann <ann@example.org>";
  MailAgent agent;
  agent.name = "Orders";
  agent.conditions = GetParam().conditions;
  RecordingSink out;
  TracePrinter printer(out);
  printer.AgentOffered(agent);
  printer.ConditionsDecided(
      MatchesConditions(agent, MessageTexts(message, false), "ann@pop.example", &printer));
  EXPECT_THAT(out.lines, ElementsAreArray(GetParam().lines));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConditionTrace,
    ::testing::Values(
        TraceRow{"no conditions", {}, {"Agent \"Orders\"", "  matched: yes (no conditions)"}},
        TraceRow{"two falses stop before an OR that would hold",
                 {{"Subject", "is", "x", ConditionJoin::kAnd},
                  {"Sender", "contains", "bob", ConditionJoin::kAnd},
                  {"Subject", "contains", "Order", ConditionJoin::kOr}},
                 {"Agent \"Orders\"",
                  "  condition 1: Subject \"Order 12...\" is \"x\": false, so far false",
                  "  condition 2: AND Sender \"Ann <ann@example.org>\" contains \"bob\": false, "
                  "so far false",
                  "  stopped at condition 2: two false results in a row", "  matched: no"}},
        TraceRow{"OR rescues a false first condition",
                 {{"Mailbox", "is", "x", ConditionJoin::kAnd},
                  {"Subject", "does not contain", "Invoice", ConditionJoin::kOr}},
                 {"Agent \"Orders\"",
                  "  condition 1: Mailbox \"ann@pop.example\" is \"x\": false, so far false",
                  "  condition 2: OR Subject \"Order 12...\" does not contain \"Invoice\": true, "
                  "so far true",
                  "  matched: yes"}},
        TraceRow{"unknown field, operator and join",
                 {{"Subject", "contains", "Order", ConditionJoin::kAnd},
                  {"Subjekt", "contains", "Order", ConditionJoin::kAnd},
                  {"Subject", "startswith", "Order", static_cast<ConditionJoin>(7)}},
                 {"Agent \"Orders\"",
                  "  condition 1: Subject \"Order 12...\" contains \"Order\": true, so far true",
                  "  condition 2: AND unknown field \"Subjekt\": no result, so far true",
                  "  condition 3: join 7 (neither AND nor OR: its own result) Subject "
                  "\"Order 12...\" startswith (unknown operator) \"Order\": false, so far false",
                  "  matched: no"}}),
    NameRowsBy(&TraceRow::name));

TEST(ExtractionTrace, TellsEachRulesPieceOrTheMissingStartMarker) {
  MailAgent agent;
  agent.extractions = {{MarkerKind::kText, "Order ", MarkerKind::kAnyBlank, "", "number"},
                       {MarkerKind::kText, " ", MarkerKind::kText, " ", ""},
                       {MarkerKind::kText, "", MarkerKind::kEndOfLine, "", "rest"},
                       {MarkerKind::kText, "Ticket:", MarkerKind::kEndOfLine, "", "ticket"},
                       {MarkerKind::kTab, "", MarkerKind::kEndOfLine, "", ""}};
  RecordingSink log;
  RecordingSink out;
  TracePrinter printer(out);
  FieldMap fields;
  ExtractVariables(agent, "Order 12 arrived here\nline two\n", fields, log, &printer);
  EXPECT_THAT(out.lines,
              ElementsAreArray({"  extraction 1: {number} = \"12\"",
                                "  extraction 2: no variable; \"arrived\" is kept for the next "
                                "named one",
                                "  extraction 3: {rest} = \"arrived here\"",
                                "  extraction 4: {ticket} not extracted: the start marker "
                                "\"Ticket:\" is not in the text from byte 21 on",
                                "  extraction 5: no variable: the start marker a tab is not in the "
                                "text from byte 21 on"}));
}

}  // namespace

}  // namespace quor
