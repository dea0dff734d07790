#include "engine/condition_matcher.h"

#include <optional>

#include "engine/agent_trace.h"
#include "engine/message_fields.h"
#include "engine/text_search.h"

namespace quor {

namespace {

constexpr std::string_view kContains = "contains";
constexpr std::string_view kDoesNotContain = "does not contain";
constexpr std::string_view kIs = "is";
constexpr std::string_view kIsNot = "is not";

}  // namespace

bool TestCondition(std::string_view text, const std::string& operator_name,
                   const std::string& value) {
  if (operator_name == kContains) {
    return !value.empty() && FindText(text, value) != std::string_view::npos;
  }
  if (operator_name == kDoesNotContain) {
    return !value.empty() && FindText(text, value) == std::string_view::npos;
  }
  if (operator_name == kIs) return text == value;
  if (operator_name == kIsNot) return text != value;
  return false;
}

bool IsConditionOperator(std::string_view operator_name) {
  for (std::string_view known : {kContains, kDoesNotContain, kIs, kIsNot}) {
    if (operator_name == known) return true;
  }
  return false;
}

bool MatchesConditions(const MailAgent& agent, const MessageTexts& texts, std::string_view mailbox,
                       AgentTrace* trace) {
  if (agent.conditions.empty()) return true;
  bool running = false;
  bool previous = true;
  for (size_t i = 0; i < agent.conditions.size(); ++i) {
    const AgentCondition& condition = agent.conditions[i];
    const std::optional<std::string_view> text =
        ConditionFieldText(condition.field, texts, mailbox);
    bool result = false;
    if (text) {
      result = TestCondition(*text, condition.operator_name, condition.value);
      running = result;
    }
    if (i > 0) {
      if (condition.join == ConditionJoin::kAnd) {
        running = running && previous;
      } else if (condition.join == ConditionJoin::kOr) {
        running = running || previous;
      }
    }
    if (trace) trace->ConditionTested(i, condition, text, result, running);
    // Users' agents rely on this early stop: it also ends an OR chain.
    if (!running && !previous) {
      if (trace) trace->ConditionsStopped(i);
      return false;
    }
    previous = running;
  }
  return running;
}

}  // namespace quor
