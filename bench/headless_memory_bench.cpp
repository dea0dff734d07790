// Peak memory of `quor --headless --once` next to Debian's fetchmail, both
// retrieving the same mailbox of small messages from a private Dovecot
// server in the same run. A third row runs the window part (quor-desktop,
// which links Qt) headless: what quor cost before the window became a program
// of its own.
//
//   headless_memory_bench [--count 2000] [--size 2000] [--rounds 3]
//
// fetchmail is not among the packages the build and tests need; install it
// for this benchmark: sudo apt-get install --no-install-recommends fetchmail
//
// Every run is a program of its own started by this one; its peak resident
// memory is what wait4() reports (ru_maxrss). Each run starts with no record
// of earlier runs, so every message is new and retrieved. Target: quor's
// largest peak at most twice fetchmail's largest. Exit status 0 when met,
// 2 when missed, 1 when the benchmark could not run.

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fixtures/dovecot_server.h"
#include "fixtures/test_files.h"

using namespace quor;

namespace {

constexpr char kFetchmail[] = "/usr/bin/fetchmail";

int ArgumentValue(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::max(1, std::atoi(argv[i + 1]));
  }
  return fallback;
}

// A plain text message of about `size` bytes.
std::string SmallMessage(int number, size_t size) {
  std::string message =
      "From: Shop <shop@example.org>\nTo: bench@example.net\n"
      "Date: Mon, 7 Dec 2026 06:00:00 +0000\nMessage-ID: <memory-" +
      std::to_string(number) + "@example.org>\nSubject: Order " + std::to_string(number) +
      " shipped\n\n";
  while (message.size() < size) {
    message += "Your parcel is on its way; the tracking number follows below.\n";
  }
  return message;
}

struct Measured {
  int status = -1;
  double seconds = 0;
  long peak_kb = 0;
};

// Runs program with its output in output_path and returns its exit status,
// wall time and peak resident memory.
Measured MeasureRun(const std::string& program, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment,
                    const std::string& output_path) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(output, STDOUT_FILENO);
    dup2(output, STDERR_FILENO);
    int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  Measured measured;
  int status = 0;
  rusage usage{};
  if (child > 0 && wait4(child, &status, 0, &usage) == child) {
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    measured.peak_kb = usage.ru_maxrss;
  }
  measured.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return measured;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::string UserName() {
  const passwd* entry = getpwuid(getuid());
  return entry ? entry->pw_name : "root";
}

class Client {
 public:
  virtual ~Client() = default;
  virtual const char* name() const = 0;
  // One run with no memory of earlier ones; false (with the reason printed)
  // when it did not retrieve every message.
  virtual bool RunOnce(Measured& measured) = 0;
};

// quor (or its window part) with a fresh profile that names the mailbox.
class QuorClient : public Client {
 public:
  QuorClient(const char* name, std::string program, const DovecotServer& server, int count)
      : name_(name), program_(std::move(program)), server_(server), count_(count) {}
  const char* name() const override { return name_; }
  bool RunOnce(Measured& measured) override {
    TempDir base;
    WriteWholeFile(base.File("quor.INI"),
                   "[Settings]\nMailboxCount=1\nPOPServer0=" + server_.host_text() +
                       "\nPOPUser0=bench\nPOPPassword0=secret\n");
    measured = MeasureRun(
        program_,
        {"--headless", "--once", "--base-dir", base.path(), "--profile", base.File("quor.INI")}, {},
        base.File("output"));
    std::string output = ReadWholeFile(base.File("output"));
    std::string found = "--> " + std::to_string(count_) + " new messages found.";
    if (measured.status != 0 || output.find(found) == std::string::npos ||
        CountOf(output, "--> Retrieving message ") != static_cast<size_t>(count_)) {
      std::fprintf(stderr, "%s did not retrieve every message (status %d):\n%s\n", name_,
                   measured.status, output.substr(0, 2000).c_str());
      return false;
    }
    return true;
  }

 private:
  const char* name_;
  std::string program_;
  const DovecotServer& server_;
  int count_;
};

// fetchmail, keeping the messages on the server and writing them as batched
// SMTP to a file (no delivery program, so no other process's memory counts).
class FetchmailClient : public Client {
 public:
  FetchmailClient(const DovecotServer& server, int count) : server_(server), count_(count) {}
  const char* name() const override { return "fetchmail"; }
  bool RunOnce(Measured& measured) override {
    TempDir home;
    std::string rc = home.File("fetchmailrc");
    WriteWholeFile(rc,
                   "set no syslog\n"
                   "poll 127.0.0.1 with proto POP3 port " +
                       std::to_string(server_.port()) +
                       " and options no dns\n"
                       "  user \"bench\" there with password \"secret\" is \"" +
                       UserName() +
                       "\" here\n  options fetchall keep no rewrite sslproto \"\" bsmtp \"" +
                       home.File("mail.bsmtp") + "\"\n");
    chmod(rc.c_str(), 0600);
    measured =
        MeasureRun(kFetchmail, {"--fetchmailrc", rc, "--idfile", home.File("ids")},
                   {{"FETCHMAILHOME", home.path()}, {"HOME", home.path()}}, home.File("output"));
    std::string mail =
        FileExists(home.File("mail.bsmtp")) ? ReadWholeFile(home.File("mail.bsmtp")) : "";
    if (measured.status != 0 ||
        CountOf(mail, "\nMAIL FROM:") + (mail.rfind("MAIL FROM:", 0) == 0) !=
            static_cast<size_t>(count_)) {
      std::fprintf(stderr, "fetchmail did not retrieve every message (status %d):\n%s\n",
                   measured.status, ReadWholeFile(home.File("output")).substr(0, 2000).c_str());
      return false;
    }
    return true;
  }

 private:
  const DovecotServer& server_;
  int count_;
};

struct Row {
  Client* client;
  long smallest_kb = 0;
  long largest_kb = 0;
  double best_seconds = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int count = ArgumentValue(argc, argv, "--count", 2000);
  const int size = ArgumentValue(argc, argv, "--size", 2000);
  const int rounds = ArgumentValue(argc, argv, "--rounds", 3);
  if (access(kFetchmail, X_OK) != 0) {
    std::fprintf(stderr,
                 "%s is not installed; this benchmark compares against it:\n"
                 "  sudo apt-get install --no-install-recommends fetchmail\n",
                 kFetchmail);
    return 1;
  }

  DovecotServer server;
  server.AddUser("bench", "secret");
  for (int number = 1; number <= count; ++number) {
    server.Deliver("bench", SmallMessage(number, static_cast<size_t>(size)));
  }

  FetchmailClient fetchmail(server, count);
  QuorClient quor("quor", QUOR_BINARY, server, count);
  std::string part =
      std::filesystem::path(std::filesystem::path(QUOR_BINARY).parent_path() / QUOR_WINDOW_PART)
          .lexically_normal();
  QuorClient desktop("quor-desktop", part, server, count);
  std::vector<Row> rows = {{&fetchmail}, {&quor}};
  if (access(part.c_str(), X_OK) == 0) rows.push_back({&desktop});

  // An untimed first run lets Dovecot build its index.
  Measured warm_up;
  if (!quor.RunOnce(warm_up)) return 1;
  for (int round = 0; round < rounds; ++round) {
    for (Row& row : rows) {
      Measured measured;
      if (!row.client->RunOnce(measured)) return 1;
      row.smallest_kb = round == 0 ? measured.peak_kb : std::min(row.smallest_kb, measured.peak_kb);
      row.largest_kb = std::max(row.largest_kb, measured.peak_kb);
      row.best_seconds =
          round == 0 ? measured.seconds : std::min(row.best_seconds, measured.seconds);
    }
  }

  std::printf("%d messages of about %d bytes, %d rounds\n\n", count, size, rounds);
  std::printf("%-14s %16s %16s %10s\n", "program", "peak RSS MiB", "(smallest)", "best s");
  for (const Row& row : rows) {
    std::printf("%-14s %16.1f %16.1f %10.3f\n", row.client->name(), row.largest_kb / 1024.0,
                row.smallest_kb / 1024.0, row.best_seconds);
  }
  const double ratio = static_cast<double>(rows[1].largest_kb) / rows[0].largest_kb;
  const bool met = ratio <= 2.0;
  std::printf("\nquor's peak is %.2f x fetchmail's (target <= 2): %s\n", ratio,
              met ? "met" : "MISSED");
  if (rows.size() > 2) {
    std::printf("with Qt loaded (quor-desktop, headless) it is %.2f x fetchmail's\n",
                static_cast<double>(rows[2].largest_kb) / rows[0].largest_kb);
  }
  return met ? 0 : 2;
}
