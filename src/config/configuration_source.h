#pragma once
// Where the readers of the profile and the agents file found what they read,
// so that a check can name the key and the line of a problem without knowing
// the file layout itself. SettingsFile::Load and AgentsFile::Load fill these
// on request, next to the values they read; the positions of the records
// follow those of the values (the n-th condition read is conditions[n]).
// Line numbers count from 1; 0 means the key is not in the file, and the
// value read is then the default. Plain values.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quor {

// One key as the reader looked it up ("Cond0.fld", "POPServer1").
struct KeyPlace {
  std::string key;
  int line = 0;
};

// A numbered list's count as stored next to the records actually present.
struct CountPlace {
  KeyPlace key;         // "AgentCount", "CondCount", "MailboxCount", ...
  int32_t stored = 0;   // the count read (0 when absent)
  int64_t present = 0;  // the highest index with a key in the file, plus one
  int32_t read = 0;     // the records the reader made (see BoundedRecordCount)
};

struct ConditionSource {
  KeyPlace field;
  KeyPlace operator_name;
  KeyPlace join;
};

struct ExtractionSource {
  KeyPlace start_kind;
  KeyPlace end_kind;
};

struct ActionSource {
  KeyPlace type;
  CountPlace properties;
  // The value key of each property name read, in the order of
  // AgentAction::properties() (the last key of a name written twice).
  std::vector<std::pair<std::string, KeyPlace>> property_values;

  // The value key of a property, or none when the name was not read.
  const KeyPlace* PropertyValue(const std::string& name) const {
    for (const auto& [property, place] : property_values) {
      if (property == name) return &place;
    }
    return nullptr;
  }
};

struct AgentSource {
  KeyPlace section;  // "[Agent<i>]": key holds the section name
  KeyPlace name;
  CountPlace conditions;
  CountPlace extractions;
  CountPlace actions;
  std::vector<ConditionSource> condition_places;
  std::vector<ExtractionSource> extraction_places;
  std::vector<ActionSource> action_places;
};

struct AgentsSource {
  CountPlace agents;  // AgentCount against the agent sections present
  std::vector<AgentSource> agent_places;
};

struct MailboxSource {
  KeyPlace server;
  KeyPlace user;
};

struct SettingsSource {
  KeyPlace smtp_server;
  KeyPlace email_address;
  KeyPlace certificate_authority_file;
  CountPlace mailboxes;
  std::vector<MailboxSource> mailbox_places;
};

}  // namespace quor
