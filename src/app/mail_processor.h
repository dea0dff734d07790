#pragma once
// A processing pass: every mailbox in turn, the messages that arrived since
// the last pass, each retrieved, parsed and offered to the agents. Reports
// every step through the activity log.
//
// The processor borrows the configuration store and the log; a pass works on
// a snapshot of the configuration taken at its start and writes back only
// the mailboxes' last-message markers, one message at a time: after the
// actions of each message its unique id becomes the marker, in the store and
// (when one is set) in the progress journal. One pass at a time, on one
// thread (the driver's worker); in_progress() may be read from any thread.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/activity_log.h"
#include "app/configuration_store.h"
#include "message/mail_message.h"
#include "message/message_parser.h"

namespace quor {

class PopClient;
class ProgressJournal;

// Time limits of the mail conversations and the program action, so tests can
// shorten them. The defaults are the values users get.
struct ProcessorTimings {
  int pop_reply_wait_seconds = 119;
  int smtp_reply_wait_seconds = 29;
  int program_wait_milliseconds = 600000;
  // A message retrieval must average this rate once it has run the grace.
  int retrieval_grace_seconds = 119;
  long long retrieval_minimum_bytes_per_second = 1000;
};

class MailProcessor {
 public:
  // Both borrowed; they must outlive the processor.
  MailProcessor(ConfigurationStore& configuration, ActivityLog& log);
  ~MailProcessor();
  MailProcessor(const MailProcessor&) = delete;
  MailProcessor& operator=(const MailProcessor&) = delete;

  // Where data/ and relative files live (empty: the current folder).
  void set_base_directory(std::string directory) { base_directory_ = std::move(directory); }
  void set_timings(const ProcessorTimings& timings) { timings_ = timings; }
  // The front end's alert sound for the sound action; must not block.
  void set_play_sound(std::function<void()> play_sound) { play_sound_ = std::move(play_sound); }

  // Lock-step POP3 sessions even where the server offers pipelining: for
  // tests and benchmarks that compare the two ways.
  void set_pipelining_allowed(bool allowed) { pipelining_allowed_ = allowed; }
  // Where each message's marker is recorded as well; borrowed, may be null.
  void set_journal(ProgressJournal* journal) { journal_ = journal; }

  ConfigurationStore& configuration() { return configuration_; }
  ActivityLog& log() { return log_; }

  // What the last pass could not do.
  struct PassReport {
    bool no_mailboxes = false;
    // Mailboxes that could not be checked: no connection, a refused or
    // failed login or message count, a network error while retrieving.
    int mailboxes_not_checked = 0;
    // A progress record could not be written (logged once per pass).
    bool progress_not_recorded = false;
  };

  // One pass over every mailbox: 0, or -1 (nothing logged) when there is no
  // mailbox.
  int RunPass();
  bool in_progress() const { return in_progress_.load(); }
  // Read on the pass's thread once RunPass has returned (the driver's hooks).
  const PassReport& last_report() const { return report_; }

 private:
  // One mailbox of the pass, from the "Checking mailbox" line to QUIT. False
  // when the mailbox could not be checked.
  bool CheckMailbox(const MailboxAccount& mailbox, const Configuration& pass);
  // The unique id of every message of the open session, read before any
  // message is, into ids (ids[n - 1] for message n); the only place ids are
  // read. False, after logging why, when the mailbox must be skipped: the
  // listing failed, or an id is missing or holds a byte no marker can keep.
  // A server that refuses the listing gives no ids: every message counts as
  // new and no marker is kept.
  bool ReadUniqueIds(int count, std::vector<std::string>& ids);
  // The mailbox's marker moves: into the store, and the journal when set.
  void KeepMarker(const MailboxAccount& mailbox, const std::string& marker);
  // Retrieves message n of the open session and offers it to the agents.
  // The retrieval result; `deleted` tells whether an agent deleted it.
  int ProcessMessage(const MailboxAccount& mailbox, const Configuration& pass, int number,
                     bool& deleted);

  ConfigurationStore& configuration_;
  ActivityLog& log_;
  std::string base_directory_;
  ProcessorTimings timings_;
  std::function<void()> play_sound_;
  bool pipelining_allowed_ = true;
  ProgressJournal* journal_ = nullptr;
  PassReport report_;

  std::atomic<bool> in_progress_{false};
  // The session of the mailbox being checked, and the message last
  // retrieved, which its parser fills.
  std::unique_ptr<PopClient> pop_client_;
  MailMessage message_;
  MessageParser parser_{message_};
};

}  // namespace quor
