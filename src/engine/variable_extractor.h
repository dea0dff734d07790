#pragma once
// Cuts named pieces out of a message's text for an agent's actions. The rules
// of an agent run in order over one cursor that carries from each rule to the
// next; a rule without a variable name leaves its piece in the collected text,
// so the next named rule stores both. Results go into the run's field map and
// each is reported in the activity log.
//
// Time is linear in the text for every rule, whatever the markers hold.

#include <string_view>

#include "base/log_sink.h"
#include "config/mail_agent.h"
#include "engine/field_map.h"

namespace quor {

class AgentTrace;

// source: the message record's text (never the first attachment).
// Logs "--> Extracted {name}: '...'" (first 128 characters of the value) for
// each stored variable, and "--> Failed to extract variable {name}" for a
// named rule whose start marker is not found; such a rule stores nothing.
// Each rule's outcome is told to `trace` when given.
void ExtractVariables(const MailAgent& agent, std::string_view source, FieldMap& fields,
                      LogSink& log, AgentTrace* trace = nullptr);

}  // namespace quor
