#pragma once
// Whole-file reads and crash-safe whole-file replacement for the
// configuration files.
//
// ReplaceFileContent never writes into the file it replaces: the content goes
// to a new temporary file in the same folder, is flushed to the disk, and is
// then renamed over the target in one step. A crash, a full disk or a failed
// write therefore leaves either the old file or the new one, never a mixture,
// and no temporary file stays behind after a failure.
//
// Plain functions without shared state; safe to call from any thread, but two
// callers replacing the same path race and the last rename wins.

#include <sys/types.h>

#include <string>
#include <string_view>

namespace quor {

// Reads the whole file into content. False when the file is missing, is not
// a regular file or cannot be read; content is then empty.
bool ReadFileContent(const std::string& path, std::string& content);

// Replaces the file at path with content, which gets the permission bits
// mode. A symbolic link at path is followed, so the file it names is
// replaced and the link stays. False when anything failed; the old file is
// then untouched.
bool ReplaceFileContent(const std::string& path, std::string_view content, mode_t mode);

}  // namespace quor
