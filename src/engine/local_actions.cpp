#include "engine/local_actions.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/action_executor.h"
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

// The path for one attachment with numbering on: the stem followed by the
// first number from `next` on whose file does not exist yet; `next` stops
// there. A file that merely cannot be read (no read right) is taken as well,
// so it is never overwritten. Within one action every number below `next` is
// known to be taken, so many parts of one name cost one search, not one each;
// the number just handed out is looked at again, as a failed write leaves it
// free.
std::string NumberedPath(const std::string& stem, const std::string& directory, int& next,
                         ActionExecutor& executor) {
  for (; next <= kLastFileNumber; ++next) {
    std::string candidate = stem + std::to_string(next);
    if (!executor.PathTaken(candidate)) return candidate;
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
  std::vector<std::string> words =
      ProgramLauncher::SplitCommandLine(command_line, arguments.insertions);
  if (!ExecutorOf(context).StartProgram(words, action.NumberProperty("wait") != 0, context)) {
    // The code is the start call's result, which is 0 for every failure.
    context.log.AddLine("ERROR: Executing program (" + program + ") - Code 0");
    return ActionResult::kFailed;
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
  ActionExecutor& executor = ExecutorOf(context);
  if (count > 1 && !directory.empty()) executor.MakeFolders(directory, 0700);
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
    std::string path = use_numbering
                           ? NumberedPath(stem, directory,
                                          next_numbers.try_emplace(stem, 1).first->second, executor)
                           : stem;
    context.log.AddLine("Saving attachment #" + std::to_string(i) + ": " + path + " (" +
                        std::to_string(attachment->length()) + " bytes)");
    if (!executor.WritePart(context, i, attachment->length(), attachment->data.data(), path)
             .complete) {
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
  std::unique_ptr<OutputFile> file = ExecutorOf(context).OpenOutputFile(outfile, append);
  if (!file) {
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
  size_t length = std::min(output.find('\0'), output.size());
  if (!file->WriteAndClose(std::string_view(output).substr(0, length))) {
    context.log.AddLine("ERROR: writing file " + outfile);
    return ActionResult::kFailed;
  }
  return ActionResult::kDone;
}

ActionResult PlaySoundAction(const AgentAction&, const FieldMap&, ActionContext& context) {
  ExecutorOf(context).PlaySound(context);
  return ActionResult::kDone;
}

}  // namespace quor
