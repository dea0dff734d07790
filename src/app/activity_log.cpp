#include "app/activity_log.h"

#include <fcntl.h>
#include <unistd.h>

#include "base/log_line.h"

namespace quor {

ActivityLog::~ActivityLog() {
  if (file_) std::fclose(file_);
}

namespace {

// The log records addresses and subjects of the user's mail: owner only.
std::FILE* OpenForAppending(const std::string& path) {
  int descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  std::FILE* stream = descriptor >= 0 ? ::fdopen(descriptor, "a") : nullptr;
  if (!stream && descriptor >= 0) ::close(descriptor);
  return stream;
}

}  // namespace

void ActivityLog::Open(const std::string& path, bool to_file) {
  to_file_ = to_file;
  {
    std::lock_guard lock(file_mutex_);
    path_ = path;
  }
  if (to_file) UseFile(path);
}

void ActivityLog::Reopen() {
  if (!to_file_.load()) return;
  std::string path;
  {
    std::lock_guard lock(file_mutex_);
    path = path_;
  }
  UseFile(path);
}

void ActivityLog::UseFile(const std::string& path) {
  std::FILE* stream = OpenForAppending(path);
  if (!stream) {
    // Lines then go to the window (or the terminal) only, and a file already
    // open stays in use: standard output already carries them in headless
    // mode, so it is not used a second time.
    AddLine("Warning: Unable to open log file (" + path + ")");
    return;
  }
  std::lock_guard lock(file_mutex_);
  if (file_) std::fclose(file_);
  file_ = stream;
}

void ActivityLog::AddLine(const std::string& text) {
  // Every sink gets the same visible copy: message text never adds a line or
  // reaches a terminal as control characters.
  const std::string line = LogLineText(text);
  {
    std::lock_guard lock(file_mutex_);
    // The switch is tested anew for every line: turning it off in Setup
    // stops writing at once.
    if (to_file_.load() && file_) {
      std::fwrite(line.data(), 1, line.size(), file_);
      std::fputc('\n', file_);
      std::fflush(file_);
    }
  }
  // Outside the lock: a window may take its time with a line.
  if (front_end_) front_end_->AddLine(line);
}

}  // namespace quor
