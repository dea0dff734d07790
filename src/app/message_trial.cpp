#include "app/message_trial.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "config/configuration_files.h"
#include "engine/action_context.h"
#include "engine/agent_run.h"
#include "engine/dry_action_executor.h"
#include "engine/message_fields.h"
#include "engine/trace_printer.h"
#include "message/message_parser.h"

namespace quor {

namespace {

// The size of the pieces in which a retrieval hands over a long line.
constexpr size_t kPieceSize = 512;

}  // namespace

bool ReadMessageFile(const std::string& path, bool decode_text, MailMessage& message,
                     std::string& error, size_t* wire_size) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    error = "cannot read " + path;
    return false;
  }
  if (wire_size) {
    *wire_size = bytes.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ++*wire_size;
    }
  }
  MessageParser parser(message);
  parser.set_decode_text(decode_text);
  parser.BeginMessage(bytes.size());
  // As a retrieval delivers them: each line ends in a single '\n', and a
  // long line comes in pieces.
  std::string line;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    bool complete = end != std::string::npos;
    if (!complete) end = bytes.size();
    line.assign(bytes, start, end - start);
    if (complete && !line.empty() && line.back() == '\r') line.pop_back();
    if (complete) line.push_back('\n');
    for (size_t piece = 0; piece < line.size(); piece += kPieceSize) {
      parser.AddMessageLine(line.data() + piece, std::min(kPieceSize, line.size() - piece));
    }
    start = end + 1;
  }
  parser.EndMessage();
  return true;
}

int TryAgents(const std::vector<MailAgent>& agents, const MailMessage& message,
              const TrialSetting& setting, LogSink& out) {
  TracePrinter printer(out);
  DryActionExecutor executor(out);
  ActionContext context{.log = printer.log_echo(),
                        .settings = setting.settings,
                        .base_directory = setting.base_directory,
                        .message_number = 1,
                        .message = &message,
                        .mailbox = setting.mailbox,
                        .executor = &executor,
                        .trace = &printer};
  const MessageTexts texts(message, setting.settings.decode_text);
  int matched = 0;
  for (const MailAgent& agent : agents) {
    if (OfferToAgent(agent, texts, context)) ++matched;
  }
  return matched;
}

int RunMessageTrial(const std::string& profile_path, const std::string& base_directory,
                    const std::string& message_path, const std::string* agent_name, LogSink& out) {
  const ConfigurationFiles files(profile_path, base_directory);
  const Configuration configuration = files.Load();
  std::vector<MailAgent> agents;
  for (const MailAgent& agent : configuration.agents) {
    if (agent_name ? agent.name == *agent_name : agent.enabled) agents.push_back(agent);
  }
  if (agent_name && agents.empty()) {
    out.AddLine("No agent is named \"" + *agent_name + "\" in " + files.agents_path() + ".");
    return 2;
  }
  TrialSetting setting{configuration.settings, base_directory, std::string()};
  // The message is taken to have arrived in the first mailbox.
  if (!configuration.mailboxes.empty()) setting.mailbox = configuration.mailboxes.front().Label();

  return TryAgentsOnFile(agents, message_path, setting, out);
}

int TryAgentsOnFile(const std::vector<MailAgent>& agents, const std::string& message_path,
                    const TrialSetting& setting, LogSink& out) {
  MailMessage message;
  std::string error;
  size_t wire_size = 0;
  if (!ReadMessageFile(message_path, setting.settings.decode_text, message, error, &wire_size)) {
    out.AddLine("ERROR: " + error);
    return 2;
  }
  const std::string mailbox = setting.mailbox.empty() ? "no mailbox (the Mailbox field is empty)"
                                                      : "mailbox " + setting.mailbox;
  out.AddLine("Trying " + std::to_string(agents.size()) +
              (agents.size() == 1 ? " agent on " : " agents on ") + message_path +
              " as message 1 of " + mailbox + "; nothing is sent, written, deleted or started.");
  const long long limit = static_cast<long long>(setting.settings.size_limit_kilobytes) * 1000;
  if (limit > 0 && static_cast<long long>(wire_size) > limit) {
    // The pass looks at the size before any agent does.
    out.AddLine("Note: the message has " + std::to_string(wire_size) +
                " bytes on the wire, more than the size limit of " +
                std::to_string(setting.settings.size_limit_kilobytes) +
                " kilobytes: a pass logs \"Warning: Message is larger than maximum allowed "
                "size!\" and offers it to no agent.");
  }
  int matched = TryAgents(agents, message, setting, out);
  out.AddLine(std::to_string(matched) + " of " + std::to_string(agents.size()) +
              " agents matched.");
  return matched > 0 ? 0 : 1;
}

}  // namespace quor
