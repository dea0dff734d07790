#include "engine/trace_printer.h"

#include "base/log_line.h"
#include "engine/condition_matcher.h"

namespace quor {

namespace {

std::string Quoted(std::string_view text, size_t limit) {
  return "\"" + OneLine(text, limit) + "\"";
}

std::string Yes(bool value) { return value ? "true" : "false"; }

std::string JoinText(const AgentCondition& condition) {
  switch (condition.join) {
    case ConditionJoin::kAnd:
      return "AND ";
    case ConditionJoin::kOr:
      return "OR ";
  }
  return "join " + std::to_string(static_cast<int32_t>(condition.join)) +
         " (neither AND nor OR: its own result) ";
}

std::string MarkerText(MarkerKind kind, const std::string& text) {
  switch (kind) {
    case MarkerKind::kText:
      return Quoted(text, TracePrinter::kShownFieldBytes);
    case MarkerKind::kTab:
      return "a tab";
    case MarkerKind::kEndOfLine:
      return "a line end";
    default:
      return "marker " + std::to_string(static_cast<int32_t>(kind));
  }
}

}  // namespace

std::string OneLine(std::string_view text, size_t limit) {
  size_t end = text.find_first_of("\r\n");
  bool cut = end != std::string_view::npos;
  if (!cut) end = text.size();
  if (end > limit) {
    end = limit;
    cut = true;
  }
  return LogLineText(text.substr(0, end)) + (cut ? "..." : "");
}

void TracePrinter::Echo::AddLine(const std::string& line) {
  out_.AddLine("    log: " + LogLineText(line));
}

void TracePrinter::AgentOffered(const MailAgent& agent) {
  conditions_seen_ = 0;
  out_.AddLine("Agent " + Quoted(agent.name, kShownValueBytes) +
               (agent.enabled ? "" : " (disabled)"));
}

void TracePrinter::ConditionTested(size_t index, const AgentCondition& condition,
                                   std::optional<std::string_view> field_text, bool result,
                                   bool running) {
  ++conditions_seen_;
  std::string line = "  condition " + std::to_string(index + 1) + ": ";
  if (index > 0) line += JoinText(condition);
  if (!field_text) {
    line += "unknown field " + Quoted(condition.field, kShownFieldBytes) + ": no result";
  } else {
    line += condition.field + " " + Quoted(*field_text, kShownFieldBytes) + " " +
            condition.operator_name +
            (IsConditionOperator(condition.operator_name) ? "" : " (unknown operator)") + " " +
            Quoted(condition.value, kShownFieldBytes) + ": " + Yes(result);
  }
  out_.AddLine(line + ", so far " + Yes(running));
}

void TracePrinter::ConditionsStopped(size_t index) {
  out_.AddLine("  stopped at condition " + std::to_string(index + 1) +
               ": two false results in a row");
}

void TracePrinter::ConditionsDecided(bool matched) {
  std::string why = conditions_seen_ == 0 ? " (no conditions)" : "";
  out_.AddLine(std::string("  matched: ") + (matched ? "yes" : "no") + why);
}

void TracePrinter::RuleExtracted(size_t index, const AgentExtraction& rule,
                                 std::string_view value) {
  std::string line = "  extraction " + std::to_string(index + 1) + ": ";
  if (rule.variable_name.empty()) {
    line += "no variable; " + Quoted(value, kShownValueBytes) + " is kept for the next named one";
  } else {
    line += "{" + rule.variable_name + "} = " + Quoted(value, kShownValueBytes);
  }
  out_.AddLine(line);
}

void TracePrinter::RuleNotApplied(size_t index, const AgentExtraction& rule, size_t cursor) {
  std::string line = "  extraction " + std::to_string(index + 1) + ": ";
  line += rule.variable_name.empty() ? "no variable" : "{" + rule.variable_name + "} not extracted";
  out_.AddLine(line + ": the start marker " + MarkerText(rule.start_kind, rule.start_text) +
               " is not in the text from byte " + std::to_string(cursor) + " on");
}

void TracePrinter::ActionStarting(size_t index, const AgentAction& action, bool known) {
  std::string line = "  action " + std::to_string(index + 1) + ": ";
  if (known) {
    line += ActionTypeName(action.type);
  } else {
    line += "type " + std::to_string(static_cast<int32_t>(action.type)) + " (does nothing)";
  }
  out_.AddLine(line + " " + Quoted(action.name, kShownValueBytes));
}

}  // namespace quor
