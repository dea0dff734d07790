#pragma once
// The engine object: owns the settings, the mailbox and agent lists, the log
// file and the POP client of the mailbox being checked, and runs a pass.
//
// Threads: the configuration is read and replaced on the front end's thread
// while a pass may run on a worker. Every access to settings and lists goes
// through a mutex held only for copying; a pass works on its own snapshot
// taken at its start and writes back only the last-message markers, found by
// the accounts' ids. So a pass never sees a list being replaced, and Setup
// or Reset never wait for a pass.

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/log_sink.h"
#include "config/mail_agent.h"
#include "config/mailbox_account.h"
#include "config/settings.h"
#include "engine/field_map.h"
#include "net/log_target.h"

namespace quor {

class PopClient;

// Time limits of the mail conversations and the program action, so tests can
// shorten them. The defaults are the values users get.
struct ProcessorTimings {
  int pop_reply_wait_seconds = 119;
  int smtp_reply_wait_seconds = 29;
  int program_wait_milliseconds = 600000;
};

class MailProcessor : public LogTarget {
 public:
  MailProcessor();
  ~MailProcessor() override;
  MailProcessor(const MailProcessor&) = delete;
  MailProcessor& operator=(const MailProcessor&) = delete;

  // Where files live; set before LoadConfiguration.
  void set_base_directory(std::string directory) { base_directory_ = std::move(directory); }
  const std::string& base_directory() const { return base_directory_; }
  void set_profile_path(std::string path) { profile_path_ = std::move(path); }
  const std::string& profile_path() const { return profile_path_; }
  // The front end's side of the log; borrowed, may be null.
  void AttachSink(LogSink* sink) { sink_ = sink; }
  LogSink* sink() const { return sink_; }
  void set_timings(const ProcessorTimings& timings) { timings_ = timings; }
  // The front end's alert sound for the sound action; must not block.
  void set_play_sound(std::function<void()> play_sound) { play_sound_ = std::move(play_sound); }

  // Reads settings, mailboxes and agents, opens the log file, logs "Started.".
  int LoadConfiguration();
  // Writes settings and mailboxes, then the agents file after its backup.
  // Non-zero when the agents file was written completely.
  int SaveConfiguration();

  // One activity-log line: to the log file (when on), then to the sink.
  void Log(const std::string& line) override;

  // One pass over every mailbox: 0, or -1 when there is no mailbox.
  int RunPass();

  // Copies of the configuration, for the setup sheet and the front ends.
  Settings settings() const;
  std::vector<MailAgent> agents() const;
  std::vector<MailboxAccount> mailboxes() const;
  // Setup's OK: installs edited copies. Accounts keep the marker that the
  // processor holds now for the same id (a pass may have moved it meanwhile).
  void InstallConfiguration(const Settings& settings, std::vector<MailboxAccount> mailboxes,
                            std::vector<MailAgent> agents);
  // Reset: empties every last-message marker.
  void ClearMarkers();

  bool in_progress() const { return in_progress_.load() != 0; }

  // The pass's own steps, public so tests can drive them one at a time.
  int ProcessMessage(int message_number);
  int RunAgent(const MailAgent& agent);
  std::string BodyText() const;

 private:
  std::string AgentsFilePath() const;
  void OpenLogFile();
  // Writes a marker found by a pass into the live account with that id.
  void StoreMarker(uint64_t account_id, const std::string& marker);

  mutable std::mutex config_mutex_;
  Settings settings_;
  std::vector<MailAgent> agents_;
  std::vector<MailboxAccount> mailboxes_;
  uint64_t next_account_id_ = 1;

  // Run-time state of a pass (worker thread only).
  std::atomic<int> in_progress_{0};
  int current_message_ = 0;
  std::unique_ptr<PopClient> pop_client_;
  const MailboxAccount* current_mailbox_ = nullptr;
  // The pass's snapshot of the configuration.
  std::vector<MailAgent> pass_agents_;
  Settings pass_settings_;

  std::mutex log_mutex_;
  std::atomic<bool> log_enabled_{false};
  std::FILE* log_stream_ = nullptr;
  bool log_stream_owned_ = false;
  LogSink* sink_ = nullptr;
  std::string base_directory_;
  std::string profile_path_;
  ProcessorTimings timings_;
  std::function<void()> play_sound_;
};

}  // namespace quor
