#pragma once
// The executor of a trial run: every effect an action asks for is reported as
// a line to the borrowed trace sink ("would delete", the envelope and header
// block of a mail, a program's argument vector, each file with its path and
// byte count) and none takes place. It touches no network, writes no file and
// starts no program; it only looks at the file system, as the real actions
// do before they act (numbering, attachment sizes, whether a program can be
// found).
//
// The files it would have written count as present for the rest of the run,
// so numbering, the forward's part checks and later attachments come out as
// in a pass. One run, one thread.

#include <map>
#include <string>

#include "base/log_sink.h"
#include "engine/action_executor.h"

namespace quor {

class DryActionExecutor : public ActionExecutor {
 public:
  // Body lines of a mail shown before the rest is summed up.
  static constexpr size_t kShownBodyLines = 5;

  // trace: borrowed; must outlive the executor.
  explicit DryActionExecutor(LogSink& trace) : trace_(trace) {}

  std::unique_ptr<MailSession> OpenMailSession(ActionContext& context) override;
  bool DeleteMessage(ActionContext& context) override;
  bool StartProgram(const std::vector<std::string>& words, bool wait,
                    ActionContext& context) override;
  void MakeFolders(const std::string& directory, unsigned mode) override;
  bool PathTaken(const std::string& path) override;
  bool AttachmentExists(const std::string& path) override;
  WrittenPart WritePart(ActionContext& context, int index, size_t length, const char* bytes,
                        const std::string& name) override;
  bool IsFileOfLength(const std::string& path, size_t length) override;
  std::unique_ptr<OutputFile> OpenOutputFile(const std::string& path, bool append) override;
  void PlaySound(ActionContext& context) override;

  // A file this run would have written (its size then), for the mail
  // sessions' attachment sizes.
  void RecordFile(const std::string& path, size_t size) { files_[path] = size; }
  // The size a file has or would have after this run so far; -1 when none.
  long long FileSize(const std::string& path) const;
  void Report(const std::string& text) { trace_.AddLine("    " + text); }

 private:
  LogSink& trace_;
  std::map<std::string, size_t> files_;
};

}  // namespace quor
