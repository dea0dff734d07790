#include "app/base_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "config/config_paths.h"

namespace quor {

BaseFolderLock::BaseFolderLock(std::string base_directory)
    : base_directory_(std::move(base_directory)) {}

BaseFolderLock::~BaseFolderLock() {
  if (descriptor_ >= 0) close(descriptor_);
}

std::string BaseFolderLock::path() const { return InBaseDirectory(base_directory_, "quor.lock"); }

std::string BaseFolderLock::FolderText() const {
  if (!base_directory_.empty()) return base_directory_;
  char current[PATH_MAX];
  return getcwd(current, sizeof current) ? std::string(current) : std::string(".");
}

BaseFolderLock::Result BaseFolderLock::Acquire() {
  if (held_) return Result::kAcquired;
  if (descriptor_ < 0) {
    std::string file = path();
    descriptor_ = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A base folder the user may read but not write still gets its lock.
    if (descriptor_ < 0) descriptor_ = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor_ < 0) return Result::kUnavailable;
  }
  int result;
  do {
    result = flock(descriptor_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    held_ = true;
    return Result::kAcquired;
  }
  return errno == EWOULDBLOCK ? Result::kHeldByAnother : Result::kUnavailable;
}

}  // namespace quor
