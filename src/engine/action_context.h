#pragma once
// What an agent's actions may touch while they run on one message: the log,
// the outgoing-mail settings, the base directory, the open POP3 session with
// the number of the message being processed, and the front end's alert.
// Borrowed references only; the pass fills one per message.

#include <functional>
#include <string>

#include "base/log_sink.h"
#include "config/settings.h"
#include "message/mail_message.h"

namespace quor {

class PopClient;

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
};

}  // namespace quor
