#pragma once
// The desktop front end: creates the application object, runs the control
// panel as a modal dialog and returns the process's exit status when it ends.
// Call from main() on the main thread, once.

#include "app/startup_options.h"

namespace quor {

int RunDesktopApplication(int argc, char** argv, const StartupOptions& options);

}  // namespace quor
