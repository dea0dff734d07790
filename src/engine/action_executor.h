#pragma once
// Where the actions' effects happen. Every action computes what it will do
// (the message and its envelope, the program's argument vector, the file
// paths with their numbering, the bytes to write) in shared code, then asks
// its executor for the effect itself. The real executor sends, deletes,
// writes and starts; the dry one (DryActionExecutor) only reports what it was
// asked to do, so a trial run shows exactly what a pass would do.
//
// One executor per agent run (or pass); called on the processing thread.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/action_context.h"
#include "engine/part_file.h"
#include "message/outgoing_message.h"

namespace quor {

// One SMTP session of a send or forward, open until destroyed.
class MailSession {
 public:
  virtual ~MailSession() = default;
  // DeliverMessage's result for `message`: 1 sent, 0 refused (LastReply), negative on error.
  virtual int Deliver(const OutgoingMessage& message) = 0;
  virtual std::string LastReply() const = 0;
};

// The output file of Save Message Data, open until written.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  // Writes every byte and closes; false when they did not all get there.
  virtual bool WriteAndClose(std::string_view bytes) = 0;
};

class ActionExecutor {
 public:
  virtual ~ActionExecutor() = default;

  // A session to the SMTP server of context.settings, secured and logged in
  // as they say; null after logging why when there is none.
  virtual std::unique_ptr<MailSession> OpenMailSession(ActionContext& context) = 0;
  // DELE of context.message_number; false after logging why it failed.
  virtual bool DeleteMessage(ActionContext& context) = 0;
  // Starts words[0] with the rest as its arguments, waiting for its end
  // (at most context.program_wait_milliseconds) when `wait`; false when it
  // could not be started.
  virtual bool StartProgram(const std::vector<std::string>& words, bool wait,
                            ActionContext& context) = 0;
  // Creates the folder and its missing parents.
  virtual void MakeFolders(const std::string& directory, unsigned mode) = 0;
  // True when something is at the path (a dangling link too), so a new file
  // must not take it.
  virtual bool PathTaken(const std::string& path) = 0;
  // True when a file the user named as an attachment is there to be sent.
  virtual bool AttachmentExists(const std::string& path) = 0;
  // Writes one part of the message as WritePartFile does.
  virtual WrittenPart WritePart(ActionContext& context, int index, size_t length, const char* bytes,
                                const std::string& name) = 0;
  // True when `path` is a regular file of exactly `length` bytes.
  virtual bool IsFileOfLength(const std::string& path, size_t length) = 0;
  // Opens a Save Data output file (appending or replacing); null when it
  // cannot be opened (a link at the path is never followed).
  virtual std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, bool append) = 0;
  // The front end's alert.
  virtual void PlaySound(ActionContext& context) = 0;
};

// The executor of the context: context.executor, or the real one.
ActionExecutor& ExecutorOf(ActionContext& context);

}  // namespace quor
