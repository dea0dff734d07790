#include "engine/dry_action_executor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "base/byte_output.h"
#include "base/log_line.h"
#include "engine/mail_delivery.h"
#include "engine/program_launcher.h"
#include "message/message_composer.h"
#include "net/host_lookup.h"
#include "net/smtp_client.h"

namespace quor {

namespace {

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Each line of `text` (LF or CR LF) to `add`.
template <typename Add>
void ForEachLine(std::string_view text, Add add) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    add(line);
    start = end + 1;
  }
}

// A mail that is composed and shown, never sent.
class DryMailSession : public MailSession {
 public:
  explicit DryMailSession(DryActionExecutor& executor) : executor_(executor) {}

  int Deliver(const OutgoingMessage& message) override {
    MailEnvelope envelope;
    if (MakeEnvelope(message, envelope) < 0) {
      executor_.Report(
          "would send nothing: the sender or the recipient list is empty, or an address holds a "
          "line break");
      return -1;
    }
    executor_.Report("would send: MAIL FROM:<" + LogLineText(envelope.sender) + ">");
    for (const std::string& recipient : envelope.recipients) {
      executor_.Report("would send: RCPT TO:<" + LogLineText(recipient) + ">");
    }
    // The header block a pass would send, made by the same composer; only
    // the date and the message id are of this moment.
    std::string headers;
    StringOutput output(headers);
    MessageComposer composer(output);
    composer.SendHeaderBlock(message, std::time(nullptr), NewMessageId(LocalHostName()));
    if (message.attachments.empty()) composer.SendSinglePartBody(message.body);
    size_t header_end = headers.find("\r\n\r\n");
    std::string_view block(headers);
    if (header_end != std::string::npos) block = block.substr(0, header_end);
    ForEachLine(
        block, [this](std::string_view line) { executor_.Report("header: " + LogLineText(line)); });
    if (!message.attachments.empty()) {
      executor_.Report("header: Content-Type: multipart/mixed (one part per attachment)");
    }
    size_t lines = 0;
    ForEachLine(message.body, [&](std::string_view line) {
      if (++lines <= DryActionExecutor::kShownBodyLines) {
        executor_.Report("body: " + LogLineText(line));
      }
    });
    if (lines > DryActionExecutor::kShownBodyLines) {
      executor_.Report("body: (" + std::to_string(lines - DryActionExecutor::kShownBodyLines) +
                       " more lines)");
    }
    for (const std::string& path : message.attachments) {
      long long size = executor_.FileSize(path);
      executor_.Report("attachment: " + LogLineText(path) + " (" +
                       (size < 0 ? std::string("unreadable") : std::to_string(size) + " bytes") +
                       ", " + AttachmentContentType(path) + ")");
    }
    return 1;
  }
  std::string LastReply() const override { return {}; }

 private:
  DryActionExecutor& executor_;
};

class DryOutputFile : public OutputFile {
 public:
  DryOutputFile(DryActionExecutor& executor, std::string path, bool append)
      : executor_(executor), path_(std::move(path)), append_(append) {}

  bool WriteAndClose(std::string_view bytes) override {
    long long before = append_ ? std::max(0LL, executor_.FileSize(path_)) : 0;
    size_t after = static_cast<size_t>(before) + bytes.size();
    if (append_) {
      executor_.Report("would append " + std::to_string(bytes.size()) + " bytes to " +
                       LogLineText(path_) + " (" + std::to_string(after) + " bytes then)");
    } else {
      executor_.Report("would write " + LogLineText(path_) + " (" + std::to_string(after) +
                       " bytes)");
    }
    executor_.RecordFile(path_, after);
    return true;
  }

 private:
  DryActionExecutor& executor_;
  std::string path_;
  bool append_;
};

}  // namespace

long long DryActionExecutor::FileSize(const std::string& path) const {
  auto known = files_.find(path);
  if (known != files_.end()) return static_cast<long long>(known->second);
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return -1;
  return static_cast<long long>(status.st_size);
}

std::unique_ptr<MailSession> DryActionExecutor::OpenMailSession(ActionContext& context) {
  Report("would connect to the SMTP server " + LogLineText(context.settings.smtp_server));
  return std::make_unique<DryMailSession>(*this);
}

bool DryActionExecutor::DeleteMessage(ActionContext& context) {
  Report("would delete message " + std::to_string(context.message_number) + " on the server");
  return true;
}

bool DryActionExecutor::StartProgram(const std::vector<std::string>& words, bool wait,
                                     ActionContext& context) {
  Report("would start a program with " + std::to_string(words.size()) + " words:");
  for (size_t i = 0; i < words.size(); ++i) {
    // The system passes each word up to its first zero byte.
    std::string_view word(words[i]);
    Report("argv[" + std::to_string(i) + "]: " + LogLineText(word.substr(0, word.find('\0'))));
  }
  const int error = words.empty() ? ENOENT : ProgramLauncher::CheckProgram(words[0]);
  if (error != 0) {
    Report(std::string("the program cannot be started: ") +
           (error == ENOENT ? "not found" : "not an executable file"));
    return false;
  }
  if (wait) {
    Report("would wait for it to end, at most " +
           std::to_string(context.program_wait_milliseconds / 1000) + " seconds");
  }
  return true;
}

void DryActionExecutor::MakeFolders(const std::string& directory, unsigned /*mode*/) {
  struct stat status {};
  if (stat(directory.c_str(), &status) != 0) {
    Report("would create the folder " + LogLineText(directory));
  }
}

bool DryActionExecutor::PathTaken(const std::string& path) {
  struct stat status {};
  return files_.count(path) != 0 || lstat(path.c_str(), &status) == 0;
}

bool DryActionExecutor::AttachmentExists(const std::string& path) {
  return files_.count(path) != 0 || quor::AttachmentExists(path);
}

WrittenPart DryActionExecutor::WritePart(ActionContext& context, int index, size_t length,
                                         const char* /*bytes*/, const std::string& name) {
  const std::string path = PartFilePath(context.base_directory, index, name);
  Report("would write " + LogLineText(path) + " (" + std::to_string(length) + " bytes)");
  RecordFile(path, length);
  return {path, true};
}

bool DryActionExecutor::IsFileOfLength(const std::string& path, size_t length) {
  auto known = files_.find(path);
  return known != files_.end() && known->second == length;
}

std::unique_ptr<OutputFile> DryActionExecutor::OpenOutputFile(const std::string& path,
                                                              bool append) {
  // What makes the real open fail, as far as it can be seen without opening.
  struct stat status {};
  bool exists = lstat(path.c_str(), &status) == 0;
  bool refused = exists ? S_ISLNK(status.st_mode) || access(path.c_str(), W_OK) != 0
                        : access(ParentFolder(path).c_str(), W_OK) != 0;
  if (refused && files_.count(path) == 0) {
    Report("the file " + LogLineText(path) + " cannot be opened for writing");
    return nullptr;
  }
  return std::make_unique<DryOutputFile>(*this, path, append);
}

void DryActionExecutor::PlaySound(ActionContext& /*context*/) { Report("would play a sound"); }

}  // namespace quor
