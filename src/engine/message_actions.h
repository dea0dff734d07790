#pragma once
// The three actions that talk to mail servers: send a new message built from a
// template, forward the message being processed with its attachments, and ask
// the POP3 server to delete it.
//
// Every outcome becomes activity-log lines through context.log, and the
// agent's next action runs regardless; the result only says whether the
// action failed (a message not sent or not deleted, a forwarded part not
// written). Each send or forward opens its own SMTP session to
// context.settings.smtp_server, secured and logged in as the settings say,
// and ends it before returning. A session that cannot be secured or logged in
// sends nothing and logs one line, "ERROR - TLS: ..." or "ERROR - SMTP login
// failed: ...". Runs on the processing thread.

#include "config/mail_agent.h"
#include "engine/action_context.h"
#include "engine/field_map.h"

namespace quor {

// "Send an Outgoing Message": properties mailto, cclist, subject, message (a
// template file path), attachCount and attach0, attach1, ...; every text but
// the template path is substituted from `fields`, the attachment paths with
// each value as one path step (Insertion::kPathStep). Unless the
// ReplyToAutomatic setting is on, a message to the incoming message's sender
// or reply address (in To or Cc) is not sent when the incoming message is
// automatic (IsAutomaticMessage): "--> Not replying to an automatic message."
// and nothing else, not counted as a failure.
ActionResult SendMessageAction(const AgentAction& action, const FieldMap& fields,
                               ActionContext& context);

// "Forward Incoming Message": sends context.message to the substituted mailto.
// The first attachment is the body when there are attachments; the others are
// written to <base>/data/ under their sanitised names and attached from there;
// a part that could not be written is left out and the forward counts as
// failed even when the rest was sent. With the DecodeText setting, the body
// is the decoded text (BodyText) and the names are decoded before they are
// sanitised; the parts' bytes never change.
ActionResult ForwardMessageAction(const AgentAction& action, const FieldMap& fields,
                                  ActionContext& context);

// "Delete Incoming Message": DELE of context.message_number on context.pop.
// The server removes the message when the POP3 session ends normally. When
// an earlier action on the message failed (context.earlier_action_failed),
// nothing is sent: the line "--> Message kept on the server: an earlier
// action failed." replaces "--> Deleting message...".
ActionResult DeleteMessageAction(const AgentAction& action, const FieldMap& fields,
                                 ActionContext& context);

}  // namespace quor
