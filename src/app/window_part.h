#pragma once
// The desktop window is not linked into quor. It is a program of its own,
// quor-desktop (the window part), installed at a fixed place relative to quor
// (in the install layout: ../libexec/quor/quor-desktop from quor's folder).
// quor hands over to it only when it is to open the window, so a server that
// runs quor headless never loads the Qt libraries and need not have them.
//
// The hand-over replaces the process (execv) with the same arguments,
// argv[0] included, so the window part resolves the same profile file and
// parses the same command line. Linux only: quor's own folder comes from
// /proc/self/exe. No state; safe to call from main() only (it may not return).

#include <string>

namespace quor {

// The path of the running program's window part: its own folder joined with
// relative_path, without "." and ".." steps. Empty when the program's own
// path cannot be read.
std::string WindowPartPath(const std::string& relative_path);

// Starts the window part at `path` in place of this process with the
// arguments argv (argv[0] first, null-terminated as main() receives it).
// Returns only when it could not be started: the errno value of the failure
// (ENOENT when the part is not installed).
int HandOverToWindowPart(const std::string& path, char** argv);

}  // namespace quor
