// quor: the mail processor. Opens the control panel when a display is
// present, otherwise (or with --headless) runs headless.
//
// Built twice: as quor, without Qt, which hands over to its window part to
// open the control panel (app/window_part.h), and as that window part,
// quor-desktop, with the window linked in (QUOR_HAVE_UI).

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/check_command.h"
#include "app/command_line.h"
#include "app/headless_front_end.h"
#include "app/message_trial.h"
#include "app/startup_options.h"
#include "config/config_paths.h"

#ifdef QUOR_HAVE_UI
#include "ui/desktop_app.h"
#else
#include "app/window_part.h"
#endif

using namespace quor;

namespace {

std::string BaseName(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The trace of --test-message, a line at a time.
class StandardOutputSink : public LogSink {
 public:
  void AddLine(const std::string& line) override {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
  }
};

bool DisplayPresent() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
  // A reader of standard output that goes away (`quor --headless | head`) must
  // not end the process in the middle of a pass: the write fails, the log file
  // and the pass go on. Started programs get the default back.
  signal(SIGPIPE, SIG_IGN);
  std::string program = BaseName(argc > 0 ? argv[0] : "quor");
  CommandLine command_line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (command_line.request) {
    case CommandLine::Request::kHelp:
      std::fputs(UsageText(program).c_str(), stdout);
      return 0;
    case CommandLine::Request::kVersion:
      std::printf("Quor Mail Processor %s\n", QUOR_VERSION);
      return 0;
    case CommandLine::Request::kError:
      std::fprintf(stderr, "%s: %s\n%s", program.c_str(), command_line.error.c_str(),
                   UsageText(program).c_str());
      return 2;
    case CommandLine::Request::kTestMessage: {
      StandardOutputSink out;
      return RunMessageTrial(ResolveProfilePath(command_line.profile, program),
                             ResolveBaseDirectory(command_line.base_directory),
                             *command_line.test_message,
                             command_line.agent ? &*command_line.agent : nullptr, out);
    }
    case CommandLine::Request::kRun:
      break;
  }

  StartupOptions options;
  options.base_directory = ResolveBaseDirectory(command_line.base_directory);
  options.profile_path = ResolveProfilePath(command_line.profile, program);
  options.once = command_line.once;
  options.headless = command_line.headless || command_line.once;
  // A check reads the files and ends: no window, no lock, no log file.
  if (command_line.check) return RunCheckCommand(options, command_line.connect);

#ifdef QUOR_HAVE_UI
  if (!options.headless) {
    if (DisplayPresent()) return RunDesktopApplication(argc, argv, options);
    std::fputs("quor: no display found; running headless.\n", stderr);
  }
#else
  if (!options.headless) {
    if (!DisplayPresent()) {
      std::fputs("quor: no display found; running headless.\n", stderr);
    } else {
      // Returns only when the window part could not be started.
      std::string part = WindowPartPath(QUOR_WINDOW_PART);
      int error = HandOverToWindowPart(part, argv);
      if (error == ENOENT) {
        std::fputs(
            "quor: the desktop window (package quor-desktop) is not installed; "
            "running headless.\n",
            stderr);
      } else {
        std::fprintf(stderr, "quor: cannot start the desktop window %s: %s; running headless.\n",
                     part.c_str(), std::strerror(error));
      }
    }
  }
#endif
  HeadlessFrontEnd front_end;
  return front_end.Run(options);
}
