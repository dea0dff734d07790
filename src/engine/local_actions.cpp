#include "engine/local_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "base/folders.h"
#include "engine/message_fields.h"
#include "engine/part_file.h"
#include "engine/program_launcher.h"
#include "engine/substitution.h"

namespace quor {

namespace {

constexpr int kLastFileNumber = 65534;
// The editor writes one line%d per line typed; a count beyond this is a broken
// file, and honouring it would fill memory with empty lines.
constexpr int32_t kMaxInlineLines = 100000;

bool Exists(const std::string& path) {
  struct stat status {};
  // lstat: a dangling symbolic link is taken as well, never written through.
  return lstat(path.c_str(), &status) == 0;
}

// The path for one attachment with numbering on: the stem followed by the
// first number from `next` on whose file does not exist yet; `next` stops
// there. A file that merely cannot be read (no read right) is taken as well,
// so it is never overwritten. Within one action every number below `next` is
// known to be taken, so many parts of one name cost one search, not one each;
// the number just handed out is looked at again, as a failed write leaves it
// free.
std::string NumberedPath(const std::string& stem, const std::string& directory, int& next) {
  for (; next <= kLastFileNumber; ++next) {
    std::string candidate = stem + std::to_string(next);
    if (!Exists(candidate)) return candidate;
  }
  return directory;
}

std::string JoinInlineLines(const AgentAction& action) {
  int32_t count = std::min(action.NumberProperty("linecount"), kMaxInlineLines);
  // One pass over the properties instead of one search per line.
  std::unordered_map<std::string_view, std::string_view> lines;
  for (const auto& [name, value] : action.properties()) lines.emplace(name, value);
  std::string joined;
  for (int32_t i = 0; i < count; ++i) {
    if (i > 0) joined.push_back('\n');
    auto found = lines.find("line" + std::to_string(i));
    if (found != lines.end()) joined.append(found->second);
  }
  return joined;
}

}  // namespace

ActionResult RunProgramAction(const AgentAction& action, const FieldMap& fields,
                              ActionContext& context) {
  context.log.AddLine("--> Executing program...");
  const std::string& program = action.Property(action_property::kProgram);
  MarkedText arguments = SubstituteMarked(action.Property("arguments"), fields);
  std::string command_line = program + " " + arguments.text;
  context.log.AddLine(command_line);

  // The line is split by what the agent's author typed: a value a token put
  // in stays inside the argument where the token stands, whatever blanks,
  // quotes or backslashes it holds.
  for (TextRange& range : arguments.insertions) range.offset += program.size() + 1;
  ProgramLauncher& launcher = ProgramLauncher::Shared();
  ProgramLauncher::StartResult started =
      launcher.Start(ProgramLauncher::SplitCommandLine(command_line, arguments.insertions));
  if (started.pid == 0) {
    // The code is the start call's result, which is 0 for every failure.
    context.log.AddLine("ERROR: Executing program (" + program + ") - Code 0");
    return ActionResult::kFailed;
  }
  if (action.NumberProperty("wait") != 0) {
    launcher.WaitForExit(started.pid,
                         std::chrono::milliseconds(std::max(0, context.program_wait_milliseconds)));
  }
  return ActionResult::kDone;
}

ActionResult SaveAttachmentsAction(const AgentAction& action, const FieldMap&,
                                   ActionContext& context) {
  const std::string& basefile = action.Property("basefile");
  const std::string& directory = action.Property(action_property::kDirectory);
  bool use_numbering = action.NumberProperty("usenumbering") != 0;
  bool use_name = action.NumberProperty("usename") != 0;
  context.log.AddLine("--> Saving attachments...");

  int count = context.message ? context.message->AttachmentCount() : 0;
  if (count == 0) {
    context.log.AddLine("No attachments found.");
    return ActionResult::kDone;
  }
  context.log.AddLine("Extracted " + std::to_string(count - 1) + " attachments.");
  // Private like the data folder: the files are other people's mail. A
  // folder that cannot be made shows up as each file's error below.
  if (count > 1 && !directory.empty()) MakeFolders(directory, 0700);
  ActionResult result = ActionResult::kDone;
  // Per stem, the first number not yet known to be taken.
  std::unordered_map<std::string, int> next_numbers;
  for (int i = 1; i < count; ++i) {
    const MailAttachment* attachment = context.message->Attachment(i);
    std::string own_name =
        use_name ? SafePartName(AttachmentName(*attachment, context.settings.decode_text))
                 : std::string();
    const std::string& file_name = own_name.empty() ? basefile : own_name;
    std::string stem = directory + "/" + file_name;
    std::string path = use_numbering ? NumberedPath(stem, directory,
                                                    next_numbers.try_emplace(stem, 1).first->second)
                                     : stem;
    context.log.AddLine("Saving attachment #" + std::to_string(i) + ": " + path + " (" +
                        std::to_string(attachment->length()) + " bytes)");
    if (!WritePartFile(context, i, attachment->length(), attachment->data.data(), path).complete) {
      result = ActionResult::kFailed;
    }
  }
  return result;
}

ActionResult SaveDataAction(const AgentAction& action, const FieldMap& fields,
                            ActionContext& context) {
  context.log.AddLine("--> Saving message data...");
  const std::string& outfile = action.Property(action_property::kOutputFile);
  bool append = action.NumberProperty("append") != 0;
  // Close-on-exec: the descriptor must not leak into programs started
  // meanwhile. No-follow: text from a message must never be appended through
  // a link someone planted under this name (to a shell's start-up file, say).
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (append ? O_APPEND : O_TRUNC);
  int descriptor = open(outfile.c_str(), flags, 0666);
  std::FILE* stream = descriptor < 0 ? nullptr : fdopen(descriptor, append ? "a" : "w");
  if (stream == nullptr) {
    if (descriptor >= 0) close(descriptor);
    context.log.AddLine("ERROR: can't open output file (" + outfile + ")");
    return ActionResult::kFailed;
  }

  std::string output;
  switch (action.NumberProperty(action_property::kSaveMethod)) {
    case 0:
      output = context.body_text;
      break;
    case action_property::kSaveTemplateMethod:
      output = Substitute(
          ReadTextFile(action.Property(action_property::kTemplateFile), context.log), fields);
      break;
    case 2:
      output = Substitute(JoinInlineLines(action), fields);
      break;
    default:
      break;
  }
  // Text mode: this platform's line end is "\n", so bytes go out unchanged.
  size_t length = std::min(output.find('\0'), output.size());
  bool written = std::fwrite(output.data(), 1, length, stream) == length;
  // A full disk must not pass for saved data.
  if (std::fclose(stream) != 0 || !written) {
    context.log.AddLine("ERROR: writing file " + outfile);
    return ActionResult::kFailed;
  }
  return ActionResult::kDone;
}

ActionResult PlaySoundAction(const AgentAction&, const FieldMap&, ActionContext& context) {
  if (context.play_sound) context.play_sound();
  return ActionResult::kDone;
}

}  // namespace quor
