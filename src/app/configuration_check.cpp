#include "app/configuration_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "engine/condition_matcher.h"
#include "engine/message_fields.h"
#include "engine/program_launcher.h"

namespace quor {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Filled in from a message: nothing to look at before one arrives.
bool HasToken(const std::string& text) { return text.find('{') != std::string::npos; }

// What keeps a file from being read, as the end of a sentence; empty when
// nothing does.
std::string FileProblem(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return " does not exist.";
  if (!S_ISREG(status.st_mode)) return " is not a file.";
  if (access(path.c_str(), R_OK) != 0) return " cannot be read.";
  return "";
}

bool SendsMail(ActionType type) {
  return type == ActionType::kSend || type == ActionType::kForward;
}

}  // namespace

std::string CheckProblemLine(const CheckProblem& problem) {
  std::string line = problem.file + ":";
  if (problem.line > 0) line += std::to_string(problem.line) + ":";
  return line + " " + problem.sentence;
}

ConfigurationCheck::ConfigurationCheck(const ConfigurationFiles& files) : files_(files) {}

std::vector<CheckProblem> ConfigurationCheck::Run() {
  problems_.clear();
  settings_source_ = {};
  agents_source_ = {};
  bool agents_understood = true;
  configuration_ = files_.Load(&agents_understood, &settings_source_, &agents_source_);
  CheckProfile();
  CheckAgentsFile(agents_understood);
  // Each file's problems in the order of its lines, as an editor shows them.
  std::stable_sort(problems_.begin(), problems_.end(),
                   [this](const CheckProblem& left, const CheckProblem& right) {
                     bool left_profile = left.file == files_.profile_path();
                     bool right_profile = right.file == files_.profile_path();
                     if (left_profile != right_profile) return left_profile;
                     return left.line < right.line;
                   });
  return problems_;
}

void ConfigurationCheck::Profile(int line, std::string sentence) {
  problems_.push_back({files_.profile_path(), line, std::move(sentence)});
}

void ConfigurationCheck::Agents(int line, std::string sentence) {
  problems_.push_back({files_.agents_path(), line, std::move(sentence)});
}

void ConfigurationCheck::CheckProfile() {
  struct stat status;
  profile_present_ = stat(files_.profile_path().c_str(), &status) == 0;
  if (!profile_present_) {
    Profile(0, errno == ENOENT ? "the profile does not exist, so no mailbox is configured."
                               : "the profile cannot be read.");
    return;
  }
  if (access(files_.profile_path().c_str(), R_OK) != 0) {
    Profile(0, "the profile cannot be read.");
    return;
  }
  if ((status.st_mode & 077) != 0) {
    Profile(0, "other users have access to the profile (mode " + Octal(status.st_mode) +
                   "), which holds the passwords; chmod 600 makes it private.");
  }
  const std::string& authorities = configuration_.settings.certificate_authority_file;
  const KeyPlace& authorities_key = settings_source_.certificate_authority_file;
  if (!authorities.empty()) {
    std::string problem = FileProblem(authorities);
    if (!problem.empty()) {
      Profile(authorities_key.line,
              authorities_key.key + ": the certificate file " + Quoted(authorities) + problem);
    }
  }
  CheckMailboxes();
}

void ConfigurationCheck::CheckMailboxes() {
  const CountPlace& count = settings_source_.mailboxes;
  CheckCount(files_.profile_path(), count, "", {"mailbox", "mailboxes"});
  if (configuration_.mailboxes.empty()) {
    Profile(count.key.line, "no mailbox is configured.");
    return;
  }
  for (size_t index = 0; index < configuration_.mailboxes.size(); ++index) {
    // The empty mailboxes a count above the keys makes are reported with it.
    if (static_cast<int64_t>(index) >= count.present) break;
    const MailboxAccount& mailbox = configuration_.mailboxes[index];
    const MailboxSource& source = settings_source_.mailbox_places[index];
    if (mailbox.server.empty()) {
      Profile(source.server.line, source.server.key + " is empty: the mailbox has no server.");
    }
    if (mailbox.user.empty()) {
      Profile(source.user.line, source.user.key + " is empty: the mailbox has no user name.");
    }
  }
}

void ConfigurationCheck::CheckCount(const std::string& file, const CountPlace& count,
                                    const std::string& owner, const RecordNames& records) {
  if (count.read == count.present) return;
  std::string sentence =
      owner + count.key.key + " is " + std::to_string(count.stored) + " but " +
      std::to_string(count.present) + " " +
      (count.present == 1 ? std::string(records.one) + " is" : std::string(records.many) + " are") +
      " written; ";
  sentence += count.read > count.present ? "the others are read as empty ones."
                                         : "those past the count are not read.";
  problems_.push_back({file, count.key.line, std::move(sentence)});
}

void ConfigurationCheck::CheckAgentsFile(bool understood) {
  const std::string& path = files_.agents_path();
  if (!understood) {
    Agents(0, access(path.c_str(), R_OK) != 0
                  ? "the agents file cannot be read, so no agent runs."
                  : "the agents file has no AgentCount under [Agents], so no agent runs.");
    return;
  }
  CheckCount(path, agents_source_.agents, "", {"agent section", "agent sections"});
  for (size_t index = 0; index < configuration_.agents.size(); ++index) {
    // Placeholder agents past the sections written are reported with the count.
    if (static_cast<int64_t>(index) >= agents_source_.agents.present) break;
    CheckAgent(index);
  }
}

std::string ConfigurationCheck::AgentLabel(const MailAgent& agent,
                                           const AgentSource& source) const {
  return "agent " + (agent.name.empty() ? "[" + source.section.key + "]" : Quoted(agent.name)) +
         ": ";
}

void ConfigurationCheck::CheckAgent(size_t index) {
  const MailAgent& agent = configuration_.agents[index];
  const AgentSource& source = agents_source_.agent_places[index];
  std::string label = AgentLabel(agent, source);
  if (source.section.line == 0) {
    Agents(0, "[" + source.section.key + "] is missing; an empty agent is read in its place.");
    return;
  }
  for (size_t earlier = 0; earlier < index; ++earlier) {
    if (!agent.name.empty() && configuration_.agents[earlier].name == agent.name) {
      const KeyPlace& first = agents_source_.agent_places[earlier].name;
      Agents(source.name.line, label + "two agents have this name; the other is at line " +
                                   std::to_string(first.line) + ".");
      break;
    }
  }
  CheckCount(files_.agents_path(), source.conditions, label, {"condition", "conditions"});
  CheckCount(files_.agents_path(), source.extractions, label,
             {"extraction rule", "extraction rules"});
  CheckCount(files_.agents_path(), source.actions, label, {"action", "actions"});
  CheckConditions(agent, source);
  CheckExtractions(agent, source);
  for (size_t j = 0; j < agent.actions.size() && j < source.action_places.size(); ++j) {
    if (static_cast<int64_t>(j) >= source.actions.present) break;
    CheckCount(files_.agents_path(), source.action_places[j].properties, label,
               {"property", "properties"});
    CheckAction(label, agent.actions[j], source.action_places[j]);
  }
}

void ConfigurationCheck::CheckConditions(const MailAgent& agent, const AgentSource& source) {
  std::string label = AgentLabel(agent, source);
  for (size_t j = 0; j < agent.conditions.size(); ++j) {
    if (static_cast<int64_t>(j) >= source.conditions.present) break;
    const AgentCondition& condition = agent.conditions[j];
    const ConditionSource& place = source.condition_places[j];
    if (!IsConditionField(condition.field)) {
      Agents(place.field.line,
             label + place.field.key + " names an unknown field, " + Quoted(condition.field) + ".");
    }
    if (!IsConditionOperator(condition.operator_name)) {
      Agents(place.operator_name.line,
             label + place.operator_name.key + " names an unknown operator, " +
                 Quoted(condition.operator_name) + "; the comparison is always false.");
    }
    // The first condition's join is never used.
    if (j > 0 && !IsKnownJoin(condition.join)) {
      Agents(place.join.line, label + place.join.key + " is " +
                                  std::to_string(static_cast<int32_t>(condition.join)) +
                                  ", an unknown join (0 is AND, 1 is OR).");
    }
  }
}

void ConfigurationCheck::CheckExtractions(const MailAgent& agent, const AgentSource& source) {
  std::string label = AgentLabel(agent, source);
  for (size_t j = 0; j < agent.extractions.size(); ++j) {
    if (static_cast<int64_t>(j) >= source.extractions.present) break;
    const AgentExtraction& extraction = agent.extractions[j];
    const ExtractionSource& place = source.extraction_places[j];
    for (auto [kind, key] : {std::pair{extraction.start_kind, &place.start_kind},
                             std::pair{extraction.end_kind, &place.end_kind}}) {
      if (!IsKnownMarkerKind(kind)) {
        Agents(key->line, label + key->key + " is " + std::to_string(static_cast<int32_t>(kind)) +
                              ", an unknown marker kind.");
      }
    }
  }
}

int ConfigurationCheck::PropertyLine(const ActionSource& source, const std::string& property) {
  const KeyPlace* place = source.PropertyValue(property);
  return place != nullptr && place->line > 0 ? place->line : source.type.line;
}

void ConfigurationCheck::CheckAction(const std::string& label, const AgentAction& action,
                                     const ActionSource& source) {
  namespace property = action_property;
  std::string type_name = ActionTypeName(action.type);
  if (type_name.empty()) {
    Agents(source.type.line, label + source.type.key + " is " +
                                 std::to_string(static_cast<int32_t>(action.type)) +
                                 ", an unknown action type; the action does nothing.");
    return;
  }
  std::string is_type = label + source.type.key + " is " + type_name + ", but ";
  auto require = [&](const char* name) {
    if (!action.Property(name).empty()) return true;
    Agents(PropertyLine(source, name), is_type + "its " + name + " is empty.");
    return false;
  };
  switch (action.type) {
    case ActionType::kSend:
      require(property::kMailTo);
      CheckFile(label, action, source, property::kTemplate, "template file");
      for (int32_t i = 0; i < action.NumberProperty(property::kAttachCount); ++i) {
        std::string name = property::kAttachPrefix + std::to_string(i);
        // Only the entries written: a damaged count costs nothing.
        if (source.PropertyValue(name) == nullptr) continue;
        CheckFile(label, action, source, name, "attachment");
      }
      break;
    case ActionType::kForward:
      require(property::kMailTo);
      break;
    case ActionType::kRunProgram:
      if (require(property::kProgram)) CheckProgram(label, action, source);
      break;
    case ActionType::kSaveAttachments:
      require(property::kDirectory);
      break;
    case ActionType::kSaveData:
      require(property::kOutputFile);
      if (action.NumberProperty(property::kSaveMethod) == property::kSaveTemplateMethod &&
          require(property::kTemplateFile)) {
        CheckFile(label, action, source, property::kTemplateFile, "template file");
      }
      break;
    case ActionType::kDelete:
    case ActionType::kSound:
      break;
  }
  // Without a profile its one line says it all.
  if (SendsMail(action.type) && profile_present_) {
    const Settings& settings = configuration_.settings;
    for (auto [value, key] :
         {std::pair{&settings.smtp_server, &settings_source_.smtp_server},
          std::pair{&settings.email_address, &settings_source_.email_address}}) {
      if (value->empty())
        Agents(source.type.line, is_type + key->key + " is empty in the profile.");
    }
  }
}

void ConfigurationCheck::CheckFile(const std::string& label, const AgentAction& action,
                                   const ActionSource& source, const std::string& property,
                                   const std::string& what) {
  const std::string& path = action.Property(property);
  if (path.empty() || HasToken(path)) return;
  std::string problem = FileProblem(path);
  if (problem.empty()) return;
  const KeyPlace* place = source.PropertyValue(property);
  Agents(PropertyLine(source, property),
         label + (place ? place->key + ": " : "") + "the " + what + " " + Quoted(path) + problem);
}

void ConfigurationCheck::CheckProgram(const std::string& label, const AgentAction& action,
                                      const ActionSource& source) {
  const std::string& program = action.Property(action_property::kProgram);
  // The first word is the program, as the action splits its command line.
  std::vector<std::string> words = ProgramLauncher::SplitCommandLine(program);
  std::string word = words.empty() ? std::string() : words.front();
  int error = ProgramLauncher::CheckProgram(word);
  if (error == 0) return;
  const KeyPlace* place = source.PropertyValue(action_property::kProgram);
  std::string where = label + (place ? place->key + ": " : "") + "the program " + Quoted(word);
  bool searched = word.find('/') == std::string::npos;
  std::string sentence = error == ENOENT
                             ? (searched ? " is not found on the PATH." : " does not exist.")
                             : " is not an executable file.";
  Agents(PropertyLine(source, action_property::kProgram), where + sentence);
}

}  // namespace quor
