#pragma once
// The activity log: every line the start-up, a pass and its actions report.
// Each line is appended to the log file (when logging to a file is on and
// the file could be opened) and then handed to the front end (the window's
// list, or standard output when headless).
//
// Threads: AddLine may be called from any thread; file writes are serialised
// by a mutex and never overlap. The front end's AddLine is called outside
// that mutex, so a front end may take its time. Every line is flushed to the
// file as it is written.

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "base/log_sink.h"

namespace quor {

class ActivityLog : public LogSink {
 public:
  ActivityLog() = default;
  ~ActivityLog() override;
  ActivityLog(const ActivityLog&) = delete;
  ActivityLog& operator=(const ActivityLog&) = delete;

  // The front end's side; borrowed, may be null. Attach it before Open, so
  // the start-up lines reach it.
  void AttachFrontEnd(LogSink* front_end) { front_end_ = front_end; }
  LogSink* front_end() const { return front_end_; }

  // Opens `path` for appending (created mode 0600: the log records the
  // user's mail) when `to_file` is on. A file that cannot be opened logs
  // "Warning: Unable to open log file (<path>)"; lines then go to the front
  // end only. Once, at start-up.
  void Open(const std::string& path, bool to_file);
  // After the file was moved away (logrotate): opens the path given to Open
  // anew, so lines go to a new file there. A file that cannot be opened logs
  // the warning of Open, and lines go on to the old file. Nothing happens
  // while logging to a file is off. Any thread.
  void Reopen();
  // Setup's switch: on sends lines to the file again (if one was opened),
  // off stops writing at once.
  void set_to_file(bool to_file) { to_file_ = to_file; }

  // One line: to the file, then to the front end, both as LogLineText shows
  // it (a reply's line end dropped, control characters escaped).
  void AddLine(const std::string& text) override;

 private:
  // Opens `path` for appending and writes there from now on; when it cannot,
  // says so and keeps the file in use.
  void UseFile(const std::string& path);

  std::mutex file_mutex_;
  std::atomic<bool> to_file_{false};
  std::FILE* file_ = nullptr;
  std::string path_;
  LogSink* front_end_ = nullptr;
};

}  // namespace quor
