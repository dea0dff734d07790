#pragma once
// Decides whether an agent acts on a message: each condition compares one
// field of the message with a value, and the results are folded strictly from
// left to right by their AND/OR joins (no precedence). Pure functions: nothing
// is logged and nothing is changed, so any thread may call them.

#include <string>
#include <string_view>

#include "config/mail_agent.h"
#include "engine/message_fields.h"

namespace quor {

class AgentTrace;

// One comparison. `operator_name` is "contains", "does not contain", "is" or "is not",
// compared exactly; any other operator is false. Byte for byte, case-sensitive,
// nothing trimmed. An empty value never "contains" and never "does not contain".
bool TestCondition(std::string_view text, const std::string& operator_name,
                   const std::string& value);

// True for one of the four operators TestCondition knows.
bool IsConditionOperator(std::string_view operator_name);

// True when the agent's conditions hold for the message's texts (decoded or
// not, as `texts` was built); an agent without conditions matches every
// message.
// mailbox: user "@" server of the mailbox being checked.
// A field name outside the seven known ones keeps the running result (false in
// first place); a join other than 0 (AND) or 1 (OR) leaves the condition's own
// result. Evaluation stops with false as soon as two running results in a row
// are false, even when a later condition joined by OR would hold.
// Each condition tested, and an early stop, are told to `trace` when given.
bool MatchesConditions(const MailAgent& agent, const MessageTexts& texts, std::string_view mailbox,
                       AgentTrace* trace = nullptr);

}  // namespace quor
