#pragma once
// A private scratch file for composing one outgoing multipart body.
//
// Created with a unique name (mkstemp, mode 0600) in $TMPDIR, or /tmp when
// that is unset or empty, and unlinked at once: it has no name while in use,
// so it is gone in every outcome, a crash or a kill included. The object owns
// the open stream and closes it when destroyed. One thread at a time.

#include <cstdio>
#include <string>

namespace quor {

class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // 1 with stream() open for writing and reading, or -errno.
  int Create();
  std::FILE* stream() const { return stream_; }

  // The folder new files go to: $TMPDIR when set and not empty, else /tmp.
  static std::string Folder();

 private:
  std::FILE* stream_ = nullptr;
};

}  // namespace quor
