#include "engine/variable_extractor.h"

#include <string>

#include "engine/agent_trace.h"
#include "engine/text_search.h"

namespace quor {

namespace {

constexpr size_t kLoggedValueLength = 128;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Moves the cursor to where the piece begins. False when the start marker is
// not in the text from the cursor on; the cursor is then left alone.
bool MoveToStart(const AgentExtraction& rule, std::string_view source, size_t& cursor) {
  switch (rule.start_kind) {
    case MarkerKind::kText: {
      if (rule.start_text.empty()) return true;
      size_t found = FindText(source, rule.start_text, cursor);
      if (found == std::string_view::npos) return false;
      cursor = found + rule.start_text.size();
      return true;
    }
    case MarkerKind::kAnyBlank:
      while (cursor < source.size() && IsBlank(source[cursor])) ++cursor;
      return true;
    case MarkerKind::kTab:
    case MarkerKind::kEndOfLine: {
      size_t found = source.find(rule.start_kind == MarkerKind::kTab ? '\t' : '\n', cursor);
      if (found == std::string_view::npos) return false;
      cursor = found + 1;
      return true;
    }
    case MarkerKind::kNextCharacter:
      if (cursor < source.size()) ++cursor;
      return true;
    default:  // end of message, and numbers no editor writes
      return true;
  }
}

// Appends the piece that ends at the end marker to `collected`. An end marker
// that is not found copies nothing and leaves the cursor; an end that is found
// leaves the cursor on it, so the next rule may start from the same text.
void CollectToEnd(const AgentExtraction& rule, std::string_view source, size_t& cursor,
                  std::string& collected) {
  size_t end = cursor;
  switch (rule.end_kind) {
    case MarkerKind::kText: {
      if (rule.end_text.empty()) return;
      size_t found = FindText(source, rule.end_text, cursor);
      if (found == std::string_view::npos) return;
      end = found;
      break;
    }
    case MarkerKind::kAnyBlank:
      while (end < source.size() && !IsBlank(source[end])) ++end;
      break;
    case MarkerKind::kTab:
    case MarkerKind::kEndOfLine: {
      size_t found = source.find(rule.end_kind == MarkerKind::kTab ? '\t' : '\n', cursor);
      if (found == std::string_view::npos) return;
      end = found;
      break;
    }
    case MarkerKind::kEndOfMessage:
      end = source.size();
      break;
    case MarkerKind::kNextCharacter:
      if (cursor < source.size()) end = cursor + 1;
      break;
    default:
      return;
  }
  collected.append(source.substr(cursor, end - cursor));
  cursor = end;
}

// The value as a log line shows it: its first 128 characters, and like any
// C text it ends at a zero byte.
std::string_view LoggedValue(std::string_view value) {
  value = value.substr(0, kLoggedValueLength);
  return value.substr(0, value.find('\0'));
}

}  // namespace

void ExtractVariables(const MailAgent& agent, std::string_view source, FieldMap& fields,
                      LogSink& log, AgentTrace* trace) {
  size_t cursor = 0;
  std::string collected;
  for (size_t i = 0; i < agent.extractions.size(); ++i) {
    const AgentExtraction& rule = agent.extractions[i];
    if (!MoveToStart(rule, source, cursor)) {
      if (!rule.variable_name.empty()) {
        log.AddLine("--> Failed to extract variable {" + rule.variable_name + "}");
      }
      if (trace) trace->RuleNotApplied(i, rule, cursor);
      continue;
    }
    CollectToEnd(rule, source, cursor, collected);
    if (trace) trace->RuleExtracted(i, rule, collected);
    if (rule.variable_name.empty()) continue;
    log.AddLine("--> Extracted {" + rule.variable_name + "}: '" +
                std::string(LoggedValue(collected)) + "'");
    fields[rule.variable_name] = std::move(collected);
    collected.clear();
  }
}

}  // namespace quor
