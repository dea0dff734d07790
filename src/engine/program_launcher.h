#pragma once
// Starts the external programs of the Run an External Program action without
// a shell, and makes sure none of them is ever left behind as a zombie.
//
// A command line is split into words the way the programs' original platform
// splits one (SplitCommandLine), so shell syntax such as "; rm -rf ~" or
// "$(reboot)" in a message reaches the program as plain argument text. The
// first word names the program, looked up in PATH when it holds no "/". The
// program gets the caller's environment and current folder, standard input
// from and standard output and error to /dev/null (it has no console: what it
// prints must not reach the processor's own output), default signal
// handling, and no other open descriptor.
//
// Each launcher owns one reaper thread that collects the exit status of every
// program it started as soon as the program ends, whether anyone waits for it
// or not (a pidfd per child wakes it; where pidfds are missing it looks every
// 20 ms). Nobody else may waitpid() for these processes.
// Thread-safe: any thread may start programs and wait for them.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/text_range.h"

namespace quor {

class ProgramLauncher {
 public:
  struct StartResult {
    pid_t pid = 0;  // > 0 when the program runs
    int error = 0;  // errno of a start that failed (ENOENT, EACCES, ...)
  };

  // Starts the reaper thread.
  ProgramLauncher();
  // Stops the reaper. Programs still running are no longer collected, so
  // destroy a launcher only when its programs have ended or the process ends.
  ~ProgramLauncher();
  ProgramLauncher(const ProgramLauncher&) = delete;
  ProgramLauncher& operator=(const ProgramLauncher&) = delete;

  // The launcher of the program actions; lives until the process ends.
  static ProgramLauncher& Shared();

  // Splits a command line into words: blanks (space, tab) separate words,
  // double quotes group blanks into a word and are removed. Backslashes are
  // literal unless they come before a double quote: 2n backslashes and a
  // quote give n backslashes and the quote opens or closes a group; 2n+1
  // give n backslashes and a literal quote. "" makes an empty word.
  static std::vector<std::string> SplitCommandLine(std::string_view command_line);
  // The same, where the ranges of `literal` (in order, not overlapping) are
  // plain text: their blanks, quotes and backslashes neither separate, group
  // nor escape, and each is part of the word where it stands, so a range
  // alone, even an empty one, makes a word of its own. For a command line
  // whose ranges came from a message.
  static std::vector<std::string> SplitCommandLine(std::string_view command_line,
                                                   const std::vector<TextRange>& literal);

  // Starts the program of a command line; the line ends at a zero byte. A
  // missing, non-executable or directory program gives pid 0 and the error;
  // so does a line without words.
  StartResult Start(std::string_view command_line);
  // Starts the program named by the first word with the others as its
  // arguments; each ends at its first zero byte, as the system passes them.
  StartResult Start(std::vector<std::string> words);

  // Whether Start could run the program the first word of a command line
  // names, without starting it: 0 when it names an executable regular file
  // (the word itself when it holds a "/", else looked up in PATH, or in
  // /bin:/usr/bin when PATH is unset), else the error a start would give
  // (ENOENT not found, EACCES found but not executable or a directory).
  static int CheckProgram(const std::string& word);

  // Blocks until the program started as `pid` has ended or `limit` has passed;
  // true when it has ended. A pid this launcher does not track counts as ended.
  bool WaitForExit(pid_t pid, std::chrono::milliseconds limit);

  // Programs started and not yet ended and collected.
  size_t RunningCount() const;

 private:
  struct Child {
    pid_t pid = 0;
    int pidfd = -1;  // -1 where the kernel offers none: polled instead
  };

  void ReapLoop();
  // Collects every child that has ended; mutex_ held.
  void CollectEnded();

  mutable std::mutex mutex_;
  std::condition_variable child_ended_;
  std::vector<Child> children_;
  bool stopping_ = false;
  int wake_read_ = -1;  // a byte written to the pipe wakes the reaper
  int wake_write_ = -1;
  std::thread reaper_;
};

}  // namespace quor
