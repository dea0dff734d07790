#include "app/mail_processor.h"

#include <algorithm>
#include <ctime>

#include "app/progress_journal.h"
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
  report_ = PassReport{};
  if (pass.mailboxes.empty()) {
    report_.no_mailboxes = true;
    return -1;
  }

  in_progress_ = true;
  for (const MailboxAccount& mailbox : pass.mailboxes) {
    if (!CheckMailbox(mailbox, pass)) ++report_.mailboxes_not_checked;
  }
  // The last session's message stays until the next pass replaces it.
  in_progress_ = false;
  log_.AddLine("Processing completed.");
  return 0;
}

bool MailProcessor::CheckMailbox(const MailboxAccount& mailbox, const Configuration& pass) {
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
    return false;
  }
  if (result == 0) {
    log_.AddLine(pop_client_->LastReply());
    return false;
  }
  result = pop_client_->Login(mailbox.user, mailbox.password);
  if (result < 0) {
    log_.AddLine("ERROR - General network error.");
    return false;
  }
  if (result == 0) {
    // A server that repeats the password must not bring it into the log.
    log_.AddLine(MaskSecrets(pop_client_->LastReply(), {mailbox.password}));
    return false;
  }

  int count = pop_client_->MessageCount();
  // A refused count reads as an empty mailbox in the log, as it always has.
  bool checked =
      count >= 0 && !pop_client_->LastReply().empty() && pop_client_->LastReply().front() == '+';
  std::vector<std::string> ids;
  if (count > 0 && !ReadUniqueIds(count, ids)) {
    pop_client_->Logout();
    return false;
  }
  int first = 1;
  if (!mailbox.last_message.empty()) {
    auto marked = std::find(ids.begin(), ids.end(), mailbox.last_message);
    if (marked != ids.end()) first = static_cast<int>(marked - ids.begin()) + 2;
  }
  int new_messages = count - first + 1;
  // The last handled message that stays on the server (the old marker's,
  // when it was found), and whether the marker names one that goes.
  std::string staying = first > 1 ? mailbox.last_message : std::string();
  bool marker_goes = false;
  if (new_messages <= 0) {
    log_.AddLine("--> No new messages found.");
  } else {
    log_.AddLine("--> " + std::to_string(new_messages) + " new messages found.");
    pop_client_->PlanRetrievals(first, count);
    for (int m = first; m <= count; ++m) {
      log_.AddLine("--> Retrieving message " + std::to_string(m) + " of " + std::to_string(count) +
                   "...");
      // A message lost to the network is not done with, and neither is any
      // after it: the marker stays before it for the next pass.
      bool deleted = false;
      if (ProcessMessage(mailbox, pass, m, deleted) < 0) checked = false;
      const size_t index = static_cast<size_t>(m - 1);
      if (!checked || index >= ids.size() || ids[index].empty()) continue;
      // Its deletion is final only when the session ends normally: until
      // then the marker names the message itself, so a run killed now
      // never handles it again.
      KeepMarker(mailbox, ids[index]);
      marker_goes = deleted;
      if (!deleted) staying = ids[index];
    }
  }
  // The server carried out the deletions: a marker naming a deleted message
  // would never be found again, and every message would count as new.
  if (pop_client_->Logout() > 0 && marker_goes) KeepMarker(mailbox, staying);
  return checked;
}

void MailProcessor::KeepMarker(const MailboxAccount& mailbox, const std::string& marker) {
  if (journal_ == nullptr) {
    configuration_.StoreMarker(mailbox.id, marker);
    return;
  }
  if (!journal_->Record(configuration_, mailbox, marker) && !report_.progress_not_recorded) {
    report_.progress_not_recorded = true;
    log_.AddLine("ERROR: Unable to save the configuration (" + journal_->path() + ")");
  }
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
                                  int number, bool& deleted) {
  deleted = false;
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
  deleted = context.deleted;
  return result;
}

}  // namespace quor
