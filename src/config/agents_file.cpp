#include "config/agents_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

#include "config/file_content.h"
#include "config/profile_file.h"
#include "config/record_bound.h"

namespace quor {

namespace {

constexpr char kAgentsSection[] = "Agents";

std::string Indexed(const std::string& prefix, size_t index, const char* suffix = "") {
  return prefix + std::to_string(index) + suffix;
}

// Reads one agent section, applying the full-stop rule to every value.
class AgentSectionReader {
 public:
  AgentSectionReader(const ProfileFile& profile, std::string section)
      : profile_(profile), section_(std::move(section)), keys_(profile.Keys(section_)) {
    // One pass over the keys for the properties of every action, so that a
    // section with many actions and many keys is not scanned once per action.
    for (const auto& key : keys_) {
      std::string_view after_action;
      std::string_view after_property;
      int64_t action = IndexAfterPrefix(key, "Action", after_action);
      if (action < 0) continue;
      int64_t property = IndexAfterPrefix(after_action, ".prop", after_property);
      if (property < 0 || !IsOneOf(after_property, {".name", ".value"})) continue;
      int64_t& last = last_property_[action];
      last = std::max(last, property);
    }
  }

  std::string Text(const std::string& key) const {
    std::string value = profile_.GetString(section_, key, "", ProfileFile::kAgentsTextLimit);
    if (!value.empty() && value.back() == '.') value.pop_back();
    return value;
  }
  int32_t Number(const std::string& key) const { return profile_.GetInt(section_, key, 0); }
  KeyPlace Place(const std::string& key) const { return {key, profile_.KeyLine(section_, key)}; }
  KeyPlace SectionPlace() const { return {section_, profile_.SectionLine(section_)}; }

  // The stored count of a numbered list, bounded by the records present.
  int32_t Count(const std::string& count_key, std::string_view prefix,
                const std::vector<std::string_view>& suffixes, CountPlace& place) const {
    return Counted(count_key, LastIndexPresent(keys_, prefix, suffixes), place);
  }

  // The stored property count of an action, bounded the same way.
  int32_t PropertyCount(int32_t action, const std::string& count_key, CountPlace& place) const {
    auto found = last_property_.find(action);
    return Counted(count_key, found == last_property_.end() ? -1 : found->second, place);
  }

 private:
  int32_t Counted(const std::string& count_key, int64_t last_present, CountPlace& place) const {
    place.key = Place(count_key);
    place.stored = Number(count_key);
    place.present = last_present + 1;
    place.read = BoundedRecordCount(place.stored, last_present, AgentsFile::kMaxMissingRecords);
    return place.read;
  }

  const ProfileFile& profile_;
  std::string section_;
  std::vector<std::string> keys_;
  std::unordered_map<int64_t, int64_t> last_property_;  // action index -> last property index
};

// Reads one agent, noting in `source` where each value came from.
MailAgent ReadAgent(const AgentSectionReader& reader, AgentSource& source) {
  MailAgent agent;
  source.section = reader.SectionPlace();
  source.name = reader.Place("Name");
  agent.name = reader.Text("Name");
  agent.enabled = reader.Number("Enabled") != 0;

  int32_t conditions =
      reader.Count("CondCount", "Cond", {".fld", ".op", ".value", ".join"}, source.conditions);
  for (int32_t j = 0; j < conditions; ++j) {
    AgentCondition& condition = agent.conditions.emplace_back();
    ConditionSource& place = source.condition_places.emplace_back();
    std::string field = Indexed("Cond", j, ".fld");
    std::string operator_name = Indexed("Cond", j, ".op");
    std::string join = Indexed("Cond", j, ".join");
    place = {reader.Place(field), reader.Place(operator_name), reader.Place(join)};
    condition.field = reader.Text(field);
    condition.operator_name = reader.Text(operator_name);
    condition.value = reader.Text(Indexed("Cond", j, ".value"));
    condition.join = static_cast<ConditionJoin>(reader.Number(join));
  }

  int32_t extractions = reader.Count("ExtractCount", "Ext",
                                     {".startval", ".starttype", ".endval", ".endtype", ".varname"},
                                     source.extractions);
  for (int32_t j = 0; j < extractions; ++j) {
    AgentExtraction& extraction = agent.extractions.emplace_back();
    std::string start_kind = Indexed("Ext", j, ".starttype");
    std::string end_kind = Indexed("Ext", j, ".endtype");
    source.extraction_places.push_back({reader.Place(start_kind), reader.Place(end_kind)});
    extraction.start_text = reader.Text(Indexed("Ext", j, ".startval"));
    extraction.start_kind = static_cast<MarkerKind>(reader.Number(start_kind));
    extraction.end_text = reader.Text(Indexed("Ext", j, ".endval"));
    extraction.end_kind = static_cast<MarkerKind>(reader.Number(end_kind));
    extraction.variable_name = reader.Text(Indexed("Ext", j, ".varname"));
  }

  int32_t actions =
      reader.Count("ActionCount", "Action", {".name", ".type", ".propCount"}, source.actions);
  for (int32_t j = 0; j < actions; ++j) {
    AgentAction& action = agent.actions.emplace_back();
    ActionSource& place = source.action_places.emplace_back();
    std::string prefix = Indexed("Action", j);
    action.name = reader.Text(prefix + ".name");
    place.type = reader.Place(prefix + ".type");
    action.type = static_cast<ActionType>(reader.Number(prefix + ".type"));
    int32_t properties = reader.PropertyCount(j, prefix + ".propCount", place.properties);
    for (int32_t k = 0; k < properties; ++k) {
      std::string property = Indexed(prefix + ".prop", k);
      std::string name = reader.Text(property + ".name");
      action.SetProperty(name, reader.Text(property + ".value"));
      KeyPlace value = reader.Place(property + ".value");
      auto known = std::find_if(place.property_values.begin(), place.property_values.end(),
                                [&name](const auto& entry) { return entry.first == name; });
      if (known == place.property_values.end()) {
        place.property_values.emplace_back(std::move(name), std::move(value));
      } else {
        known->second = std::move(value);
      }
    }
  }
  return agent;
}

// Writes one section's values with the full stop appended, remembering
// whether every one was stored as given.
class SectionWriter {
 public:
  SectionWriter(ProfileFile& profile, std::string section)
      : profile_(profile), section_(std::move(section)) {}

  void Text(const std::string& key, const std::string& value) {
    complete_ &= profile_.WriteString(section_, key, value + ".");
  }
  void Number(const std::string& key, int64_t value) { Text(key, std::to_string(value)); }
  bool complete() const { return complete_; }

 private:
  ProfileFile& profile_;
  std::string section_;
  bool complete_ = true;
};

void WriteAgent(SectionWriter& writer, const MailAgent& agent) {
  writer.Text("Name", agent.name);
  writer.Number("Enabled", agent.enabled ? 1 : 0);
  writer.Number("CondCount", static_cast<int64_t>(agent.conditions.size()));
  for (size_t j = 0; j < agent.conditions.size(); ++j) {
    const AgentCondition& condition = agent.conditions[j];
    // Texts of any length are written whole; a load cuts them to 254 anyway.
    writer.Text(Indexed("Cond", j, ".fld"), condition.field);
    writer.Text(Indexed("Cond", j, ".op"), condition.operator_name);
    writer.Text(Indexed("Cond", j, ".value"), condition.value);
    writer.Number(Indexed("Cond", j, ".join"), static_cast<int32_t>(condition.join));
  }
  writer.Number("ExtractCount", static_cast<int64_t>(agent.extractions.size()));
  for (size_t j = 0; j < agent.extractions.size(); ++j) {
    const AgentExtraction& extraction = agent.extractions[j];
    writer.Text(Indexed("Ext", j, ".startval"), extraction.start_text);
    writer.Number(Indexed("Ext", j, ".starttype"), static_cast<int32_t>(extraction.start_kind));
    writer.Text(Indexed("Ext", j, ".endval"), extraction.end_text);
    writer.Number(Indexed("Ext", j, ".endtype"), static_cast<int32_t>(extraction.end_kind));
    writer.Text(Indexed("Ext", j, ".varname"), extraction.variable_name);
  }
  writer.Number("ActionCount", static_cast<int64_t>(agent.actions.size()));
  for (size_t j = 0; j < agent.actions.size(); ++j) {
    const AgentAction& action = agent.actions[j];
    std::string prefix = Indexed("Action", j);
    writer.Text(prefix + ".name", action.name);
    writer.Number(prefix + ".type", static_cast<int32_t>(action.type));
    writer.Number(prefix + ".propCount", static_cast<int64_t>(action.properties().size()));
    for (size_t k = 0; k < action.properties().size(); ++k) {
      const auto& [name, value] = action.properties()[k];
      std::string property = Indexed(prefix + ".prop", k);
      writer.Text(property + ".name", name);
      writer.Text(property + ".value", value);
    }
  }
}

// The previous file, kept as path + ".bak". False when there is nothing to
// copy or the copy could not be written; an earlier backup then stays.
bool BackUp(const std::string& path) {
  std::string content;
  return ReadFileContent(path, content) && ReplaceFileContent(path + ".bak", content, 0600);
}

}  // namespace

std::vector<MailAgent> AgentsFile::Load(const std::string& path, bool* understood,
                                        AgentsSource* source) {
  ProfileFile profile;
  bool read = profile.Load(path);
  struct stat status {};
  bool exists = stat(path.c_str(), &status) == 0;
  // A hand edit gone wrong: what the file holds is not ours to replace.
  bool known =
      !exists || (read && (status.st_size == 0 || profile.HasKey(kAgentsSection, "AgentCount")));
  if (understood) *understood = known;
  if (!known) return {};
  AgentsSource scratch;
  AgentsSource& places = source ? *source : scratch;
  std::vector<std::string> sections = profile.SectionNames();
  CountPlace& count = places.agents;
  count.key = {"AgentCount", profile.KeyLine(kAgentsSection, "AgentCount")};
  count.stored = profile.GetInt(kAgentsSection, "AgentCount", 0);
  int64_t last_present = LastIndexPresent(sections, "Agent", {""});
  count.present = last_present + 1;
  count.read = BoundedRecordCount(count.stored, last_present, kMaxMissingRecords);
  std::vector<MailAgent> agents;
  for (int32_t i = 0; i < count.read; ++i) {
    AgentSource agent_place;
    agents.push_back(ReadAgent(AgentSectionReader(profile, Indexed("Agent", i)), agent_place));
    // Only kept when asked for: a large file would otherwise keep its
    // places for nothing.
    if (source) places.agent_places.push_back(std::move(agent_place));
  }
  return agents;
}

bool AgentsFile::Save(const std::string& path, const std::vector<MailAgent>& agents) {
  ProfileFile profile;
  // With a backup taken the new file starts empty, so nothing of the old one
  // lingers; without one the old content is the only copy and is updated in
  // place instead.
  if (!BackUp(path) && !profile.Load(path) && access(path.c_str(), F_OK) == 0) return false;
  bool complete = true;
  SectionWriter header(profile, kAgentsSection);
  header.Number("AgentCount", static_cast<int64_t>(agents.size()));
  complete &= header.complete();
  for (size_t i = 0; i < agents.size(); ++i) {
    SectionWriter writer(profile, Indexed("Agent", i));
    WriteAgent(writer, agents[i]);
    complete &= writer.complete();
  }
  return profile.Save(path) && complete;
}

}  // namespace quor
