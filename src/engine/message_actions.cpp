#include "engine/message_actions.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "config/number_text.h"
#include "engine/action_executor.h"
#include "engine/mail_delivery.h"
#include "engine/message_fields.h"
#include "engine/part_file.h"
#include "engine/substitution.h"
#include "message/automatic_mail.h"
#include "message/encoded_words.h"

namespace quor {

namespace {

void LogBlankReasons(const std::string& to, ActionContext& context) {
  if (to.empty()) context.log.AddLine("--> Reason: The recipient list (To: field) was blank!");
  if (context.settings.email_address.empty()) {
    context.log.AddLine("--> Reason: The E-mail address setting is blank!");
  }
}

// The attach%d entries below attachCount, in index order. Only existing
// properties are visited, so a huge count from a damaged agents file costs
// nothing; missing entries would be empty and skipped anyway.
std::vector<std::pair<int32_t, std::string>> AttachmentEntries(const AgentAction& action) {
  int32_t count = action.NumberProperty(action_property::kAttachCount);
  std::vector<std::pair<int32_t, std::string>> entries;
  static constexpr std::string_view kPrefix = action_property::kAttachPrefix;
  for (const auto& [name, value] : action.properties()) {
    if (name.size() <= kPrefix.size() || name.compare(0, kPrefix.size(), kPrefix) != 0) continue;
    std::string digits = name.substr(kPrefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      continue;
    }
    int32_t index = LeadingInteger(digits);
    // Only the names "attach%d" produces: no leading zeros, no overflowed digits.
    if (index >= count || std::to_string(index) != digits) continue;
    entries.emplace_back(index, value);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// Writes attachments 1.. of the message to the data folder and attaches them.
// Two parts with the same name would otherwise share one file, and the first
// one's content would be lost: later ones get their index in front. False
// when a part could not be written and is missing from the forward.
bool AttachForwardedParts(const MailMessage& message, ActionContext& context,
                          OutgoingMessage& outgoing) {
  bool complete = true;
  std::set<std::string> used;
  for (int i = 1; i < message.AttachmentCount(); ++i) {
    const MailAttachment* part = message.Attachment(i);
    std::string name = SafePartName(AttachmentName(*part, context.settings.decode_text));
    if (name.empty()) name = "~rmp" + std::to_string(i);
    while (used.count(name) != 0) name = std::to_string(i) + "_" + name;
    used.insert(name);
    ActionExecutor& executor = ExecutorOf(context);
    WrittenPart written = executor.WritePart(context, i, part->length(), part->data.data(), name);
    // A part file that could not be created or was written only in part is
    // not sent, and neither is an older file of the same name that a failed
    // write left in place, nor what a link planted under that name points to.
    if (written.complete && executor.IsFileOfLength(written.path, part->length())) {
      outgoing.attachments.push_back(written.path);
    } else {
      complete = false;
    }
  }
  return complete;
}

// A delivery's result as the action's: anything but an accepted message failed.
ActionResult Delivered(int result) {
  return result > 0 ? ActionResult::kDone : ActionResult::kFailed;
}

}  // namespace

ActionResult SendMessageAction(const AgentAction& action, const FieldMap& fields,
                               ActionContext& context) {
  context.log.AddLine("--> Sending new message...");
  // Two answering programs must not mail each other for ever. Not sending is
  // what the agent asked for here, so it is no failure.
  if (!context.settings.reply_to_automatic && context.message != nullptr &&
      IsAutomaticMessage(*context.message) &&
      AddressesSender(*context.message,
                      Substitute(action.Property(action_property::kMailTo), fields),
                      Substitute(action.Property("cclist"), fields))) {
    context.log.AddLine("--> Not replying to an automatic message.");
    return ActionResult::kDone;
  }
  std::unique_ptr<MailSession> session = ExecutorOf(context).OpenMailSession(context);
  if (!session) return ActionResult::kFailed;

  std::string body;
  const std::string& template_path = action.Property(action_property::kTemplate);
  if (!template_path.empty()) body = Substitute(ReadTextFile(template_path, context.log), fields);

  OutgoingMessage message;
  for (const auto& [index, entry] : AttachmentEntries(action)) {
    // A value from the message names a file in the folder the agent named,
    // never one elsewhere that would then leave the machine.
    std::string path = Substitute(entry, fields, Insertion::kPathStep);
    if (!path.empty() && ExecutorOf(context).AttachmentExists(path))
      message.attachments.push_back(path);
  }

  message.sender = context.settings.email_address;
  message.reply_to = context.settings.reply_address;
  message.to = Substitute(action.Property(action_property::kMailTo), fields);
  message.subject = Substitute(action.Property("subject"), fields);
  message.body = std::move(body);
  message.cc = Substitute(action.Property("cclist"), fields);
  message.sender_name = context.settings.sender_name;
  message.organization = context.settings.organization;

  int result = session->Deliver(message);
  if (result < 0) {
    context.log.AddLine("ERROR - Failed to send message.  Internal error # " +
                        std::to_string(result));
    LogBlankReasons(message.to, context);
  } else if (result == 0) {
    context.log.AddLine(session->LastReply());
  }
  return Delivered(result);
}

ActionResult ForwardMessageAction(const AgentAction& action, const FieldMap& fields,
                                  ActionContext& context) {
  context.log.AddLine("--> Forwarding message...");
  std::unique_ptr<MailSession> session = ExecutorOf(context).OpenMailSession(context);
  if (!session) return ActionResult::kFailed;

  OutgoingMessage message;
  message.to = Substitute(action.Property(action_property::kMailTo), fields);
  // Outside a pass there is no message: it is sent as an empty one would be,
  // so the failure (or the blank reasons) is reported the usual way.
  static const MailMessage kNoMessage;
  const MailMessage& incoming = context.message ? *context.message : kNoMessage;
  // With decoding, the whole folded fields: the subject in UTF-8 (sent as
  // encoded words again), the addresses as they came, display names encoded.
  const bool decode = context.settings.decode_text;
  const HeaderLines lines = decode ? HeaderLines::kUnfolded : HeaderLines::kFirst;
  message.subject =
      decode ? DecodeEncodedWords(incoming.Subject(lines)) : std::string(incoming.Subject());
  message.sender = std::string(incoming.Sender(lines));
  if (message.sender.empty()) message.sender = context.settings.email_address;
  message.reply_to = std::string(incoming.ReplyAddress(lines));
  if (message.reply_to.empty()) message.reply_to = context.settings.reply_address;

  bool parts_complete = true;
  message.body = BodyText(incoming, decode);
  if (incoming.AttachmentCount() > 0) {
    // The first part is the text of the message; as text it ends at a zero byte.
    message.body.erase(std::min(message.body.find('\0'), message.body.size()));
    parts_complete = AttachForwardedParts(incoming, context, message);
  }

  int result = session->Deliver(message);
  if (result < 0) {
    context.log.AddLine("ERROR - Failed to forward message.");
    LogBlankReasons(message.to, context);
  } else if (result == 0) {
    context.log.AddLine(session->LastReply());
  }
  return parts_complete ? Delivered(result) : ActionResult::kFailed;
}

ActionResult DeleteMessageAction(const AgentAction& /*action*/, const FieldMap& /*fields*/,
                                 ActionContext& context) {
  if (context.earlier_action_failed) {
    // The message may be the only copy left of what the failed action was
    // to pass on: it stays for the user (or a later Reset) to deal with.
    context.log.AddLine("--> Message kept on the server: an earlier action failed.");
    return ActionResult::kDone;
  }
  context.log.AddLine("--> Deleting message...");
  if (!ExecutorOf(context).DeleteMessage(context)) return ActionResult::kFailed;
  context.deleted = true;
  return ActionResult::kDone;
}

}  // namespace quor
