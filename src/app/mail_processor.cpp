#include "app/mail_processor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "app/time_stamp.h"
#include "config/agents_file.h"
#include "config/config_paths.h"
#include "config/settings_file.h"
#include "engine/action_context.h"
#include "engine/condition_matcher.h"
#include "engine/local_actions.h"
#include "engine/message_actions.h"
#include "engine/variable_extractor.h"
#include "net/pop_client.h"

namespace quor {

namespace {

std::string Format(const char* format, const std::string& a) {
  std::string line(format);
  auto at = line.find("%s");
  if (at != std::string::npos) line.replace(at, 2, a);
  return line;
}

}  // namespace

MailProcessor::MailProcessor() = default;

MailProcessor::~MailProcessor() {
  pop_client_.reset();
  if (log_stream_ && log_stream_owned_) std::fclose(log_stream_);
}

std::string MailProcessor::AgentsFilePath() const {
  return InBaseDirectory(base_directory_, "quoragts.ini");
}

int MailProcessor::LoadConfiguration() {
  Settings settings;
  std::vector<MailboxAccount> mailboxes;
  SettingsFile::Load(profile_path_, settings, mailboxes);
  std::vector<MailAgent> agents = AgentsFile::Load(AgentsFilePath());
  if (settings.log_file.empty()) settings.log_file = InBaseDirectory(base_directory_, "quor.log");
  {
    std::lock_guard lock(config_mutex_);
    settings_ = settings;
    log_enabled_ = settings.log_to_file;
    for (auto& account : mailboxes) {
      account.id = next_account_id_++;
      mailboxes_.push_back(std::move(account));
    }
    for (auto& agent : agents) agents_.push_back(std::move(agent));
  }
  OpenLogFile();
  Log("[" + TimeStamp(std::time(nullptr)) + "] - Started.");
  return 1;
}

void MailProcessor::OpenLogFile() {
  Settings settings = this->settings();
  if (!settings.log_to_file) return;
  // The log records addresses and subjects of the user's mail: owner only.
  int descriptor =
      ::open(settings.log_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  std::FILE* stream = descriptor >= 0 ? ::fdopen(descriptor, "a") : nullptr;
  if (!stream) {
    if (descriptor >= 0) ::close(descriptor);
    // Lines then go to the window (or the terminal) only: standard output
    // already carries them in headless mode, so it is not used a second time.
    Log(Format("Warning: Unable to open log file (%s)", settings.log_file));
    return;
  }
  std::lock_guard lock(log_mutex_);
  log_stream_ = stream;
  log_stream_owned_ = true;
}

int MailProcessor::SaveConfiguration() {
  Settings settings;
  std::vector<MailboxAccount> mailboxes;
  std::vector<MailAgent> agents;
  {
    std::lock_guard lock(config_mutex_);
    settings = settings_;
    mailboxes = mailboxes_;
    agents = agents_;
  }
  SettingsFile::Save(profile_path_, settings, mailboxes);
  return AgentsFile::Save(AgentsFilePath(), agents) ? 1 : 0;
}

void MailProcessor::Log(const std::string& line) {
  {
    std::lock_guard lock(log_mutex_);
    // The flag is tested anew for every line: switching it off in Setup stops
    // writing at once.
    if (log_enabled_.load() && log_stream_) {
      std::fwrite(line.data(), 1, line.size(), log_stream_);
      std::fputc('\n', log_stream_);
      std::fflush(log_stream_);
    }
  }
  // Outside the lock: a window's AddLine may wait for its own thread.
  if (sink_) sink_->AddLine(line);
}

Settings MailProcessor::settings() const {
  std::lock_guard lock(config_mutex_);
  return settings_;
}

std::vector<MailAgent> MailProcessor::agents() const {
  std::lock_guard lock(config_mutex_);
  return agents_;
}

std::vector<MailboxAccount> MailProcessor::mailboxes() const {
  std::lock_guard lock(config_mutex_);
  return mailboxes_;
}

void MailProcessor::InstallConfiguration(const Settings& settings,
                                         std::vector<MailboxAccount> mailboxes,
                                         std::vector<MailAgent> agents) {
  std::lock_guard lock(config_mutex_);
  for (auto& account : mailboxes) {
    auto live = std::find_if(mailboxes_.begin(), mailboxes_.end(), [&](const MailboxAccount& a) {
      return account.id != 0 && a.id == account.id;
    });
    if (live != mailboxes_.end()) {
      // A pass may have moved the marker while the sheet was open.
      account.last_message = live->last_message;
    } else {
      account.id = next_account_id_++;
    }
  }
  settings_ = settings;
  log_enabled_ = settings.log_to_file;
  mailboxes_ = std::move(mailboxes);
  agents_ = std::move(agents);
}

void MailProcessor::ClearMarkers() {
  std::lock_guard lock(config_mutex_);
  for (auto& account : mailboxes_) account.last_message.clear();
}

void MailProcessor::StoreMarker(uint64_t account_id, const std::string& marker) {
  std::lock_guard lock(config_mutex_);
  for (auto& account : mailboxes_) {
    if (account.id == account_id) account.last_message = marker;
  }
}

int MailProcessor::RunPass() {
  std::vector<MailboxAccount> mailboxes;
  {
    std::lock_guard lock(config_mutex_);
    mailboxes = mailboxes_;
    pass_agents_ = agents_;
    pass_settings_ = settings_;
  }
  if (mailboxes.empty()) return -1;

  in_progress_ = 1;
  current_mailbox_ = nullptr;
  for (const MailboxAccount& mailbox : mailboxes) {
    current_mailbox_ = &mailbox;
    std::string stamp = TimeStamp(std::time(nullptr));
    pop_client_.reset();
    pop_client_ = std::make_unique<PopClient>(timings_.pop_reply_wait_seconds);
    pop_client_->set_size_limit(
        static_cast<long>(std::max(pass_settings_.size_limit_kilobytes, 0)) * 1000);
    Log("[" + stamp + "] - Checking mailbox " + mailbox.user + "@" + mailbox.server + "...");

    int result = pop_client_->Connect(mailbox.server, "pop3");
    if (result < 0) {
      Log("ERROR - Failed to connect to POP server.");
      continue;
    }
    if (result == 0) {
      Log(pop_client_->LastReply());
      continue;
    }
    result = pop_client_->Login(mailbox.user, mailbox.password);
    if (result < 0) {
      Log("ERROR - General network error.");
      continue;
    }
    if (result == 0) {
      Log(pop_client_->LastReply());
      continue;
    }

    int count = pop_client_->MessageCount();
    int first = 1;
    if (!mailbox.last_message.empty()) {
      for (int k = 1; k <= count; ++k) {
        std::string id;
        if (pop_client_->UniqueId(k, id) <= 0) break;
        if (id == mailbox.last_message) {
          first = k + 1;
          break;
        }
      }
    }
    int new_messages = count - first + 1;
    if (new_messages <= 0) {
      Log("--> No new messages found.");
    } else {
      Log("--> " + std::to_string(new_messages) + " new messages found.");
      for (int m = first; m <= count; ++m) {
        Log("--> Retrieving message " + std::to_string(m) + " of " + std::to_string(count) + "...");
        ProcessMessage(m);
      }
      std::string id;
      if (pop_client_->UniqueId(count, id) > 0) StoreMarker(mailbox.id, id);
    }
    pop_client_->Logout();
  }
  // The snapshot goes; the last client keeps its message until the next pass.
  current_mailbox_ = nullptr;
  in_progress_ = 0;
  Log("Processing completed.");
  return 0;
}

int MailProcessor::ProcessMessage(int message_number) {
  if (!pop_client_) return -1;
  int result = pop_client_->RetrieveMessage(message_number);
  if (result < 0) {
    Log("ERROR - General network error.");
    return result;
  }
  if (result == 0) {
    Log(pop_client_->LastReply());
    return 0;
  }
  if (result == 100) {
    Log("Warning: Message is larger than maximum allowed size!");
    return 0;
  }
  current_message_ = message_number;
  std::string mailbox = current_mailbox_ ? current_mailbox_->Label() : std::string();
  for (const MailAgent& agent : pass_agents_) {
    if (agent.enabled && MatchesConditions(agent, pop_client_->Message(), mailbox)) {
      Log("--> [Agent " + agent.name + "]: processing message " + std::to_string(message_number) +
          "...");
      RunAgent(agent);
    }
  }
  return result;
}

std::string MailProcessor::BodyText() const {
  if (!pop_client_) return std::string();
  const MailMessage& message = pop_client_->Message();
  if (message.AttachmentCount() == 0) return std::string(message.Text());
  const MailAttachment* first = message.Attachment(0);
  return first->length() != 0 ? first->data : std::string();
}

int MailProcessor::RunAgent(const MailAgent& agent) {
  if (!pop_client_) return 0;
  const MailMessage& message = pop_client_->Message();
  FieldMap fields;
  fields["Subject"] = std::string(message.Subject());
  fields["Recipient"] = std::string(message.Recipient());
  fields["Sender"] = std::string(message.Sender());
  fields["Reply-To"] = std::string(message.ReplyAddress());
  fields["Date"] = std::string(message.Date());
  fields["Message-Body"] = BodyText();
  fields["Mailbox"] = current_mailbox_ ? current_mailbox_->Label() : std::string();

  ExtractVariables(agent, message.Text(), fields, *this);

  ActionContext context{*this,
                        pass_settings_,
                        base_directory_,
                        pop_client_.get(),
                        current_message_,
                        &message,
                        BodyText(),
                        timings_.smtp_reply_wait_seconds,
                        timings_.program_wait_milliseconds,
                        play_sound_};

  for (const AgentAction& action : agent.actions) {
    switch (action.type) {
      case ActionType::kDelete:
        DeleteMessageAction(action, fields, context);
        break;
      case ActionType::kSend:
        SendMessageAction(action, fields, context);
        break;
      case ActionType::kSound:
        PlaySoundAction(action, fields, context);
        break;
      case ActionType::kSaveData:
        SaveDataAction(action, fields, context);
        break;
      case ActionType::kRunProgram:
        RunProgramAction(action, fields, context);
        break;
      case ActionType::kForward:
        ForwardMessageAction(action, fields, context);
        break;
      case ActionType::kSaveAttachments:
        SaveAttachmentsAction(action, fields, context);
        break;
      default:
        // Unknown numbers (7 among them) stay in the agent and do nothing.
        break;
    }
  }
  return 0;
}

}  // namespace quor
