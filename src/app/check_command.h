#pragma once
// `quor --check [--connect]` from start to end: the file check of the
// configuration start-up would read (ConfigurationCheck), with --connect the
// servers tried (ConnectionCheck), one line for each problem and each server,
// and a closing count. Writes no file and takes no lock.

#include "app/startup_options.h"
#include "base/log_sink.h"

namespace quor {

// Gives each line to `output` (as LogLineText shows it: names and server
// replies come from outside). 0 when nothing is wrong, 1 otherwise.
int RunCheck(const StartupOptions& options, bool connect, LogSink& output);

// The same, the lines on standard output.
int RunCheckCommand(const StartupOptions& options, bool connect);

}  // namespace quor
