#pragma once
// What an agent's actions may touch while they run on one message: the log,
// the outgoing-mail settings, the base directory, the open POP3 session with
// the number of the message being processed, and the front end's alert.
// Borrowed references only; the pass fills one per message and every agent
// that runs on the message shares it.

#include <functional>
#include <string>

#include "base/log_sink.h"
#include "config/settings.h"
#include "message/mail_message.h"

namespace quor {

class PopClient;

// What an action tells the agent run. kFailed: it set out to do its work and
// did not (a message not sent, a file not written, a program not started).
// An action with nothing to do (no attachments to save) is kDone.
enum class ActionResult { kDone, kFailed };

struct ActionContext {
  LogSink& log;
  const Settings& settings;
  std::string base_directory{};  // empty: files in the current directory
  PopClient* pop = nullptr;      // the open session; null outside a pass
  int message_number = 0;        // number of the message within that session
  const MailMessage* message = nullptr;
  std::string body_text{};  // BodyText(): text, or the first part's data
  std::string mailbox{};    // user "@" server of the mailbox being checked

  // Time limits, parameters so that tests need not wait the real ones.
  int smtp_reply_wait_seconds = 29;
  int program_wait_milliseconds = 600000;
  // The front end's alert sound; must return at once. May be empty.
  std::function<void()> play_sound{};

  // An action on this message has failed, in this agent or an earlier one:
  // Delete then keeps the message on the server, so nothing is lost.
  bool earlier_action_failed = false;
  // The server accepted a Delete of this message: it goes when the session
  // ends normally.
  bool deleted = false;
};

}  // namespace quor
