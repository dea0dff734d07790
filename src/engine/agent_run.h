#pragma once
// The agents' work on one retrieved message: which agents act (their
// conditions), what they cut out of it (extraction), and their actions in
// order, each found in one table by its type. Runs on the pass's thread;
// every step is reported through context.log.

#include <vector>

#include "config/mail_agent.h"
#include "engine/action_context.h"

namespace quor {

// Offers context.message to every enabled agent in list order; each whose
// conditions hold logs "--> [Agent <name>]: processing message <n>..." and
// runs. Every matching agent runs, not just the first, each with a field map
// of its own, and all see the same message even after one deleted it on the
// server.
void OfferToAgents(const std::vector<MailAgent>& agents, ActionContext& context);

// One agent on context.message: the field map of the seven fields (decoded
// when the DecodeText setting is on), the extraction rules, then every action
// in order. An action of a type outside
// the known ones (7 among them) does nothing; a failing action never stops
// the next, but is remembered in context.earlier_action_failed.
void RunAgent(const MailAgent& agent, ActionContext& context);

}  // namespace quor
