#pragma once
// What the command line decided, handed to whichever front end runs.

#include <string>

#include "app/mail_processor.h"

namespace quor {

struct StartupOptions {
  std::string base_directory;  // resolved: --base-dir, $QUOR_HOME, or empty
  std::string profile_path;    // resolved: --profile or the default location
  bool headless = false;
  bool once = false;  // one pass, then Exit, whatever ExitOnCheck says
  ProcessorTimings timings;
};

}  // namespace quor
