#include "engine/agent_run.h"

#include <string>

#include "engine/condition_matcher.h"
#include "engine/local_actions.h"
#include "engine/message_actions.h"
#include "engine/message_fields.h"
#include "engine/variable_extractor.h"

namespace quor {

namespace {

using ActionFunction = ActionResult (*)(const AgentAction&, const FieldMap&, ActionContext&);

struct ActionEntry {
  ActionType type;
  ActionFunction run;
};

constexpr ActionEntry kActions[] = {
    {ActionType::kDelete, DeleteMessageAction},
    {ActionType::kSend, SendMessageAction},
    {ActionType::kSound, PlaySoundAction},
    {ActionType::kSaveData, SaveDataAction},
    {ActionType::kRunProgram, RunProgramAction},
    {ActionType::kForward, ForwardMessageAction},
    {ActionType::kSaveAttachments, SaveAttachmentsAction},
};

ActionFunction FindAction(ActionType type) {
  for (const ActionEntry& entry : kActions) {
    if (entry.type == type) return entry.run;
  }
  return nullptr;
}

}  // namespace

void OfferToAgents(const std::vector<MailAgent>& agents, ActionContext& context) {
  if (context.message == nullptr) return;
  const MessageTexts texts(*context.message, context.settings.decode_text);
  for (const MailAgent& agent : agents) {
    if (!agent.enabled || !MatchesConditions(agent, texts, context.mailbox)) continue;
    context.log.AddLine("--> [Agent " + agent.name + "]: processing message " +
                        std::to_string(context.message_number) + "...");
    RunAgent(agent, context);
  }
}

void RunAgent(const MailAgent& agent, ActionContext& context) {
  if (context.message == nullptr) return;
  const MessageTexts texts(*context.message, context.settings.decode_text);
  FieldMap fields = MessageFieldMap(texts, context.mailbox);
  context.body_text = fields["Message-Body"];
  ExtractVariables(agent, texts.Text(), fields, context.log);
  for (const AgentAction& action : agent.actions) {
    ActionFunction run = FindAction(action.type);
    if (run && run(action, fields, context) == ActionResult::kFailed) {
      context.earlier_action_failed = true;
    }
  }
}

}  // namespace quor
