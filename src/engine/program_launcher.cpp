#include "engine/program_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace quor {

namespace {

// How often children without a pidfd are looked at.
constexpr int kPollMilliseconds = 20;

int OpenPidDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

ProgramLauncher::ProgramLauncher() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
    wake_read_ = ends[0];
    wake_write_ = ends[1];
  }
  reaper_ = std::thread(&ProgramLauncher::ReapLoop, this);
}

ProgramLauncher::~ProgramLauncher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  if (wake_write_ >= 0) {
    char byte = 0;
    (void)!write(wake_write_, &byte, 1);
  }
  reaper_.join();
  for (const Child& child : children_) {
    if (child.pidfd >= 0) close(child.pidfd);
  }
  if (wake_read_ >= 0) close(wake_read_);
  if (wake_write_ >= 0) close(wake_write_);
}

ProgramLauncher& ProgramLauncher::Shared() {
  // Never destroyed: a pass may still be waiting for a program while the
  // process ends, and a reaper must outlive everything that starts programs.
  static ProgramLauncher& shared = *new ProgramLauncher();
  return shared;
}

std::vector<std::string> ProgramLauncher::SplitCommandLine(std::string_view command_line) {
  return SplitCommandLine(command_line, {});
}

std::vector<std::string> ProgramLauncher::SplitCommandLine(std::string_view command_line,
                                                           const std::vector<TextRange>& literal) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  size_t next_literal = 0;
  auto literal_at = [&](size_t position) {
    return next_literal < literal.size() && literal[next_literal].offset == position;
  };
  size_t i = 0;
  while (i < command_line.size()) {
    if (literal_at(i)) {
      in_word = true;
      word.append(command_line.substr(i, literal[next_literal].length));
      i += literal[next_literal].length;
      ++next_literal;
      continue;
    }
    char c = command_line[i];
    if (!quoted && IsBlank(c)) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
      ++i;
      continue;
    }
    in_word = true;
    if (c == '\\') {
      size_t run = 0;
      while (i < command_line.size() && command_line[i] == '\\' && !literal_at(i)) {
        ++run;
        ++i;
      }
      if (i < command_line.size() && command_line[i] == '"' && !literal_at(i)) {
        word.append(run / 2, '\\');
        if (run % 2 == 1) {
          word.push_back('"');
          ++i;
        }
        // With an even run the quote is left for the next turn: it groups.
      } else {
        word.append(run, '\\');
      }
      continue;
    }
    if (c == '"') {
      quoted = !quoted;
    } else {
      word.push_back(c);
    }
    ++i;
  }
  // Empty ranges at the very end still make their word.
  while (literal_at(command_line.size())) {
    in_word = true;
    ++next_literal;
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

ProgramLauncher::StartResult ProgramLauncher::Start(std::string_view command_line) {
  return Start(SplitCommandLine(command_line.substr(0, command_line.find('\0'))));
}

ProgramLauncher::StartResult ProgramLauncher::Start(std::vector<std::string> words) {
  if (words.empty()) return {0, ENOENT};
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Headless, the processor's standard output is the activity log: a
  // program's output must never mix into it.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  // Sockets and files of the processor are none of the program's business.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  // A processor that ignores SIGPIPE must not pass that on.
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  // posix_spawnp reports a failed exec (missing program, no execute right,
  // a directory) as its result, not as a child that exits at once.
  int error = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return {0, error};

  {
    std::lock_guard<std::mutex> lock(mutex_);
    // A child that ended already is still a zombie, so its pidfd opens fine.
    children_.push_back(Child{pid, OpenPidDescriptor(pid)});
  }
  if (wake_write_ >= 0) {
    char byte = 0;
    (void)!write(wake_write_, &byte, 1);
  }
  return {pid, 0};
}

namespace {

// 0 for an executable regular file, else ENOENT or EACCES.
int ExecutableFile(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return errno == EACCES ? EACCES : ENOENT;
  if (!S_ISREG(status.st_mode) || access(path.c_str(), X_OK) != 0) return EACCES;
  return 0;
}

}  // namespace

int ProgramLauncher::CheckProgram(const std::string& word) {
  if (word.empty()) return ENOENT;
  if (word.find('/') != std::string::npos) return ExecutableFile(word);
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "/bin:/usr/bin";
  int result = ENOENT;
  while (true) {
    size_t colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    // An empty entry is the current folder, as for the shell.
    int found = ExecutableFile((folder.empty() ? std::string(".") : folder) + "/" + word);
    if (found == 0) return 0;
    if (found == EACCES) result = EACCES;
    if (colon == std::string_view::npos) return result;
    folders.remove_prefix(colon + 1);
  }
}

bool ProgramLauncher::WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return child_ended_.wait_for(lock, limit, [&] {
    return std::none_of(children_.begin(), children_.end(),
                        [pid](const Child& child) { return child.pid == pid; });
  });
}

size_t ProgramLauncher::RunningCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return children_.size();
}

void ProgramLauncher::ReapLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    std::vector<pollfd> watched;
    watched.push_back(pollfd{wake_read_, POLLIN, 0});
    bool must_poll = wake_read_ < 0;
    for (const Child& child : children_) {
      if (child.pidfd >= 0) {
        watched.push_back(pollfd{child.pidfd, POLLIN, 0});
      } else {
        must_poll = true;
      }
    }
    lock.unlock();
    poll(watched.data(), watched.size(), must_poll ? kPollMilliseconds : -1);
    if (wake_read_ >= 0) {
      char drain[64];
      while (read(wake_read_, drain, sizeof drain) > 0) {
      }
    }
    lock.lock();
    CollectEnded();
  }
}

void ProgramLauncher::CollectEnded() {
  bool any = false;
  for (auto child = children_.begin(); child != children_.end();) {
    int status = 0;
    pid_t result = waitpid(child->pid, &status, WNOHANG);
    // ECHILD: someone set SIGCHLD to be ignored and the system reaped it.
    bool ended = result == child->pid || (result < 0 && errno != EINTR);
    if (!ended) {
      ++child;
      continue;
    }
    if (child->pidfd >= 0) close(child->pidfd);
    child = children_.erase(child);
    any = true;
  }
  if (any) child_ended_.notify_all();
}

}  // namespace quor
