#include "engine/real_action_executor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "base/folders.h"
#include "engine/mail_delivery.h"
#include "engine/program_launcher.h"
#include "net/pop_client.h"
#include "net/smtp_client.h"
#include "net/tls_error.h"

namespace quor {

namespace {

class SmtpMailSession : public MailSession {
 public:
  explicit SmtpMailSession(std::unique_ptr<SmtpClient> client) : client_(std::move(client)) {}
  int Deliver(const OutgoingMessage& message) override { return DeliverMessage(*client_, message); }
  std::string LastReply() const override { return client_->LastReply(); }

 private:
  std::unique_ptr<SmtpClient> client_;
};

class StdioOutputFile : public OutputFile {
 public:
  explicit StdioOutputFile(std::FILE* stream) : stream_(stream) {}
  ~StdioOutputFile() override {
    if (stream_ != nullptr) std::fclose(stream_);
  }
  bool WriteAndClose(std::string_view bytes) override {
    // Text mode: this platform's line end is "\n", so bytes go out unchanged.
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream_) == bytes.size();
    // A full disk must not pass for saved data.
    bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return written && closed;
  }

 private:
  std::FILE* stream_;
};

}  // namespace

ActionExecutor& ExecutorOf(ActionContext& context) {
  return context.executor != nullptr ? *context.executor : RealActionExecutor::Shared();
}

RealActionExecutor& RealActionExecutor::Shared() {
  static RealActionExecutor shared;
  return shared;
}

std::unique_ptr<MailSession> RealActionExecutor::OpenMailSession(ActionContext& context) {
  auto client = std::make_unique<SmtpClient>(&context.log, context.smtp_reply_wait_seconds);
  const Settings& settings = context.settings;
  int result = client->Connect(settings.smtp_server, settings.smtp_security,
                               {settings.certificate_authority_file},
                               {settings.smtp_user_name, settings.smtp_password});
  if (result > 0) return std::make_unique<SmtpMailSession>(std::move(client));
  if (client->tls_error()) {
    context.log.AddLine(TlsErrorLine(client->tls_error()));
  } else if (!client->login_failure().empty()) {
    context.log.AddLine("ERROR - SMTP login failed: " + client->login_failure());
  } else if (result < 0) {
    context.log.AddLine("ERROR - Failed to connect to SMTP server.");
  } else {
    context.log.AddLine(client->LastReply());
  }
  return nullptr;
}

bool RealActionExecutor::DeleteMessage(ActionContext& context) {
  if (!context.pop) {
    // No open session: nothing can be deleted, which reads as a failed request.
    context.log.AddLine("ERROR - General network error.");
    return false;
  }
  int result = context.pop->DeleteMessage(context.message_number);
  if (result < 0) {
    context.log.AddLine("ERROR - General network error.");
  } else if (result == 0) {
    context.log.AddLine(context.pop->LastReply());
  }
  return result > 0;
}

bool RealActionExecutor::StartProgram(const std::vector<std::string>& words, bool wait,
                                      ActionContext& context) {
  ProgramLauncher& launcher = ProgramLauncher::Shared();
  ProgramLauncher::StartResult started = launcher.Start(words);
  if (started.pid == 0) return false;
  if (wait) {
    launcher.WaitForExit(started.pid,
                         std::chrono::milliseconds(std::max(0, context.program_wait_milliseconds)));
  }
  return true;
}

void RealActionExecutor::MakeFolders(const std::string& directory, unsigned mode) {
  quor::MakeFolders(directory, static_cast<mode_t>(mode));
}

bool RealActionExecutor::PathTaken(const std::string& path) {
  struct stat status {};
  // lstat: a dangling symbolic link is taken as well, never written through.
  return lstat(path.c_str(), &status) == 0;
}

bool RealActionExecutor::AttachmentExists(const std::string& path) {
  return quor::AttachmentExists(path);
}

WrittenPart RealActionExecutor::WritePart(ActionContext& context, int index, size_t length,
                                          const char* bytes, const std::string& name) {
  return WritePartFile(context, index, length, bytes, name);
}

bool RealActionExecutor::IsFileOfLength(const std::string& path, size_t length) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         static_cast<size_t>(status.st_size) == length;
}

std::unique_ptr<OutputFile> RealActionExecutor::OpenOutputFile(const std::string& path,
                                                               bool append) {
  // Close-on-exec: the descriptor must not leak into programs started
  // meanwhile. No-follow: text from a message must never be appended through
  // a link someone planted under this name (to a shell's start-up file, say).
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (append ? O_APPEND : O_TRUNC);
  int descriptor = open(path.c_str(), flags, 0666);
  std::FILE* stream = descriptor < 0 ? nullptr : fdopen(descriptor, append ? "a" : "w");
  if (stream == nullptr) {
    if (descriptor >= 0) close(descriptor);
    return nullptr;
  }
  return std::make_unique<StdioOutputFile>(stream);
}

void RealActionExecutor::PlaySound(ActionContext& context) {
  if (context.play_sound) context.play_sound();
}

}  // namespace quor
