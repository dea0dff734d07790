#pragma once
// Turns an agent trace into the lines a person reads: per agent its header,
// each condition with the field's text (one line, cut), the operator, the
// value, the result and the running fold, where the evaluation stopped and
// whether the agent matched, each extraction rule's piece or why it found
// none, and
// each action as it begins. The log lines the run writes are shown among
// them ("log: ..."), in order, through log_echo(); the dry executor's lines
// go to the same sink. One run, one thread.

#include <cstddef>
#include <string>

#include "base/log_sink.h"
#include "engine/agent_trace.h"

namespace quor {

class TracePrinter : public AgentTrace {
 public:
  // Field texts are cut to this many bytes, values shown to this many.
  static constexpr size_t kShownFieldBytes = 80;
  static constexpr size_t kShownValueBytes = 200;

  // out: borrowed; must outlive the printer.
  explicit TracePrinter(LogSink& out) : out_(out), echo_(out) {}

  // A log sink that shows the run's log lines among the trace's.
  LogSink& log_echo() { return echo_; }

  void AgentOffered(const MailAgent& agent) override;
  void ConditionTested(size_t index, const AgentCondition& condition,
                       std::optional<std::string_view> field_text, bool result,
                       bool running) override;
  void ConditionsStopped(size_t index) override;
  void ConditionsDecided(bool matched) override;
  void RuleExtracted(size_t index, const AgentExtraction& rule, std::string_view value) override;
  void RuleNotApplied(size_t index, const AgentExtraction& rule, size_t cursor) override;
  void ActionStarting(size_t index, const AgentAction& action, bool known) override;

 private:
  class Echo : public LogSink {
   public:
    explicit Echo(LogSink& out) : out_(out) {}
    void AddLine(const std::string& line) override;

   private:
    LogSink& out_;
  };

  LogSink& out_;
  Echo echo_;
  size_t conditions_seen_ = 0;
};

// `text` as one shown line: up to its first line end and `limit` bytes
// ("..." marks a cut), control characters escaped.
std::string OneLine(std::string_view text, size_t limit);

}  // namespace quor
