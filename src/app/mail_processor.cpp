#include "app/mail_processor.h"

#include <algorithm>
#include <ctime>

#include "app/time_stamp.h"
#include "base/secret_text.h"
#include "engine/action_context.h"
#include "engine/agent_run.h"
#include "net/pop_client.h"
#include "net/tls_error.h"

namespace quor {

MailProcessor::MailProcessor(ConfigurationStore& configuration, ActivityLog& log)
    : configuration_(configuration), log_(log) {}

MailProcessor::~MailProcessor() = default;

int MailProcessor::RunPass() {
  const Configuration pass = configuration_.Snapshot();
  if (pass.mailboxes.empty()) return -1;

  in_progress_ = true;
  for (const MailboxAccount& mailbox : pass.mailboxes) CheckMailbox(mailbox, pass);
  // The last session's message stays until the next pass replaces it.
  in_progress_ = false;
  log_.AddLine("Processing completed.");
  return 0;
}

void MailProcessor::CheckMailbox(const MailboxAccount& mailbox, const Configuration& pass) {
  std::string stamp = TimeStamp(std::time(nullptr));
  // The previous session goes first, closing a connection still open.
  pop_client_.reset();
  pop_client_ = std::make_unique<PopClient>(timings_.pop_reply_wait_seconds);
  pop_client_->set_transfer_pace(
      {.grace_seconds = timings_.retrieval_grace_seconds,
       .minimum_bytes_per_second = timings_.retrieval_minimum_bytes_per_second});
  pop_client_->set_size_limit(static_cast<long>(std::max(pass.settings.size_limit_kilobytes, 0)) *
                              1000);
  pop_client_->set_pipelining_allowed(pipelining_allowed_);
  log_.AddLine("[" + stamp + "] - Checking mailbox " + mailbox.Label() + "...");

  int result = pop_client_->Connect(mailbox.server, mailbox.security,
                                    {pass.settings.certificate_authority_file});
  if (result < 0) {
    // A session that could not be secured is skipped before the login.
    log_.AddLine(pop_client_->tls_error() ? TlsErrorLine(pop_client_->tls_error())
                                          : "ERROR - Failed to connect to POP server.");
    return;
  }
  if (result == 0) {
    log_.AddLine(pop_client_->LastReply());
    return;
  }
  result = pop_client_->Login(mailbox.user, mailbox.password);
  if (result < 0) {
    log_.AddLine("ERROR - General network error.");
    return;
  }
  if (result == 0) {
    // A server that repeats the password must not bring it into the log.
    log_.AddLine(MaskSecrets(pop_client_->LastReply(), {mailbox.password}));
    return;
  }

  int count = pop_client_->MessageCount();
  std::vector<std::string> ids;
  if (count > 0 && !ReadUniqueIds(count, ids)) {
    pop_client_->Logout();
    return;
  }
  int first = 1;
  if (!mailbox.last_message.empty()) {
    for (size_t k = 0; k < ids.size(); ++k) {
      if (ids[k] == mailbox.last_message) {
        first = static_cast<int>(k) + 2;
        break;
      }
    }
  }
  int new_messages = count - first + 1;
  if (new_messages <= 0) {
    log_.AddLine("--> No new messages found.");
  } else {
    log_.AddLine("--> " + std::to_string(new_messages) + " new messages found.");
    pop_client_->PlanRetrievals(first, count);
    for (int m = first; m <= count; ++m) {
      log_.AddLine("--> Retrieving message " + std::to_string(m) + " of " + std::to_string(count) +
                   "...");
      ProcessMessage(mailbox, pass, m);
    }
    if (!ids.empty()) configuration_.StoreMarker(mailbox.id, ids.back());
  }
  pop_client_->Logout();
}

bool MailProcessor::ReadUniqueIds(int count, std::vector<std::string>& ids) {
  int result = pop_client_->UniqueIds(ids);
  if (result < 0) {
    log_.AddLine("ERROR - General network error.");
    return false;
  }
  if (result == 0) {
    ids.clear();
    return true;
  }
  // A marker that cannot be stored as it came would never match again, and
  // the mailbox would be handled whole at every pass.
  if (ids.size() != static_cast<size_t>(count) ||
      !std::all_of(ids.begin(), ids.end(), IsValidUniqueId)) {
    log_.AddLine("ERROR - The server sent an invalid unique id.");
    return false;
  }
  return true;
}

int MailProcessor::ProcessMessage(const MailboxAccount& mailbox, const Configuration& pass,
                                  int number) {
  message_.Clear();
  parser_.set_decode_text(pass.settings.decode_text);
  int result = pop_client_->RetrieveMessage(number, parser_);
  if (result < 0) {
    log_.AddLine("ERROR - General network error.");
    return result;
  }
  if (result == 0) {
    log_.AddLine(pop_client_->LastReply());
    return 0;
  }
  if (result == PopClient::kMessageTooLarge) {
    log_.AddLine("Warning: Message is larger than maximum allowed size!");
    return 0;
  }
  ActionContext context{.log = log_,
                        .settings = pass.settings,
                        .base_directory = base_directory_,
                        .pop = pop_client_.get(),
                        .message_number = number,
                        .message = &message_,
                        .mailbox = mailbox.Label(),
                        .smtp_reply_wait_seconds = timings_.smtp_reply_wait_seconds,
                        .program_wait_milliseconds = timings_.program_wait_milliseconds,
                        .play_sound = play_sound_};
  OfferToAgents(pass.agents, context);
  return result;
}

}  // namespace quor
