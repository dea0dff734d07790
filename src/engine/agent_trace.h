#pragma once
// An observer of one agent's decision on one message: told every condition
// with its result and the running fold, where the evaluation stopped, every
// extraction rule's outcome and each action as it begins. The engine calls it
// from the very code that decides, so what it is told is what a pass does;
// a pass without a trace (the usual case) pays one null check per step.
// Called on the thread of the agent run; every method defaults to nothing.

#include <cstddef>
#include <optional>
#include <string_view>

#include "config/mail_agent.h"

namespace quor {

class AgentTrace {
 public:
  virtual ~AgentTrace() = default;

  // An agent is offered the message (enabled or, when asked for by name, not).
  virtual void AgentOffered(const MailAgent& /*agent*/) {}
  // Condition `index` (from 0): the text its field gave (none for a field
  // name outside the seven), its own result and the running result after
  // the join.
  virtual void ConditionTested(size_t /*index*/, const AgentCondition& /*condition*/,
                               std::optional<std::string_view> /*field_text*/, bool /*result*/,
                               bool /*running*/) {}
  // The evaluation ended at condition `index` with two false results in a
  // row; the conditions after it were not looked at.
  virtual void ConditionsStopped(size_t /*index*/) {}
  // The agent's conditions are decided.
  virtual void ConditionsDecided(bool /*matched*/) {}
  // Extraction rule `index` (from 0) collected `value`: stored under the
  // rule's variable, or for a rule without a name kept for the next named one.
  virtual void RuleExtracted(size_t /*index*/, const AgentExtraction& /*rule*/,
                             std::string_view /*value*/) {}
  // Rule `index` found no start marker in the text from `cursor` on: it
  // collects nothing, and a named rule stores nothing.
  virtual void RuleNotApplied(size_t /*index*/, const AgentExtraction& /*rule*/,
                              size_t /*cursor*/) {}
  // Action `index` (from 0) begins; `known` is false for a type that does
  // nothing.
  virtual void ActionStarting(size_t /*index*/, const AgentAction& /*action*/, bool /*known*/) {}
};

}  // namespace quor
