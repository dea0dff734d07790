#pragma once
// Writes one part of an incoming message to a file, for the forward and the
// Save Attachments actions, and makes part names from messages safe to use as
// file names. Runs on the processing thread; touches only the file system.

#include <cstddef>
#include <string>

#include "engine/action_context.h"

namespace quor {

// Where a part went, and whether every byte of it got there.
struct WrittenPart {
  std::string path;
  bool complete = false;
};

// Writes one attachment and returns its path (also when creation or writing
// failed). A name without "/" lands in the data folder (<base>/data/, created
// with mode 0700 when missing; the current folder when the base directory is
// empty); an empty name becomes "~rmp<index>". A name containing "/" is a path
// of its own: only trusted callers pass such names, names from messages go
// through SafePartName first. An existing file is replaced; a symbolic link at
// the path is never written through, but left alone. A file that cannot be
// created (a planted link among them), or a write that makes no progress, logs
// "ERROR: writing file <path>" and gives complete false.
WrittenPart WritePartFile(ActionContext& context, int index, size_t length, const char* bytes,
                          const std::string& name);

// Longest name SafePartName returns, in bytes: room is left below the file
// system's 255 for the numbers Save Attachments appends.
inline constexpr size_t kMaxPartNameBytes = 200;

// A part name from a message reduced to a safe file name (no "/", no "..", no leading "/" or
// dot-only names, no control characters, bounded length); empty stays empty.
// Senders' programs often put whole paths into the name (C:\Users\x\report.doc,
// ../../x): only the last step after "/" or "\" is kept. Control characters
// are dropped, a leading "." becomes "_" (no hidden files, never "." or ".."),
// and a name over kMaxPartNameBytes keeps its extension and is cut at a UTF-8
// character boundary. A name with nothing usable left gives the empty text, so
// callers fall back to their generic name.
std::string SafePartName(const std::string& name);

}  // namespace quor
