#pragma once
// Tries agents on one message file without any effect: the message is parsed
// as a retrieval would hand it to the parser, offered to the agents by the
// pass's own code (conditions, extraction, substitution, the actions up to
// their effect), and every step is written as lines of a trace: a
// DryActionExecutor stands in for the real effects and a TracePrinter
// reports the decisions. Touches no network, writes no file, starts no
// program. Used by `quor --test-message` and by the agent editor's Test
// button. One thread.

#include <string>
#include <vector>

#include "base/log_sink.h"
#include "config/configuration.h"
#include "config/mail_agent.h"
#include "message/mail_message.h"

namespace quor {

// What a trial needs beside the agents: the settings (outgoing mail,
// DecodeText), the base folder of data/ and relative paths, and the text of
// the "Mailbox" field.
struct TrialSetting {
  Settings settings;
  std::string base_directory;
  std::string mailbox;
};

// Reads one message as stored on disk (LF or CR LF line ends) into `message`
// as a retrieval would. False, with `error` set to a sentence, when the file
// cannot be read. `wire_size` (when given): its size with every line ending
// in CR LF, as a POP3 server announces it.
bool ReadMessageFile(const std::string& path, bool decode_text, MailMessage& message,
                     std::string& error, size_t* wire_size = nullptr);

// Offers `message` to each of `agents`, enabled or not, in order, with one
// context for all as in a pass (message number 1). Writes the trace to
// `out`; returns how many agents matched.
int TryAgents(const std::vector<MailAgent>& agents, const MailMessage& message,
              const TrialSetting& setting, LogSink& out);

// Reads the message file and tries `agents` on it, between a line that says
// what is tried and one with the count of agents that matched; a file that
// cannot be read gives one "ERROR: ..." line. The status of
// --test-message: 0 an agent matched, 1 none did, 2 the file cannot be read.
int TryAgentsOnFile(const std::vector<MailAgent>& agents, const std::string& message_path,
                    const TrialSetting& setting, LogSink& out);

// `quor --test-message FILE [--agent NAME]`: loads the profile and agents
// file as start-up does (no lock, no log file), reads FILE and tries every
// enabled agent, or only the one named `agent_name` (enabled or not), writing
// the trace to `out`. The exit status: 0 when an agent matched, 1 when none
// did, 2 when the file cannot be read or no agent has that name.
int RunMessageTrial(const std::string& profile_path, const std::string& base_directory,
                    const std::string& message_path, const std::string* agent_name, LogSink& out);

}  // namespace quor
