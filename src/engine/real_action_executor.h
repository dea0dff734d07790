#pragma once
// The executor of a pass: the actions' effects for real (SMTP sessions, the
// POP3 DELE, programs through the shared ProgramLauncher, files). Holds no
// state, so one instance serves every pass.

#include "engine/action_executor.h"

namespace quor {

class RealActionExecutor : public ActionExecutor {
 public:
  // The one every context without an executor of its own uses.
  static RealActionExecutor& Shared();

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
};

}  // namespace quor
