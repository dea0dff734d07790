#pragma once
// Creating the folders a file is written into. Plain functions; any thread.

#include <sys/types.h>

#include <string>

namespace quor {

// Creates `folder` and every missing folder above it, each new one with
// `mode`; folders that exist keep theirs. True when the folder exists
// afterwards (a file in the way, or no right to create one, gives false).
bool MakeFolders(const std::string& folder, mode_t mode);

// The folder part of a path: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path);

}  // namespace quor
