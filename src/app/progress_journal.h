#pragma once
// The mailboxes' last-message markers as a pass moves them, kept in a small
// file in the base folder until the profile holds them, so that a process
// killed at any moment (SIGKILL, the OOM killer) handles again at most the
// message it was in.
//
// After the actions of each message one record (the mailbox's server and
// user, and the marker) is appended with a single write(). It reaches the
// kernel at once, which keeps it whatever happens to the process; it is not
// flushed to the disk, so a power cut may lose the records of the last
// seconds. The profile takes the markers over (a fold) at the end of each
// pass, at start-up and at every save; the journal is then emptied. Records
// of a mailbox that Setup has since given another server or user are
// ignored.
//
// Threads: Record (the pass's worker) and Fold (any thread) exclude each
// other, so a fold never empties a record whose marker its save did not
// hold. Neither logs.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/configuration_store.h"
#include "config/mailbox_account.h"

namespace quor {

class ProgressJournal {
 public:
  explicit ProgressJournal(std::string path);
  ~ProgressJournal();
  ProgressJournal(const ProgressJournal&) = delete;
  ProgressJournal& operator=(const ProgressJournal&) = delete;

  const std::string& path() const { return path_; }

  // Start-up, before the first Record: the records an earlier run left
  // behind, into the mailboxes of the same server and user (the last record
  // of a mailbox wins). A record cut short or damaged is skipped. A journal
  // that is not empty is emptied by the next Fold. True when any marker
  // changed.
  bool Replay(std::vector<MailboxAccount>& mailboxes);

  // After the actions of a message: the marker into the store and the
  // record into the file, as one step. False when the record could not be
  // written whole (the store has the marker all the same).
  bool Record(ConfigurationStore& store, const MailboxAccount& mailbox, const std::string& marker);

  // Runs save() and, when it returns true, empties the journal, as one step.
  // Without records since the last fold nothing is saved and the result is
  // true, unless `always` is set. Returns save()'s result.
  bool Fold(const std::function<bool()>& save, bool always);

 private:
  // Opens the file for appending on first use; false when it cannot be.
  bool Open();

  std::string path_;
  std::mutex mutex_;
  int descriptor_ = -1;
  // The file's length up to its last whole record: a record that could not
  // be written whole is cut off again, so the next one starts on its line.
  long long whole_length_ = 0;
  bool unfolded_ = false;  // records (or a failed write) since the last fold
};

}  // namespace quor
