#include "app/mail_processor.h"

#include <algorithm>
#include <ctime>

#include "app/progress_journal.h"
#include "app/time_stamp.h"
#include "engine/action_context.h"
#include "engine/agent_run.h"
#include "net/pop_client.h"

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
  pop_client_->set_size_limit(static_cast<long>(std::max(pass.settings.size_limit_kilobytes, 0)) *
                              1000);
  log_.AddLine("[" + stamp + "] - Checking mailbox " + mailbox.Label() + "...");

  int result = pop_client_->Connect(mailbox.server, "pop3");
  if (result < 0) {
    log_.AddLine("ERROR - Failed to connect to POP server.");
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
    log_.AddLine(pop_client_->LastReply());
    return false;
  }

  int count = pop_client_->MessageCount();
  // A refused count reads as an empty mailbox in the log, as it always has.
  bool checked = count >= 0 && !pop_client_->LastReply().empty() &&
                 pop_client_->LastReply().front() == '+';
  std::vector<std::string> ids = count > 0 ? ReadUniqueIds() : std::vector<std::string>();
  int first = 1;
  if (!mailbox.last_message.empty()) {
    auto marked = std::find(ids.begin(), ids.end(), mailbox.last_message);
    if (marked != ids.end()) first = static_cast<int>(marked - ids.begin()) + 2;
  }
  int new_messages = count - first + 1;
  if (new_messages <= 0) {
    log_.AddLine("--> No new messages found.");
  } else {
    log_.AddLine("--> " + std::to_string(new_messages) + " new messages found.");
    for (int m = first; m <= count; ++m) {
      log_.AddLine("--> Retrieving message " + std::to_string(m) + " of " + std::to_string(count) +
                   "...");
      // A message lost to the network is not done with, and neither is any
      // after it: the marker stays before it for the next pass.
      if (ProcessMessage(mailbox, pass, m) < 0) checked = false;
      if (checked) KeepProgress(mailbox, ids, m);
    }
  }
  pop_client_->Logout();
  return checked;
}

std::vector<std::string> MailProcessor::ReadUniqueIds() {
  std::vector<std::string> ids;
  if (pop_client_->UniqueIds(ids) <= 0) ids.clear();
  return ids;
}

void MailProcessor::KeepProgress(const MailboxAccount& mailbox,
                                 const std::vector<std::string>& ids, int number) {
  size_t index = static_cast<size_t>(number - 1);
  if (index >= ids.size() || ids[index].empty()) return;
  if (journal_ == nullptr) {
    configuration_.StoreMarker(mailbox.id, ids[index]);
    return;
  }
  if (!journal_->Record(configuration_, mailbox, ids[index]) && !report_.progress_not_recorded) {
    report_.progress_not_recorded = true;
    log_.AddLine("ERROR: Unable to save the configuration (" + journal_->path() + ")");
  }
}

int MailProcessor::ProcessMessage(const MailboxAccount& mailbox, const Configuration& pass,
                                  int number) {
  message_.Clear();
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
