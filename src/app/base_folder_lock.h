#pragma once
// One quor per base folder: an advisory lock (flock) on quor.lock in the base
// folder, held for the life of the object. The kernel releases it when the
// process ends, however it ends, so a crash never leaves a stale lock; the
// descriptor is close-on-exec, so a program started by an action never holds
// it on. The file itself stays (removing it would let two copies lock two
// different files). One thread.

#include <string>

namespace quor {

class BaseFolderLock {
 public:
  enum class Result {
    kAcquired,
    kHeldByAnother,  // another process (or another lock object) holds it
    kUnavailable,    // the lock file could be neither created nor opened
  };

  // base_directory: empty for the current folder.
  explicit BaseFolderLock(std::string base_directory);
  ~BaseFolderLock();
  BaseFolderLock(const BaseFolderLock&) = delete;
  BaseFolderLock& operator=(const BaseFolderLock&) = delete;

  // Takes the lock without waiting; again after kAcquired is kAcquired.
  Result Acquire();

  std::string path() const;
  // The base folder as users should read it: the current folder's full path
  // when the base directory is empty.
  std::string FolderText() const;

 private:
  std::string base_directory_;
  int descriptor_ = -1;
  bool held_ = false;
};

}  // namespace quor
