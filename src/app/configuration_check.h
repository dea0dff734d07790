#pragma once
// `quor --check`: reads the profile and the agents file the way start-up does
// (ConfigurationFiles, the same paths) and finds what would go wrong or pass
// in silence: names the engine does not know, actions without what they
// need, programs and files that are not there, counts that disagree with the
// records written, mailboxes without server or user, mail actions without
// an SMTP server or sender address, a profile others can read, two agents of
// one name. Reads only: nothing is written and no lock is taken.
//
// Each problem names its file and, where the file has one, the line of the
// key it is about. Paths holding a {token} are filled in from a message and
// are not looked at; relative paths count from the current folder, as the
// actions see them.
//
// One object per check; one thread.

#include <string>
#include <vector>

#include "config/configuration.h"
#include "config/configuration_files.h"
#include "config/configuration_source.h"

namespace quor {

struct CheckProblem {
  std::string file;
  int line = 0;  // from 1; 0 when the problem has no line of its own
  std::string sentence;

  bool operator==(const CheckProblem&) const = default;
};

// "<file>:<line>: <sentence>", or "<file>: <sentence>" without a line.
std::string CheckProblemLine(const CheckProblem& problem);

class ConfigurationCheck {
 public:
  explicit ConfigurationCheck(const ConfigurationFiles& files);

  // Reads both files and returns every problem found, those of the profile
  // first, each file's in the order of its lines.
  std::vector<CheckProblem> Run();

  // The configuration as Run read it, for the connection check.
  const Configuration& configuration() const { return configuration_; }

 private:
  void CheckProfile();
  void CheckMailboxes();
  void CheckAgentsFile(bool understood);
  void CheckAgent(size_t index);
  void CheckConditions(const MailAgent& agent, const AgentSource& source);
  void CheckExtractions(const MailAgent& agent, const AgentSource& source);
  // label: the agent's part of each sentence (AgentLabel).
  void CheckAction(const std::string& label, const AgentAction& action, const ActionSource& source);
  struct RecordNames {
    const char* one;   // "condition"
    const char* many;  // "conditions"
  };
  // A count against the records present; owner: the agent's label or empty.
  void CheckCount(const std::string& file, const CountPlace& count, const std::string& owner,
                  const RecordNames& records);
  // A file named by a property: must be a regular file (unless a token
  // fills it in from the message).
  void CheckFile(const std::string& label, const AgentAction& action, const ActionSource& source,
                 const std::string& property, const std::string& what);
  // The program must be found and executable, as a start would need it.
  void CheckProgram(const std::string& label, const AgentAction& action,
                    const ActionSource& source);

  void Profile(int line, std::string sentence);
  void Agents(int line, std::string sentence);
  // "agent "<name>": " (its section when it has no name).
  std::string AgentLabel(const MailAgent& agent, const AgentSource& source) const;
  // The line of a property's value, else the action's type line.
  static int PropertyLine(const ActionSource& source, const std::string& property);

  const ConfigurationFiles& files_;
  Configuration configuration_;
  SettingsSource settings_source_;
  AgentsSource agents_source_;
  std::vector<CheckProblem> problems_;
  bool profile_present_ = false;
};

}  // namespace quor
